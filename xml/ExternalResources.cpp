#include "xml/ExternalResources.h"

#include "core/FileStream.h"
#include "xml/UriResolve.h"
#include "xml/UriSystemId.h"
#include "xml/XmlInputSource.h"

namespace {

bool StartsWithNoCase(const std::u16string& text, std::u16string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

// The scheme of uri, "" when it has none.
std::u16string SchemeOf(const std::u16string& uri) {
  for (size_t i = 0; i < uri.size(); ++i) {
    char16_t c = uri[i];
    if (c == u':') return i > 0 ? uri.substr(0, i) : std::u16string();
    bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    if (!letter && !(i > 0 && other)) return std::u16string();
  }
  return std::u16string();
}

std::u16string ResolvedUri(const std::u16string& baseUri, const std::u16string& systemId) {
  std::u16string reference = EscapeSystemIdWideStr(systemId);
  std::u16string resolved;
  if (!baseUri.empty() && ResolveRelativeUriWideStr(baseUri, reference, resolved)) return resolved;
  return reference;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

bool IsReadableExternalUri(const std::u16string& uri) {
  std::u16string scheme = SchemeOf(uri);
  return scheme.empty() || (scheme.size() == 4 && StartsWithNoCase(scheme, u"file"));
}

std::unique_ptr<TStream> OpenExternalResource(const TdomDocumentWatch& hold, TDomImplementation* impl,
                                              const std::u16string& baseUri,
                                              std::u16string& publicId, std::u16string& systemId) {
  if (impl == nullptr || impl->GetResourceResolver() == nullptr) return nullptr;
  if (!IsReadableExternalUri(ResolvedUri(baseUri, systemId))) return nullptr;
  std::unique_ptr<TStream> stream;
  try {
    stream.reset(impl->ResolveResource(hold, baseUri, publicId, systemId));
    if (stream != nullptr && stream->Size() > kMaxExternalResourceBytes) stream.reset();
  } catch (const Exception&) {
    stream.reset();
  }
  return stream;
}

TXmlErrorType ReadExternalEntityText(TStream* stream, const std::u16string& publicId, const std::u16string& systemId,
                                     std::u16string& text) {
  text.clear();
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream, publicId, systemId, 4096,
                                                               std::u16string(u"UTF-8"), false, int64_t(0),
                                                               int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
  TXmlDeclType kind = source->DeclType();
  if (source->HasMalformedDecl() ||
      (kind != DT_TEXT_DECLARATION && kind != DT_XML_OR_TEXT_DECLARATION && kind != DT_UNSPECIFIED))
    return ET_INVALID_TEXT_DECL;
  if (source->InvalidEncoding()) return ET_ENCODING_NOT_SUPPORTED;
  for (;;) {
    source->Next();
    UCS4Char c = source->CurrentCodePoint();
    if (c == kUcs4EndOfInput) break;
    if (c < 0x10000) {
      text.push_back(static_cast<char16_t>(c));
    } else {
      text.push_back(static_cast<char16_t>((c >> 10) + 0xD7C0));
      text.push_back(static_cast<char16_t>((c & 0x3FF) | 0xDC00));
    }
  }
  return ET_NONE;
}

std::string FileUriToFileName(const std::u16string& uri) {
  if (!StartsWithNoCase(uri, u"file:")) return std::string();
  std::u16string rest = uri.substr(5);
  if (rest.rfind(u"//", 0) == 0) {
    size_t slash = rest.find(u'/', 2);
    std::u16string host = rest.substr(2, slash == std::u16string::npos ? std::u16string::npos : slash - 2);
    if (!host.empty() && !StartsWithNoCase(host, u"localhost")) return std::string();
    rest = slash == std::u16string::npos ? std::u16string() : rest.substr(slash);
  }
  size_t end = rest.find_first_of(u"?#");
  if (end != std::u16string::npos) rest.resize(end);
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    char16_t c = rest[i];
    if (c == u'%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 && HexValue(rest[i + 2]) >= 0) {
      path.push_back(static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
      i += 2;
      continue;
    }
    if (c >= 0x80 || c == 0) return std::string();  // a URI is ASCII; anything else was never a file name of ours
    path.push_back(static_cast<char>(c));
  }
  if (path.find('\0') != std::string::npos) return std::string();
#ifdef _WIN32
  // "/C:/dir" names a drive.
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
  return path;
}

TStream* TFileResourceResolver::ResolveResource(const std::u16string& baseURI, std::u16string&,
                                                std::u16string& systemId) {
  std::string fileName = FileUriToFileName(ResolvedUri(baseURI, systemId));
  if (fileName.empty()) return nullptr;
  try {
    return New<TFileStream>(fileName, static_cast<uint16_t>(fmOpenRead | fmShareDenyWrite));
  } catch (const Exception&) {
    return nullptr;
  }
}
