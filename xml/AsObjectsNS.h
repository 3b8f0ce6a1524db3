#pragma once
// The namespace-aware abstract-schema objects: declarations named by
// namespace URI and local name, the model that holds them (owned by a DOM
// implementation) and the collection of such models that every document has.
#include <cstdint>
#include <string>
#include <vector>

#include "xml/AsLists.h"
#include "xml/AsObjects.h"

class TDomImplementation;
class TdomASModelCollectionNS;
class TdomASModelNS;
class TdomDocument;

class TdomCustomASObjectNS : public TObject {
public:
  TdomASObjectType ObjectType() const { return objectType; }
  TdomASModelNS* OwnerModel() const { return ownerModel; }

protected:
  TdomASObjectType objectType = AS_CONTENT_MODEL;
  TdomASModelNS* ownerModel = nullptr;  // not owned
};

class TdomASObjectNS : public TdomCustomASObjectNS {
public:
  // An empty local name raises EInvalid_Character_Err; with any of the three
  // given, the local name and prefix must be NCNames (EInvalid_Character_Err),
  // a prefix needs a namespace URI, and "xml"/"xmlns" need their reserved
  // namespaces (ENamespace_Err).
  void Create(TdomASModelNS* ownerModel_, const std::u16string& namespaceURI_, const std::u16string& prefix_,
              const std::u16string& localName_, TdomASObjectType objectType_);
  // prefix:localName, or the local name alone without a prefix.
  virtual std::u16string GetName() const;
  const std::u16string& LocalName() const { return localName; }
  const std::u16string& NamespaceURI() const { return namespaceURI; }
  const std::u16string& Prefix() const { return prefix; }

private:
  std::u16string localName;
  std::u16string namespaceURI;
  std::u16string prefix;
};

class TdomASElementDeclNS;

class TdomASAttributeDeclNS : public TdomASObjectNS {
public:
  ~TdomASAttributeDeclNS() override;
  void Create(TdomASElementDeclNS* ownerElementDecl_, const std::u16string& namespaceURI_,
              const std::u16string& prefix_, const std::u16string& localName_, const std::u16string& defaultValue_,
              const TUtilsWideStringList* enumeration_, TdomASAttributeType attrType_,
              TdomASValueConstraint defaultType_);

  TdomASAttributeType AttrType() const { return attrType; }
  TdomASValueConstraint DefaultType() const { return defaultType; }
  const std::u16string& DefaultValue() const { return defaultValue; }
  bool HasDefaultValue() const { return defaultType == AVC_DEFAULT || defaultType == AVC_FIXED; }
  TUtilsWideStringList* Enumeration() const { return enumeration; }
  TdomASElementDeclNS* OwnerElementDecl() const { return ownerElementDecl; }

private:
  TdomASElementDeclNS* ownerElementDecl = nullptr;  // not owned
  std::u16string defaultValue;
  TdomASAttributeType attrType = AS_STRING_DATATYPE;
  TdomASValueConstraint defaultType = AVC_IMPLIED;
  TUtilsWideStringList* enumeration = nullptr;  // owned
};

class TdomASElementDeclNS : public TdomASObjectNS {
public:
  ~TdomASElementDeclNS() override;
  void Create(TdomASModelNS* model, const std::u16string& namespaceURI_, const std::u16string& prefix_,
              const std::u16string& localName_, TdomASContentType contentType_);
  TdomASContentType ContentType() const { return contentType; }
  // The attribute declarations by namespace URI and local name (owned).
  TdomASNamedObjectMapNS* AttributeDecls() const { return attributeDecls; }

  virtual TdomASAttributeDeclNS* FindAttributeDeclNS(const std::u16string& namespaceURI,
                                                     const std::u16string& localName) const;
  // False when absent; frees the declaration.
  virtual bool RemoveAttributeDeclNS(const std::u16string& namespaceURI, const std::u16string& localName);
  // False with the existing declaration when the pair is declared already (the first binds).
  virtual bool AddAttributeDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                  const std::u16string& defaultValue, TdomASAttributeDeclNS*& declaration,
                                  TdomASAttributeType attrType, TdomASValueConstraint defaultType,
                                  const TUtilsWideStringList* enumeration);

private:
  TdomASContentType contentType = AS_UNKNOWN_CONTENTTYPE;
  TdomASNamedObjectMapNS* attributeDecls = nullptr;  // owned, declarations owned
};

class TdomASEntityDeclNS : public TdomASObjectNS {
public:
  void Create(TdomASModelNS* model, const std::u16string& namespaceURI_, const std::u16string& prefix_,
              const std::u16string& localName_, const std::u16string& value, const std::u16string& publicId_,
              const std::u16string& systemId_, const std::u16string& notationName_);
  const std::u16string& ReplacementText() const { return replacementText; }
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& SystemId() const { return systemId; }
  const std::u16string& NotationName() const { return notationName; }

private:
  std::u16string replacementText, publicId, systemId, notationName;
};

class TdomASNotationDeclNS : public TdomASObjectNS {
public:
  void Create(TdomASModelNS* model, const std::u16string& namespaceURI_, const std::u16string& prefix_,
              const std::u16string& localName_, const std::u16string& publicId_, const std::u16string& systemId_);
  const std::u16string& PublicId() const { return publicId; }
  const std::u16string& SystemId() const { return systemId; }

private:
  std::u16string publicId, systemId;
};

// Namespace-aware content models cannot be matched.
class TdomASContentModelNS : public TdomCustomASObjectNS {
public:
  void Create(TdomASModelNS* model) {
    ownerModel = model;
    objectType = AS_CONTENT_MODEL;
  }
  // Both raise ENot_Supported_Err.
  virtual bool Match(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const;
  virtual bool MatchOnce(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const;
};

class TdomCustomASModelNS : public TObject {
public:
  void Create(TDomImplementation* owner);
  TDomImplementation* DomImplementation() const { return domImplementation; }
  // The collections that use this model (not owned).
  const std::vector<TdomASModelCollectionNS*>& UsedBy() const { return usedBy; }
  void AddUser(TdomASModelCollectionNS* collection) { usedBy.push_back(collection); }
  void RemoveUser(TdomASModelCollectionNS* collection);

private:
  TDomImplementation* domImplementation = nullptr;  // not owned
  std::vector<TdomASModelCollectionNS*> usedBy;
};

class TdomASModelNS : public TdomCustomASModelNS {
public:
  // Leaves every collection that uses it.
  ~TdomASModelNS() override;
  void Create(TDomImplementation* owner);

  TdomASElementDeclNS* FindElementDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  // The attribute declared for the element, both by namespace URI and local name; null when either is not.
  TdomASAttributeDeclNS* FindAttributeDeclNS(const std::u16string& elementNamespaceURI,
                                             const std::u16string& elementLocalName,
                                             const std::u16string& attributeNamespaceURI,
                                             const std::u16string& attributeLocalName) const;
  TdomASEntityDeclNS* FindEntityDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  TdomASNotationDeclNS* FindNotationDeclNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  // Each: false with the existing declaration when the pair is known (the first binds).
  bool AddElementDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                        TdomASContentType contentType, TdomASElementDeclNS*& declaration);
  bool AddEntityDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                       const std::u16string& value, const std::u16string& publicId, const std::u16string& systemId,
                       const std::u16string& notationName, TdomASEntityDeclNS*& declaration);
  bool AddNotationDeclNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                         const std::u16string& publicId, const std::u16string& systemId,
                         TdomASNotationDeclNS*& declaration);
  // Each: false when absent; frees the declaration.
  bool RemoveElementDeclNS(const std::u16string& namespaceURI, const std::u16string& localName);
  bool RemoveEntityDeclNS(const std::u16string& namespaceURI, const std::u16string& localName);
  bool RemoveNotationDeclNS(const std::u16string& namespaceURI, const std::u16string& localName);
  void Clear();

  TdomASNamedObjectMapNS* ElementDecls() const { return elementDecls; }
  TdomASNamedObjectMapNS* EntityDecls() const { return entityDecls; }
  TdomASNamedObjectMapNS* NotationDecls() const { return notationDecls; }

private:
  TdomASNamedObjectMapNS* elementDecls = nullptr;   // owned, declarations owned
  TdomASNamedObjectMapNS* entityDecls = nullptr;    // owned, declarations owned
  TdomASNamedObjectMapNS* notationDecls = nullptr;  // owned, declarations owned
};

class TdomASModelCollectionNS : public TObject {
public:
  // Forgets its models first.
  ~TdomASModelCollectionNS() override;
  // A null document raises ENot_Supported_Err.
  void Create(TdomDocument* ownerDocument_);

  virtual TdomASElementDeclNS* FindElementDeclNS(const std::u16string& namespaceURI,
                                                 const std::u16string& localName) const;
  // The first model's declaration of the attribute for the element.
  virtual TdomASAttributeDeclNS* FindAttributeDeclNS(const std::u16string& elementNamespaceURI,
                                                     const std::u16string& elementLocalName,
                                                     const std::u16string& attributeNamespaceURI,
                                                     const std::u16string& attributeLocalName) const;
  virtual TdomASEntityDeclNS* FindEntityDeclNS(const std::u16string& namespaceURI,
                                               const std::u16string& localName) const;
  virtual TdomASModelNS* GetModel(int index) const;
  virtual int GetModelCount() const { return static_cast<int>(models.size()); }
  // Null raises ENot_Supported_Err, another implementation's model
  // EWrong_DOM_Implementation_Err, a model already here EInuse_Err "Inuse
  // ASModel error.". Returns the new index.
  virtual int AddModel(TdomASModelNS* model);
  virtual void Clear();
  virtual void InsertModel(int index, TdomASModelNS* model);
  // Null raises ENot_Supported_Err.
  virtual void RemoveModel(TdomASModelNS* model);
  TdomDocument* OwnerDocument() const { return ownerDocument; }

private:
  void CheckNewModel(const TdomASModelNS* model) const;

  TdomDocument* ownerDocument = nullptr;  // not owned
  std::vector<TdomASModelNS*> models;     // not owned
};
