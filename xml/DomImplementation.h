#pragma once
// TDomImplementation: the component that creates, owns and frees documents and
// document types, answers feature queries, carries the tab width used for
// column counting, routes errors and change notices to its events and hands
// resource requests to an attached resolver.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Component.h"
#include "core/Lists.h"
#include "xml/DocumentWatch.h"
#include "xml/DomTypes.h"

class TStream;
class TdomASModelNS;
class TdomDocumentType;
class TdomNodeList;
class TdomXPathCustomResult;
class TXPathExpression;

// The base of the XML library's components.
class TDomBaseComponent : public TComponent {};

// Finds external resources (DTD subsets, entities) by their identifiers.
class TCustomResourceResolver : public TDomBaseComponent {
protected:
  // A stream of the resource (owned by the caller), or null when not found.
  // Asked only through a hold on the document it is read for
  // (TdomDocumentWatch::Call).
  friend class TdomDocumentWatch;
  virtual TStream* ResolveResource(const std::u16string& baseURI, std::u16string& publicId,
                                   std::u16string& systemId) = 0;
};

using TdomRequestXPathFunctionResultEvent =
    TEvent<void(const std::u16string& namespaceUri, const std::u16string& localName, TdomNode* contextNode,
                int contextPosition, int contextSize, TList* arguments, TdomXPathCustomResult*& value)>;
using TdomRequestXPathVariableEvent =
    TEvent<void(TXPathExpression* sender, const std::u16string& namespaceURI, const std::u16string& localName,
                TdomXPathCustomResult*& value)>;

class TDomImplementation : public TDomBaseComponent {
public:
  ~TDomImplementation() override;
  void Create(TComponent* owner) override;

  // --- Creation (each new object is registered here) -----------------------------
  // A document of this implementation with doctype (which must be ours and unused).
  virtual TdomDocument* CreateDocumentInstance();
  virtual TdomDocument* CreateDocumentInstance(const std::u16string& name, TdomDocumentType* doctype);
  virtual TdomDocument* CreateDocumentInstance(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                               TdomDocumentType* doctype);
  // A registered document without document type (the parser's per-parse document).
  virtual TdomDocument* CreateEmptyDocument();
  // A registered document with a document element named tagName (an XML Name,
  // else EInvalid_Character_Err). These two give null when a listener told
  // of the new element frees the document or this implementation.
  virtual TdomDocument* CreateDocumentNoNS(const std::u16string& tagName, TdomDocumentType* doctype);
  // A registered document with a namespace-aware document element; see the checks in the .cpp.
  virtual TdomDocument* createDocument(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                                       TdomDocumentType* doctype);
  // qualifiedName must be an XML Name (EInvalid_Character_Err) and a QName (ENamespace_Err).
  virtual TdomDocumentType* createDocumentType(const std::u16string& qualifiedName, const std::u16string& publicId,
                                               const std::u16string& systemId);
  // A new namespace-aware abstract-schema model owned here.
  virtual TdomASModelNS* CreateASModelNS();

  // --- Registered objects ------------------------------------------------------------
  // Live views of the registered documents and document types.
  TdomNodeList* GetDocuments() const { return documentsView; }
  TdomNodeList* GetDocumentTypes() const { return documentTypesView; }
  bool OwnsDocument(const TdomDocument* document) const;
  bool OwnsDocumentType(const TdomDocumentType* doctype) const;

  // Each frees a registered object and nulls the variable; null does nothing.
  // Not registered: ENot_Found_Err "Document not found error." (the document
  // type is checked too before anything is freed); the document's type is freed after it.
  virtual void FreeDocument(TdomDocument*& document);
  // Not registered: ENot_Found_Err "DocumentType not found error."; in use: EInuse_Err "Inuse DocumentType error.".
  virtual void FreeDocumentType(TdomDocumentType*& doctype);
  // Frees a model of this implementation (it leaves the collections that
  // use it) and nulls the variable; null does nothing; another model raises
  // ENot_Found_Err "ASModel not found error.".
  virtual void FreeASModel(TdomASModelNS*& model);
  // Frees every model that no document uses, from the last to the first.
  virtual void FreeUnusedASModels();
  int ASModelCount() const { return static_cast<int>(asModels.size()); }
  // Frees every document (children first), then every document type, then every model.
  virtual void Clear();

  // --- Features, errors, notices ---------------------------------------------------------
  // "XML" for "1.0", "2.0" or ""; "VIEWS" and "TRAVERSAL" for "2.0"; feature case ignored.
  virtual bool hasFeature(const std::u16string& feature, const std::u16string& version) const;
  // The call-outs take the hold on the document they concern (a hold of
  // no document when there is none): under a hold whose document is going
  // they call nobody.
  // DoError's verdict; a null error raises ENot_Supported_Err.
  virtual bool HandleError(const TdomDocumentWatch& hold, TObject* sender, TdomError* error);
  // go: true for warnings and errors, false for fatal errors; then OnError
  // (unless locked) may change it.
  virtual void DoError(const TdomDocumentWatch& hold, TObject* sender, TdomError* error, bool& go);
  // Nest a lock on OnError; beyond 0..65535 raises EIntOverflow.
  virtual void DisableErrorEvents();
  virtual void EnableErrorEvents();
  virtual void DoAttrModified(const TdomDocumentWatch& hold, TdomNode* modifiedNode, TdomAttrChange attrChange,
                              TdomAttr* relatedAttr);
  virtual void DoCharacterDataModified(const TdomDocumentWatch& hold, TdomNode* node);
  virtual void DoNodeClearing(const TdomDocumentWatch& hold, TdomNode* node);
  virtual void DoNodeInserted(const TdomDocumentWatch& hold, TdomNode* node);
  virtual void DoNodeRemoving(const TdomDocumentWatch& hold, TdomNode* node);
  virtual void DoRequestXPathFunctionResult(const TdomDocumentWatch& hold, const std::u16string& namespaceUri,
                                            const std::u16string& localName, TdomNode* contextNode,
                                            int contextPosition, int contextSize, TList* arguments,
                                            TdomXPathCustomResult*& value);
  virtual void DoRequestXPathVariable(const TdomDocumentWatch& hold, TXPathExpression* sender,
                                      const std::u16string& namespaceURI, const std::u16string& localName,
                                      TdomXPathCustomResult*& value);

  // --- Resources and settings ---------------------------------------------------------------
  // The resolver's stream, asked under hold (null when its document is
  // going); without a resolver raises ENot_Found_Err "No resource resolver
  // assigned to DOM implementation.".
  virtual TStream* ResolveResource(const TdomDocumentWatch& hold, const std::u16string& baseURI,
                                   std::u16string& publicId, std::u16string& systemId);
  TCustomResourceResolver* GetResourceResolver() const { return resourceResolver; }
  virtual void SetResourceResolver(TCustomResourceResolver* resolver);
  int GetTabWidth() const { return tabWidth; }
  virtual void SetTabWidth(int value) { tabWidth = value; }

  TdomCallOut<TdomAttrModifiedEvent> OnAttrModified;
  TdomCallOut<TdomNotifyNodeEvent> OnCharacterDataModified;
  TdomCallOut<TdomErrorEvent> OnError;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeClearing;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeInserted;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeRemoving;
  TdomCallOut<TdomRequestXPathFunctionResultEvent> OnRequestXPathFunctionResult;
  TdomCallOut<TdomRequestXPathVariableEvent> OnRequestXPathVariable;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  TdomDocument* RegisterDocument(TdomDocument* document);
  // Registers document once makeElement made its element; null when a
  // listener told of it freed the document or this implementation.
  TdomDocument* RegisterWithElement(TdomDocument* document, const std::function<void(TdomDocument*)>& makeElement);
  // Clear's work, without the hold (the destructor's).
  void FreeAll();

  bool destroying = false;  // in the destructor
  uint16_t errorEventLock = 0;
  TCustomResourceResolver* resourceResolver = nullptr;  // not owned
  int tabWidth = 4;
  TdomNodeList* documentsView = nullptr;       // owned
  std::vector<TdomNode*> documents;            // owned documents
  TdomNodeList* documentTypesView = nullptr;   // owned
  std::vector<TdomNode*> documentTypes;        // owned document types
  std::vector<TdomASModelNS*> asModels;        // owned
};
