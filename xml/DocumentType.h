#pragma once
// The two document type nodes: TdomDocumentType, the implementation-made
// object a document may be created with, and TdomDocumentTypeDecl, the node
// of the <!DOCTYPE declaration among a document's children.
#include <string>
#include <vector>

#include "xml/Node.h"

class TDomImplementation;
class TdomASModelCollection;
class TdomNamedNodeMap;

class TdomDocumentType : public TdomNode {
public:
  TdomDocumentType() = default;
  // Detaches from its document, then frees both maps and their storage.
  ~TdomDocumentType() override;

  // No checks; made by TDomImplementation::createDocumentType. Always read-only.
  virtual void Create(TDomImplementation* implementation, const std::u16string& name_,
                      const std::u16string& publicId_, const std::u16string& systemId_);

  std::u16string GetNodeName() const override { return name; }
  TdomNodeType GetNodeType() const override { return ntDocument_Type_Node; }
  TdomDocument* GetOwnerDocument() const override { return ownerDocument; }
  TdomDocument* GetReferenceDocument() const override { return ownerDocument; }
  // A document type has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}

  // The entities (node type 6) and notations (node type 12) it declares.
  TdomNamedNodeMap* GetEntities() const { return entities; }
  TdomNamedNodeMap* GetNotations() const { return notations; }
  std::u16string GetInternalSubset() const { return std::u16string(); }
  std::u16string GetName() const { return name; }
  std::u16string GetPublicId() const { return publicId; }
  std::u16string GetSystemId() const { return systemId; }
  TDomImplementation* GetDomImplementation() const { return domImplementation; }

  // Links both ways; a type already in use raises EWrong_Document_Err "Wrong document error.".
  void AttachToDocument(TdomDocument* document_);
  // Clears both links.
  void DetachFromDocument();

private:
  TDomImplementation* domImplementation = nullptr;  // not owned
  std::u16string name;
  std::u16string publicId;
  std::u16string systemId;
  TdomDocument* ownerDocument = nullptr;  // not owned
  TdomNamedNodeMap* entities = nullptr;   // owned
  TdomNamedNodeMap* notations = nullptr;  // owned
  std::vector<TdomNode*> entityList;
  std::vector<TdomNode*> notationList;
};

// How far the declaration's DTD models have been read.
enum TdomPreparationStatus : uint8_t {
  PS_UNPREPARED = 0,
  PS_INTERNAL_PREPARED = 1,
  PS_INCOMPLETE = 2,
  PS_SUCCESSFUL = 3,
};

class TdomDocumentTypeDecl : public TdomNode {
public:
  ~TdomDocumentTypeDecl() override;
  // No checks; preparation state PS_UNPREPARED; empty models.
  virtual void Create(TdomDocument* document_, const std::u16string& name_, const std::u16string& publicId_,
                      const std::u16string& systemId_, const std::u16string& internalSubset_);

  std::u16string GetNodeName() const override { return name; }
  TdomNodeType GetNodeType() const override { return ntDocument_Type_Decl_Node; }
  // A declaration has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}

  std::u16string GetInternalSubset() const { return internalSubset; }
  std::u16string GetName() const { return name; }
  std::u16string GetPublicId() const { return publicId; }
  std::u16string GetSystemId() const { return systemId; }
  TdomPreparationStatus GetPreparationStatus() const { return preparationStatus; }
  // Whether the subsets have been read into the models (also when reading failed).
  bool HasASModels() const { return preparationStatus != PS_UNPREPARED; }
  // The models of the internal and the external subset.
  TdomASModelCollection* GetASModels() const { return asModels; }
  // Reads the internal subset (and, unless internalSubsetOnly, the external
  // one) into the models, which are emptied first; the positions place the
  // internal subset in its document. True when read without errors.
  virtual bool PrepareASModels(bool internalSubsetOnly, int64_t startByte, int64_t startChar, int64_t startColumn,
                               int64_t startLine);

protected:
  void DoBeforeClear() override;

private:
  TdomASModelCollection* asModels = nullptr;  // owned
  std::u16string internalSubset;
  std::u16string name;
  TdomPreparationStatus preparationStatus = PS_UNPREPARED;
  std::u16string publicId;
  std::u16string systemId;
};
