#include "xml/ParameterEntities.h"

#include <memory>
#include <vector>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ExternalResources.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/UriResolve.h"
#include "xml/UriSystemId.h"
#include "xml/XmlDocReader.h"
#include "xml/XmlInputSource.h"
#include "xml/XmlRules.h"
#include "xml/XmlSubsetTokenizer.h"

namespace {
void CheckRepository(const TdomPERepository* repository) {
  if (repository == nullptr) throw EAccessViolation("AOwner not specified.");
}
}  // namespace

void TdomPEInfoObject::Create(TdomPERepository* repository, const std::u16string& value, const std::u16string& name) {
  TdomCustomNode::Create(nullptr);
  if (!IsXmlName(name)) throw EInvalid_Character_Err();
  CheckRepository(repository);
  ownerRepository = repository;
  nodeName = name;
  isInternalEntity = true;
  literalValue = ResolveCharRefsWideStr(value);
}

void TdomPEInfoObject::Create(TdomPERepository* repository, const std::u16string& systemId_,
                              const std::u16string& publicId_, const std::u16string& baseUri_,
                              const std::u16string& name) {
  TdomCustomNode::Create(nullptr);
  if (!IsXmlName(name) || !IsXmlQuotableChars(systemId_) || !IsXmlPubidChars(publicId_))
    throw EInvalid_Character_Err();
  CheckRepository(repository);
  ownerRepository = repository;
  nodeName = name;
  isInternalEntity = false;
  systemId = systemId_;
  publicId = publicId_;
  baseUri = baseUri_;
}

std::u16string TdomPEInfoObject::ResolvedSystemId() const {
  std::u16string result;
  if (!ResolveRelativeUriWideStr(baseUri, EscapeSystemIdWideStr(systemId), result)) return std::u16string();
  return result;
}

std::u16string TdomPEInfoObject::GetNodeValue() const {
  std::u16string text;
  switch (ReadReplacementText(text)) {
    case ET_NONE: return text;
    case ET_INVALID_TEXT_DECL: throw EParserException("Invalid text declaration.");
    case ET_ENCODING_NOT_SUPPORTED: throw EParserException("Encoding not supported.");
    default: throw EParserException("Unresolveable parameter entity.");
  }
}

TXmlErrorType TdomPEInfoObject::ReadReplacementText(std::u16string& text) const {
  text.clear();
  if (isInternalEntity) {
    text = literalValue;
    return ET_NONE;
  }
  TDomImplementation* impl = ownerRepository->Owner() != nullptr ? ownerRepository->Owner()->DOMImpl() : nullptr;
  if (impl == nullptr) throw EParserException("No DomImplementation associated with owner repository.");
  std::u16string pub = publicId, sys = systemId;
  std::unique_ptr<TStream> stream;
  if (ownerRepository->AllowExternal()) {
    TdomDocumentWatch none(nullptr);
    const TdomDocumentWatch* hold = ownerRepository->Owner()->ReadHold();
    stream = OpenExternalResource(hold != nullptr ? *hold : none, impl, baseUri, pub, sys);
  }
  if (stream == nullptr) return ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
  // Taken as it stands: a character reference in it is read where it stands,
  // in a literal or (never as markup) outside one, as in the subset itself.
  TXmlErrorType errorType = ReadExternalEntityText(stream.get(), publicId, systemId, text);
  if (errorType == ET_NONE) return ET_NONE;
  text.clear();
  if (errorType == ET_INVALID_TEXT_DECL) return ET_INVALID_TEXT_DECL;
  return ET_ENCODING_NOT_SUPPORTED;
}

TdomPERepository::~TdomPERepository() { Clear(); }

void TdomPERepository::Create(TXmlCustomReader* owner_) {
  if (owner_ == nullptr) throw EAccessViolation("AOwner not specified.");
  owner = owner_;
}

bool TdomPERepository::Add(const std::u16string& name, const std::u16string& value) {
  if (entries.count(name) != 0) return false;
  entries.emplace(name, New<TdomPEInfoObject>(this, value, name));
  return true;
}

bool TdomPERepository::AddExternal(const std::u16string& name, const std::u16string& baseUri,
                                   const std::u16string& systemId, const std::u16string& publicId) {
  if (entries.count(name) != 0) return false;
  entries.emplace(name, New<TdomPEInfoObject>(this, systemId, publicId, baseUri, name));
  return true;
}

void TdomPERepository::Clear() {
  for (auto& [name, entry] : entries) entry->Free();
  entries.clear();
}

TXmlErrorType TdomPERepository::ResolvePE(const std::u16string& name, std::u16string& value, std::u16string& systemId,
                                          std::u16string& publicId) {
  return LookUp(name, /*answerFaults=*/false, value, systemId, publicId);
}

TXmlErrorType TdomPERepository::ReadPE(const std::u16string& name, std::u16string& value, std::u16string& systemId,
                                       std::u16string& publicId) {
  return LookUp(name, /*answerFaults=*/true, value, systemId, publicId);
}

TXmlErrorType TdomPERepository::LookUp(const std::u16string& name, bool answerFaults, std::u16string& value,
                                       std::u16string& systemId, std::u16string& publicId) {
  value.clear();
  systemId.clear();
  publicId.clear();
  auto found = entries.find(name);
  if (found == entries.end()) return ET_UNDEFINED_PARAMETER_ENTITY;
  TdomPEInfoObject* entry = found->second;
  if (answerFaults) {
    TXmlErrorType result;
    try {
      result = entry->ReadReplacementText(value);
    } catch (const EDecodingError&) {
      // Bytes that are no characters: fatal, as in the subset itself.
      value.clear();
      return kDecodingErrorType;
    }
    if (result != ET_NONE) return result;
  } else {
    value = entry->GetNodeValue();
  }
  systemId = entry->ResolvedSystemId();
  publicId = entry->PublicId();
  return ET_NONE;
}

TXmlErrorType TdomPERepository::ExpandInLiteral(const std::u16string& text, int64_t& maxChars, std::u16string& out) {
  // Frames of the texts being read; a name already among them is a cycle.
  struct Frame {
    std::u16string text;
    size_t pos;
    std::u16string name;
  };
  std::vector<Frame> frames{{text, 0, std::u16string()}};
  out.clear();
  while (!frames.empty()) {
    Frame& frame = frames.back();
    if (frame.pos >= frame.text.size()) {
      frames.pop_back();
      continue;
    }
    char16_t c = frame.text[frame.pos];
    // Up to the next ';' or '%' (never part of a name): each stretch of the
    // text is looked through once, however many '%' it holds.
    size_t semicolon = c == u'%' ? frame.text.find_first_of(u";%", frame.pos + 1) : std::u16string::npos;
    if (semicolon != std::u16string::npos && frame.text[semicolon] != u';') semicolon = std::u16string::npos;
    if (semicolon == std::u16string::npos ||
        !IsXmlName(std::u16string_view(frame.text).substr(frame.pos + 1, semicolon - frame.pos - 1))) {
      out += c;
      ++frame.pos;
      continue;
    }
    std::u16string name = frame.text.substr(frame.pos + 1, semicolon - frame.pos - 1);
    frame.pos = semicolon + 1;
    for (const Frame& f : frames)
      if (f.name == name) return ET_RECURSIVE_ENTITY_REF;
    if (frames.size() > static_cast<size_t>(kMaxParameterEntityDepth)) return ET_ENTITY_NESTING_TOO_DEEP;
    std::u16string value, systemId, publicId;
    TXmlErrorType result;
    try {
      result = ReadPE(name, value, systemId, publicId);
    } catch (const Exception&) {
      return ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    }
    if (result != ET_NONE) return result;
    maxChars -= static_cast<int64_t>(value.size());
    if (maxChars < 0) return ET_ENTITY_EXPANSION_TOO_LARGE;
    frames.push_back(Frame{std::move(value), 0, std::move(name)});
  }
  return ET_NONE;
}
