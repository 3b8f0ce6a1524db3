#pragma once
// The parameter entities of a DTD being read: one entry per declared name
// (the first declaration binds), and the replacement text of each, straight
// from the literal for internal entities or fetched through the DOM
// implementation's resource resolver for external ones.
#include <string>
#include <unordered_map>

#include "xml/DomOwnerNamedNodeMap.h"
#include "xml/Node.h"
#include "xml/ParseError.h"

class TXmlCustomReader;
class TdomPERepository;

class TdomPEInfoObject : public TdomCustomNode {
public:
  // Internal entity: name must be an XML Name (else EInvalid_Character_Err);
  // the value's character references are replaced at once.
  void Create(TdomPERepository* repository, const std::u16string& value, const std::u16string& name);
  // External entity: the name must be an XML Name, the system identifier
  // quotable characters and the public identifier public-id characters.
  void Create(TdomPERepository* repository, const std::u16string& systemId_, const std::u16string& publicId_,
              const std::u16string& baseUri_, const std::u16string& name);

  std::u16string GetNodeName() const override { return nodeName; }
  // The replacement text, fetched again on every call for external entities
  // (file: URIs only, size limited, not at all when the repository refuses
  // external entities). Raises EParserException "No DomImplementation
  // associated with owner repository.", "Unresolveable parameter entity.",
  // "Invalid text declaration." or "Encoding not supported.".
  virtual std::u16string GetNodeValue() const;
  // The same as an error type instead of an exception: ET_INVALID_TEXT_DECL
  // and ET_ENCODING_NOT_SUPPORTED for an external text that cannot be read as
  // an entity, ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE when it cannot be had.
  TXmlErrorType ReadReplacementText(std::u16string& text) const;
  // The system identifier resolved against the base URI; "" when that fails.
  std::u16string ResolvedSystemId() const;

  const std::u16string& BaseUri() const { return baseUri; }
  bool IsInternalEntity() const { return isInternalEntity; }
  const std::u16string& LiteralValue() const { return literalValue; }
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& SystemId() const { return systemId; }

private:
  std::u16string baseUri;
  TdomPERepository* ownerRepository = nullptr;  // not owned
  bool isInternalEntity = true;
  std::u16string literalValue;
  std::u16string nodeName;
  std::u16string publicId;
  std::u16string systemId;
};

class TdomPERepository : public TObject {
public:
  ~TdomPERepository() override;
  // owner hands out the DOM implementation that resolves external entities;
  // null raises EAccessViolation "AOwner not specified.".
  virtual void Create(TXmlCustomReader* owner_);

  // False when name is declared already (the first declaration binds).
  virtual bool Add(const std::u16string& name, const std::u16string& value);
  virtual bool AddExternal(const std::u16string& name, const std::u16string& baseUri, const std::u16string& systemId,
                           const std::u16string& publicId);
  virtual void Clear();
  // The replacement text and identifiers of name; ET_UNDEFINED_PARAMETER_ENTITY
  // (outputs empty) when it was never declared.
  virtual TXmlErrorType ResolvePE(const std::u16string& name, std::u16string& value, std::u16string& systemId,
                                  std::u16string& publicId);
  // ResolvePE that answers the faults of an external text with their error
  // types (see TdomPEInfoObject::ReadReplacementText) instead of raising.
  TXmlErrorType ReadPE(const std::u16string& name, std::u16string& value, std::u16string& systemId,
                       std::u16string& publicId);

  // The text of an entity-value literal with its parameter-entity references
  // replaced, recursively, by their replacement texts ("included in
  // literal"). ET_UNDEFINED_PARAMETER_ENTITY, ET_RECURSIVE_ENTITY_REF (a
  // cycle), ET_ENTITY_NESTING_TOO_DEEP, ET_ENTITY_EXPANSION_TOO_LARGE (more
  // than maxChars characters expanded; maxChars counts down) or
  // ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE end it.
  virtual TXmlErrorType ExpandInLiteral(const std::u16string& text, int64_t& maxChars, std::u16string& out);

  TXmlCustomReader* Owner() const { return owner; }
  int Count() const { return static_cast<int>(entries.size()); }
  // Whether external entities may be read (through the resolver); true by default.
  bool AllowExternal() const { return allowExternal; }
  void SetAllowExternal(bool value) { allowExternal = value; }

private:
  // ResolvePE, or ReadPE when answerFaults.
  TXmlErrorType LookUp(const std::u16string& name, bool answerFaults, std::u16string& value, std::u16string& systemId,
                       std::u16string& publicId);

  TXmlCustomReader* owner = nullptr;  // not owned
  bool allowExternal = true;
  // By name; the entries are owned (freed by Clear).
  std::unordered_map<std::u16string, TdomPEInfoObject*> entries;
};
