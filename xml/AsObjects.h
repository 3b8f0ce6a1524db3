#pragma once
// The abstract-schema (DTD) model of one subset: element declarations with
// their content models and attribute declarations, entity declarations and
// notation declarations, held by a TdomASModel. Declarations belong to their
// model; content models belong to the element declaration that made them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/AsLists.h"
#include "xml/OwnedTree.h"
#include "xml/ParseError.h"

class TDomImplementation;
class TUtilsWideStringList;
class TdomASContentAutomaton;
class TdomASElementDecl;
class TdomASModel;
class TdomASModelCollection;

enum TdomASObjectType : uint8_t {
  AS_ATTRIBUTE_DECLARATION = 1,
  AS_CONTENT_MODEL = 2,
  AS_ELEMENT_DECLARATION = 3,
  AS_ENTITY_DECLARATION = 4,
  AS_NOTATION_DECLARATION = 6,
};

// Content-model kinds; 0 is no kind and is refused.
enum TdomASContentModelType : uint8_t { AS_CHOICE = 1, AS_ELEMENT_NAME = 2, AS_SEQUENCE = 3 };
// How often a content model occurs.
enum TdomASFrequency : uint8_t { AS_ONCE = 0, AS_OPTIONAL = 1, AS_ONE_OR_MORE = 2, AS_ZERO_OR_MORE = 3 };
// Element content types; 5 is "not yet declared" (met in an attribute-list declaration first).
enum TdomASContentType : uint8_t {
  AS_ANY_CONTENTTYPE = 0,
  AS_EMPTY_CONTENTTYPE = 1,
  AS_ELEMENT_CONTENTTYPE = 2,
  AS_MIXED_CONTENTTYPE = 3,
  AS_STRICT_MIXED_CONTENTTYPE = 4,
  AS_UNKNOWN_CONTENTTYPE = 5,
};
// Attribute types as declared.
enum TdomASAttributeType : uint8_t {
  AS_STRING_DATATYPE = 0,       // CDATA
  AS_NOTATION_DATATYPE = 1,     // NOTATION (...) or an enumeration checked against the list only
  AS_ID_DATATYPE = 2,
  AS_IDREF_DATATYPE = 3,
  AS_IDREFS_DATATYPE = 4,
  AS_ENTITY_DATATYPE = 5,
  AS_ENTITIES_DATATYPE = 6,
  AS_NMTOKEN_DATATYPE = 7,      // also an enumeration written without keyword
  AS_NMTOKENS_DATATYPE = 8,
};
// Default declarations: the first two carry a default value.
enum TdomASValueConstraint : uint8_t { AVC_DEFAULT = 0, AVC_FIXED = 1, AVC_IMPLIED = 2, AVC_REQUIRED = 3 };

// A set of small numbers (content-model types) as a bit mask.
using TdomASTypeSet = uint8_t;
constexpr bool ASTypeInSet(TdomASTypeSet set, int type) { return type >= 0 && type < 8 && ((set >> type) & 1) != 0; }

class TdomASObject : public TObject {
public:
  // Plain declarations check name with IsXmlName (EInvalid_Character_Err).
  void Create(TdomASModel* ownerModel_, const std::u16string& name_, TdomASObjectType objectType_);
  virtual std::u16string GetName() const { return name; }
  const std::u16string& Name() const { return name; }
  TdomASObjectType ObjectType() const { return objectType; }
  TdomASModel* OwnerModel() const { return ownerModel; }

protected:
  std::u16string name;
  TdomASObjectType objectType = AS_CONTENT_MODEL;
  TdomASModel* ownerModel = nullptr;  // not owned
};

class TdomASContentModel : public TdomASObject {
public:
  ~TdomASContentModel() override;
  // type 0 raises ENot_Supported_Err; only an element-name particle keeps name.
  void Create(TdomASElementDecl* ownerElementDecl_, uint8_t type, const std::u16string& name_);

  TdomASTypeSet AllowedSubModels() const { return allowedSubModels; }
  TdomASContentModelType ContentModelType() const { return contentModelType; }
  TdomASFrequency Frequency() const { return frequency; }
  void SetFrequency(TdomASFrequency value);
  bool InUse() const { return inUse; }
  TdomASElementDecl* OwnerElementDecl() const { return ownerElementDecl; }
  TdomASObjectList* SubModels() const { return subModels; }

  // Matches names from index on: true when a prefix is accepted, index then
  // just after the longest accepted prefix. ambiguous reports a name that two
  // particles could take at one point (the result is then false). Linear in
  // the number of names for every model.
  virtual bool Match(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const;
  // A model in use raises EInuse_Err "Content model in use error."; a particle
  // (no sub-models allowed) or another declaration's model ENot_Supported_Err;
  // a model that holds this one (a cycle) EHierarchy_Request_Err.
  virtual TdomASContentModel* AppendSubModel(TdomASContentModel* model);
  virtual TdomASContentModel* InsertSubModel(TdomASContentModel* model, int index);
  // A model not in the list raises ENot_Found_Err "Node not found error.".
  virtual void RemoveSubModel(TdomASContentModel* model);

  void SetInUse(bool value) { inUse = value; }

private:
  void CheckNewSubModel(const TdomASContentModel* model) const;

  TdomASTypeSet allowedSubModels = 0;
  TdomASContentModelType contentModelType = AS_ELEMENT_NAME;
  TdomASFrequency frequency = AS_ONCE;
  bool inUse = false;
  TdomASElementDecl* ownerElementDecl = nullptr;  // not owned
  TdomASObjectList* subModels = nullptr;          // owned list, models not owned
  TdomASContentModel* parentModel = nullptr;      // the model this is a sub-model of
};

class TdomASAttributeDecl : public TdomASObject {
public:
  ~TdomASAttributeDecl() override;
  void Create(TdomASElementDecl* ownerElementDecl_, const std::u16string& name_, const std::u16string& defaultValue_,
              const TUtilsWideStringList* enumeration_, TdomASAttributeType attrType_,
              TdomASValueConstraint defaultType_);

  TdomASValueConstraint DefaultType() const { return defaultType; }
  const std::u16string& DefaultValue() const { return defaultValue; }
  TdomASAttributeType AttrType() const { return attrType; }
  TUtilsWideStringList* Enumeration() const { return enumeration; }
  TdomASElementDecl* OwnerElementDecl() const { return ownerElementDecl; }
  bool HasDefaultValue() const { return defaultType == AVC_DEFAULT || defaultType == AVC_FIXED; }

private:
  TdomASValueConstraint defaultType = AVC_IMPLIED;
  std::u16string defaultValue;
  TdomASAttributeType attrType = AS_STRING_DATATYPE;
  TUtilsWideStringList* enumeration = nullptr;  // owned
  TdomASElementDecl* ownerElementDecl = nullptr;  // not owned
};

class TdomASElementDecl : public TdomASObject {
public:
  ~TdomASElementDecl() override;
  void Create(TdomASModel* model, TdomASContentType contentType_, const std::u16string& name_);

  TdomASTypeSet AllowedContentModels() const { return allowedContentModels; }
  TdomASNamedObjectMap* AttributeDecls() const { return attributeDecls; }
  TdomASContentModel* ContentModel() const { return contentModel; }
  TdomASContentType ContentType() const { return contentType; }
  TdomASObjectList* CreatedContentModels() const { return createdContentModels; }

  // Only while the type is 5, else ENo_Modification_Allowed_Err.
  virtual void SetContentType(TdomASContentType value);
  // Frees attribute declarations and content models; no content model after.
  virtual void Clear();
  virtual TdomASContentModel* CreateContentModel(const std::u16string& name_, uint8_t type);
  virtual TdomASAttributeDecl* FindAttributeDecl(const std::u16string& name_) const;
  // A model in use raises EInuse_Err; frees the model and its sub-models, model := null.
  virtual void FreeContentModel(TdomASContentModel*& model);
  virtual bool RemoveAttributeDecl(const std::u16string& name_);
  // Makes model the top content model and returns the previous one (see the .cpp for the checks).
  virtual TdomASContentModel* ReplaceContentModel(TdomASContentModel* model);
  // False with the existing declaration when name_ is declared already (the first binds).
  virtual bool AddAttributeDecl(const std::u16string& name_, const std::u16string& defaultValue,
                                TdomASAttributeDecl*& declaration, TdomASAttributeType attrType,
                                TdomASValueConstraint defaultType, const TUtilsWideStringList* enumeration);

  // Any change below the content model: the matcher is rebuilt when next used.
  void ContentModelChanged() { ++contentStamp; }
  // The matcher of the top content model, built on first use.
  const TdomASContentAutomaton* Automaton() const;

private:
  TdomASTypeSet allowedContentModels = 0;
  TdomASNamedObjectMap* attributeDecls = nullptr;   // owned map, declarations owned
  TdomASContentModel* contentModel = nullptr;       // one of createdContentModels
  TdomASContentType contentType = AS_UNKNOWN_CONTENTTYPE;
  TdomASObjectList* createdContentModels = nullptr; // owned list, models owned
  uint64_t contentStamp = 1;
  mutable uint64_t automatonStamp = 0;
  mutable std::unique_ptr<TdomASContentAutomaton> automaton;
};

class TdomASEntityDecl : public TdomASObject {
public:
  ~TdomASEntityDecl() override;
  // With a public id, system id or notation the entity is external and its
  // text stays unresolved; otherwise SetReplacementText(value) runs at once.
  void Create(TdomASModel* model, const std::u16string& notationName_, const std::u16string& systemId_,
              const std::u16string& publicId_, const std::u16string& value, const std::u16string& name_);

  bool IsParsedEntity() const { return notationName.empty(); }
  bool IsExternalEntity() const { return !publicId.empty() || !systemId.empty() || !notationName.empty(); }
  // Stores text and records the names of the entity references it holds.
  void SetReplacementText(const std::u16string& text);
  // True when the replacement text is known; an external parsed entity is
  // read once through the model's DOM implementation (file: URIs only, size
  // limited); false when it cannot be had.
  virtual bool ResolveReplacementText();
  // ResolveReplacementText answered with an error type: ET_NONE when the text
  // is known; ET_INVALID_TEXT_DECL (an XML declaration or a malformed one in
  // place of a text declaration) or ET_ENCODING_NOT_SUPPORTED when the
  // external text cannot be an external parsed entity, both fatal;
  // ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE when it cannot be had.
  TXmlErrorType ReadReplacementText();

  TUtilsWideStringList* EntityRefs() const { return entityRefs; }
  // How often the text refers to each of EntityRefs, in the same order.
  const std::vector<int>& EntityRefCounts() const { return entityRefCounts; }
  // The length of the text without its entity references.
  int64_t OwnTextLength() const { return ownTextLength; }
  const std::u16string& NotationName() const { return notationName; }
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& ReplacementText() const { return replacementText; }
  const std::u16string& SystemId() const { return systemId; }
  bool ReplacementTextResolved() const { return replacementTextResolved; }
  TXmlErrorType ErrorType() const { return errorType; }
  // True while ResolveReplacementText reads the entity.
  bool Resolving() const { return resolving; }

private:
  TUtilsWideStringList* entityRefs = nullptr;  // owned
  std::vector<int> entityRefCounts;
  int64_t ownTextLength = 0;
  std::u16string notationName;
  std::u16string publicId;
  std::u16string replacementText;
  std::u16string systemId;
  bool replacementTextResolved = false;
  bool resolving = false;
  TXmlErrorType errorType = ET_NONE;
  TXmlErrorType readFailure = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;  // of the last failed resolution
};

class TdomASNotationDecl : public TdomASObject {
public:
  // name an XML Name, publicId of public-id characters, systemId quotable,
  // else EInvalid_Character_Err.
  void Create(TdomASModel* model, const std::u16string& name_, const std::u16string& publicId_,
              const std::u16string& systemId_);
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& SystemId() const { return systemId; }

private:
  std::u16string publicId;
  std::u16string systemId;
};

class TdomASModel : public TCustomOwnedObject {
public:
  ~TdomASModel() override;
  // owner is the model collection (or null for a free-standing model).
  void Create(TCustomOwnedObject* owner) override;

  // Frees every declaration.
  void Clear() override;
  virtual TdomASAttributeDecl* FindAttributeDecl(const std::u16string& elementName,
                                                 const std::u16string& attributeName) const;
  virtual TdomASElementDecl* FindElementDecl(const std::u16string& name) const;
  virtual TdomASEntityDecl* FindEntityDecl(const std::u16string& name) const;
  virtual TdomASNotationDecl* FindNotationDecl(const std::u16string& name) const;
  virtual bool RemoveElementDecl(const std::u16string& name);
  virtual bool RemoveEntityDecl(const std::u16string& name);
  virtual bool RemoveNotationDecl(const std::u16string& name);
  // A new name: true. A declaration still of type 5 takes the type: true. Otherwise false.
  virtual bool AddElementDecl(const std::u16string& name, TdomASContentType contentType,
                              TdomASElementDecl*& declaration);
  // False with the existing declaration when the name is known (the first binds).
  virtual bool AddEntityDecl(const std::u16string& name, const std::u16string& value,
                             TdomASEntityDecl*& declaration, const std::u16string& notationName,
                             const std::u16string& systemId, const std::u16string& publicId);
  virtual bool AddNotationDecl(const std::u16string& name, const std::u16string& publicId,
                               TdomASNotationDecl*& declaration, const std::u16string& systemId);

  TdomASNamedObjectMap* ElementDecls() const { return elementDecls; }
  TdomASNamedObjectMap* EntityDecls() const { return entityDecls; }
  TdomASNamedObjectMap* NotationDecls() const { return notationDecls; }
  // Where the subset was read from: the base of its external entities.
  const std::u16string& Location() const { return location; }
  void SetLocation(const std::u16string& value) { location = value; }
  // The collection that owns this model, or null.
  TdomASModelCollection* Collection() const;
  // Grows with every change of a declaration in this model, so that what is
  // worked out from the declarations can be remembered until they change.
  uint64_t Stamp() const { return stamp; }
  void Touch() { ++stamp; }
  // The DOM implementation of the collection's document, or null.
  TDomImplementation* DomImplementation() const;

private:
  TdomASNamedObjectMap* elementDecls = nullptr;   // owned, declarations owned
  TdomASNamedObjectMap* entityDecls = nullptr;    // owned, declarations owned
  TdomASNamedObjectMap* notationDecls = nullptr;  // owned, declarations owned
  std::u16string location;
  uint64_t stamp = 1;
};
