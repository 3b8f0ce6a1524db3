#pragma once
// External entities and DTD subsets are read through the DOM implementation's
// resource resolver and nowhere else: only file: URIs (or references without
// a scheme, which the resolver places), never the network, and no more than
// kMaxExternalResourceBytes. TFileResourceResolver is the resolver for files.
#include <cstdint>
#include <memory>
#include <string>

#include "core/Stream.h"
#include "xml/DomImplementation.h"
#include "xml/ParseError.h"

inline constexpr int64_t kMaxExternalResourceBytes = int64_t(32) << 20;

// Whether uri may be read: a file: URI or a reference without a scheme.
bool IsReadableExternalUri(const std::u16string& uri);

// The stream of an external resource, or null when impl is null, has no
// resolver, finds nothing, the URI (systemId resolved against baseUri) is not
// readable, or the resource is larger than the limit. The ids are passed on
// to the resolver, which may change them.
// The resolver is asked under hold, the hold on the document read for.
std::unique_ptr<TStream> OpenExternalResource(const TdomDocumentWatch& hold, TDomImplementation* impl,
                                              const std::u16string& baseUri,
                                              std::u16string& publicId, std::u16string& systemId);

// Reads an external parsed entity: an optional text declaration, then its
// characters. ET_INVALID_TEXT_DECL for a declaration that is not a text
// declaration, ET_ENCODING_NOT_SUPPORTED for an encoding without a codec.
TXmlErrorType ReadExternalEntityText(TStream* stream, const std::u16string& publicId, const std::u16string& systemId,
                                     std::u16string& text);

// The local file name of a file: URI ("file:///C%3a/x.dtd" -> "C:/x.dtd" on
// Windows, "/x.dtd" elsewhere); "" for anything else or a remote host.
std::string FileUriToFileName(const std::u16string& uri);

// Opens file: URIs (a reference resolved against the base first) as
// read-only file streams; null for every other URI and for missing files.
class TFileResourceResolver : public TCustomResourceResolver {
public:
  TStream* ResolveResource(const std::u16string& baseURI, std::u16string& publicId,
                           std::u16string& systemId) override;
};
