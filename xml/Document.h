#pragma once
// TdomDocument: the root of a DOM tree and the factory of every other node
// kind. It owns every node it makes, the live element lists, the tree walkers
// and node iterators handed out for it, and the table of ID values.
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "xml/DocumentWatch.h"
#include "xml/EntityExpansion.h"
#include "xml/NameTable.h"
#include "xml/Node.h"
#include "xml/ParseError.h"

class TDomImplementation;
class TdomASModelCollectionNS;
class TdomAttr;
class TdomCDATASection;
class TdomComment;
class TdomDocumentFragment;
class TdomDocumentType;
class TdomDocumentTypeDecl;
class TdomElement;
class TdomElementsNodeList;
class TdomElementsNodeListNS;
class TdomEntity;
class TdomEntityReference;
class TdomNodeIterator;
class TdomNotation;
class TdomProcessingInstruction;
class TdomText;
class TdomTreeWalker;
class TdomXPathNamespace;

// The replacement text of a predefined entity ("lt" gives "&#60;"), or null
// for any other name.
const char16_t* PredefinedEntityReplacementText(const std::u16string& name);

// Three states of the XML declaration's standalone flag.
enum TdomStandalone : uint8_t { STANDALONE_YES = 0, STANDALONE_NO = 1, STANDALONE_UNSPECIFIED = 2 };

class TdomDocument : public TdomNode {
public:
  TdomDocument() = default;
  // The nodes it owns report to it.
  bool IsDocumentOwner() const override { return true; }
  // Frees traversal objects, element lists and every node, then detaches the document type.
  ~TdomDocument() override;
  // Free, however it is reached (through any base class, FreeAndNil too),
  // frees the document at once when no hold is on the stack, its own
  // deletion handlers told first under a hold. Under a hold it only marks
  // it going (see DocumentWatch.h): the document type is detached and the
  // implementation forgotten now, so that both may go at once; the rest
  // goes when the outermost hold ends, and the deletion handlers of its
  // nodes (its own too) are told then, when they really go. A node freed
  // meanwhile waits for that too. A document going already raises
  // EListError "Object is being freed".

  // Creation phase. A document type needs an implementation that made it and
  // must not be in use, else EWrong_Document_Err "Wrong document error.".
  virtual void Create(TDomImplementation* implementation, TdomDocumentType* doctype);

  std::u16string GetNodeName() const override { return u"#document"; }
  TdomNodeType GetNodeType() const override { return ntDocument_Node; }
  TdomDocument* GetReferenceDocument() const override { return const_cast<TdomDocument*>(this); }
  int64_t GetLevel() const override { return 0; }
  int64_t GetDocumentOrder() const override { return 0; }
  // The document URI when it is an absolute URI, else "".
  std::u16string GetBaseUri() const override;
  // The namespace its document element binds prefix to (the two reserved
  // prefixes without one).
  std::u16string lookupNamespaceURI(const std::u16string& prefix) const override;
  // Setting a document's value does nothing.
  void SetNodeValue(const std::u16string&) override {}

  // Document child rules: at most one element, one declaration, declaration first.
  TdomNode* appendChild(TdomNode* newChild) override;
  TdomNode* insertBefore(TdomNode* newChild, TdomNode* refChild) override;
  TdomNode* replaceChild(TdomNode* newChild, TdomNode* oldChild) override;

  // --- Tree queries ------------------------------------------------------------
  // The first element child, or null.
  virtual TdomElement* GetDocumentElement() const;
  // The first document type declaration child, or null.
  virtual TdomDocumentTypeDecl* GetDoctypeDecl() const;
  TdomDocumentType* GetDoctype() const { return doctype; }
  TDomImplementation* GetDomImplementation() const { return domImplementation; }
  // The namespace-aware abstract-schema models the document uses.
  TdomASModelCollectionNS* GetASModelsNS() const { return asModelsNS; }
  // The owner element of the attribute registered under id, or null.
  virtual TdomElement* getElementById(const std::u16string& id) const;
  // The cached live list of elements named name ("*": all) below the document.
  virtual TdomElementsNodeList* getElementsByTagName(const std::u16string& name);
  virtual TdomElementsNodeListNS* getElementsByTagNameNS(const std::u16string& namespaceURI,
                                                         const std::u16string& localName);

  // --- Factories (nodes owned by this document, not inserted) ----------------------
  // Those that report the new node's data (text, CDATA, comment, processing
  // instruction) return null when a listener told of it frees the node.
  virtual TdomElement* createElement(const std::u16string& tagName);
  virtual TdomElement* createElementNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName);
  virtual TdomAttr* createAttribute(const std::u16string& name);
  virtual TdomAttr* createAttributeNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName);
  virtual TdomText* createTextNode(const std::u16string& data);
  virtual TdomCDATASection* createCDATASection(const std::u16string& data);
  virtual TdomComment* createComment(const std::u16string& data);
  virtual TdomProcessingInstruction* createProcessingInstruction(const std::u16string& target,
                                                                 const std::u16string& data);
  virtual TdomDocumentFragment* createDocumentFragment();
  virtual TdomEntityReference* createEntityReference(const std::u16string& name);
  virtual TdomDocumentTypeDecl* createDocumentTypeDecl(const std::u16string& name, const std::u16string& publicId,
                                                       const std::u16string& systemId,
                                                       const std::u16string& internalSubset);
  virtual TdomEntity* createEntity(const std::u16string& name, const std::u16string& publicId,
                                   const std::u16string& systemId, const std::u16string& notationName);
  virtual TdomNotation* createNotation(const std::u16string& name, const std::u16string& publicId,
                                       const std::u16string& systemId);
  // Recorded in the iterator list; root null raises ENot_Supported_Err, a
  // root of another document EWrong_Document_Err.
  virtual TdomNodeIterator* createNodeIterator(TdomNode* root, TdomWhatToShow whatToShow, TdomNodeFilter* filter,
                                               bool entityReferenceExpansion);
  virtual TdomTreeWalker* createTreeWalker(TdomNode* root, TdomWhatToShow whatToShow, TdomNodeFilter* filter,
                                           bool entityReferenceExpansion);
  // Frees a walker of this document and nulls the variable; null does nothing;
  // a walker of another document raises EWrong_Document_Err.
  virtual void FreeTreeWalker(TdomTreeWalker*& walker);
  // Frees every iterator marked invalid.
  virtual void ClearInvalidNodeIterators();
  int NodeIteratorCount() const { return static_cast<int>(nodeIterators.size()); }

  // Makes the document element; a second one raises EHierarchy_Request_Err.
  virtual TdomElement* CreateDocumentElement(const std::u16string& tagName);
  virtual TdomElement* CreateDocumentElementNS(const std::u16string& namespaceURI,
                                               const std::u16string& qualifiedName);

  // --- Import --------------------------------------------------------------------
  // A copy of node made in this document; reports NODE_IMPORTED to node's handlers.
  virtual TdomNode* importNode(TdomNode* node, bool deep);
  // The copy without the import notification (cloneNode uses it). Null,
  // documents, document types and declarations raise ENot_Supported_Err.
  virtual TdomNode* InternalImportNode(TdomNode* node, bool deep);

  // --- XPath namespace nodes -------------------------------------------------------------
  // The namespace node that binds prefix to namespaceURI on element (one of
  // this document's), owned by this document: the same node for the same
  // three each time, made on first use. It goes when element is freed (or
  // the document), which invalidates it. Raises as the node's constructor.
  TdomXPathNamespace* NamespaceNodeFor(TdomElement* element, const std::u16string& prefix,
                                       const std::u16string& namespaceURI);
  // How many such nodes the document holds.
  size_t NamespaceNodeCount() const { return namespaceNodes.size(); }
  // Called by a namespace node that is being freed: it leaves the table.
  void ForgetNamespaceNode(TdomXPathNamespace* node);

  // --- Entities, attribute values, validation ---------------------------------------
  // Replacement text of a general entity; without DTD models only the five
  // predefined entities (error ET_NONE), others give "" and ET_UNDEFINED_ENTITY.
  virtual void ResolveEntityReplacementText(const std::u16string& entityName, std::u16string& text,
                                            TXmlErrorType& errorType);
  // The normalised value of attr (which must belong here); "" unless the error is a hint.
  virtual void CalculateNormalizedAttrValue(const TdomAttr* attr, std::u16string& value, TXmlErrorType& errorType);
  // False without DTD models; else whether the text is white space in element content.
  virtual bool IsIgnorableWhitespace(const TdomText* textNode) const;
  // Removes unspecified attributes below node and adds the declared defaults.
  virtual bool FillDefaultAttributes(TdomNode* node);
  // True without a document element, else FillDefaultAttributes on it.
  virtual bool prepareAttributes();
  // Validates against the declaration's models; without a declaration reports
  // ET_DOCTYPE_NOT_FOUND and returns false.
  virtual bool validate(bool keepUnchanged, int64_t startByte = -1, int64_t startChar = -1,
                        int64_t startColumn = -1, int64_t startLine = -1, int64_t endByte = -1,
                        int64_t endChar = -1, int64_t endColumn = -1, int64_t endLine = -1);
  // Reports an error about relatedNode; returns whether to go on.
  virtual bool HandleError(TXmlErrorType errorType, TdomNode* relatedNode);
  // Registers id for attr; a value already present raises EStringListError.
  // An attribute that is freed leaves the table.
  void AddID(const std::u16string& id, TdomAttr* attr);
  void ClearIDs() {
    idTable.clear();
    idValuesByCarrier.clear();
  }
  // The shared names of this document's elements and attributes.
  TdomNameTable& NameTable() { return nameTable; }

  // --- Change notifications -----------------------------------------------------------
  virtual void DoAttrModified(TdomNode* modifiedNode, TdomAttrChange attrChange, TdomAttr* relatedAttr);
  virtual void DoCharacterDataModified(TdomNode* node);
  virtual void DoNodeClearing(TdomNode* node);
  virtual void DoNodeInserted(TdomNode* node);
  virtual void DoNodeRemoving(TdomNode* node);

  TdomCallOut<TdomAttrModifiedEvent> OnAttrModified;
  TdomCallOut<TdomNotifyNodeEvent> OnCharacterDataModified;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeClearing;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeInserted;
  TdomCallOut<TdomNotifyNodeEvent> OnNodeRemoving;

  // --- Document data ---------------------------------------------------------------------
  const std::u16string& GetDocumentUri() const { return documentUri; }
  void SetDocumentUri(const std::u16string& value) { documentUri = value; }
  const std::u16string& GetInputEncoding() const { return inputEncoding; }
  void SetInputEncoding(const std::u16string& value) { inputEncoding = value; }
  const std::u16string& GetXmlEncoding() const { return xmlEncoding; }
  void SetXmlEncoding(const std::u16string& value) { xmlEncoding = value; }
  TdomStandalone GetXmlStandalone() const { return xmlStandalone; }
  void SetXmlStandalone(TdomStandalone value) { xmlStandalone = value; }
  const std::u16string& GetXmlVersion() const { return xmlVersion; }
  void SetXmlVersion(const std::u16string& value) { xmlVersion = value; }
  bool GetModified() const { return modified; }
  void SetModified(bool value) { modified = value; }

  // Bumped by every change of the tree's shape or of an element's name; live
  // element lists compare it to decide whether their cached walk still holds.
  uint64_t StructureStamp() const { return structureStamp; }
  // Where the values of this document's nodes are kept (see NodeValue.h).
  TdomTextArena& TextArena() { return textArena; }
  void BumpStructureStamp() { ++structureStamp; }
  // How many of this document's nodes have been freed one by one so far:
  // code that holds nodes across a call out compares it before and after.
  uint64_t FreedNodeCount() const { return freedNodeCount; }
  // How many iterators and walkers have been freed so far (a node filter
  // may free the very one that asks it).
  uint64_t FreedTraversalCount() const { return freedTraversalCount; }
  // True while the destructor runs; nodes then skip notifications.
  bool IsDestroying() const { return destroying; }
  // True from a Free under a hold until the outermost hold releases it.
  bool IsReleasePending() const { return releasePending; }
  // A node of this document was given a user-data handler: the destructor then
  // frees node by node, so that each node's NODE_DELETED comes before its
  // subtree's, as when a node alone is freed.
  void NoteUserDataHandler() { userDataHandlers = true; }
  // Called by a document type that detaches itself: drops the link to it.
  void ForgetDoctype(TdomDocumentType* value);
  // A node of this document is being freed: moves traversal objects off its subtree.
  void NodeFreeing(TdomNode* node);
  // See DocumentWatch.h.
  using TWatch = TdomDocumentWatch;
  // A hold that is not on the stack (a builder's, for a whole read): Free
  // under it marks the document going, as under a hold on the stack, and
  // it goes when the last of both kinds has ended. The keeper looks at
  // IsGoing before it uses the document again.
  void Keep() { ++keeps; }
  void Unkeep();
  // The running totals of general-entity expansion (see EntityExpansion.h).
  TdomEntityExpansionBudget& ExpansionBudget() { return expansionBudget; }

protected:
  // It owns every node of its tree and frees them in its destructor.
  bool FreesSubtreeInDestructor() const override { return true; }
  // Marks the document going under a hold (see Free above).
  bool KeepUntilUnheld() override;
  // Its listeners hear that its content goes, as they would of a Clear.
  bool BeginRelease() override;
  void DoBeforeClear() override;
  void CheckFragmentInsertion(const TdomNode* fragment, const TdomNode* refChild, const TdomNode* oldChild) override;
  // At most one element and one declaration, the declaration first:
  // EHierarchy_Request_Err "Hierarchy request error." otherwise.
  void CheckInsertionRules(const TdomNode* newChild, const TdomNode* refChild) override;
  void CheckReplacementRules(const TCustomOwnedNode* newNode, const TCustomOwnedNode* oldNode) override;

private:
  // Stores a new character-data node's first data with its report; node, or
  // null when a listener told of it freed it.
  template <class T>
  T* StoreFirstData(T* node, const std::u16string& data);
  // Whether a listener of this document or of its implementation hears of
  // changes of character data: without one (a parse, as a rule) a report
  // needs no hold.
  bool CharacterDataHeard() const;
  friend class TdomDocumentWatch;
  TWatch* watches = nullptr;  // newest first, on the stack
  int keeps = 0;              // holds off the stack (Keep)
  // No hold of either kind is left.
  bool Unheld() const { return watches == nullptr && keeps == 0; }
  // The outermost hold of a document freed under it ends: it goes now.
  void ReleaseHeld();
  // Tells the document's own deletion handlers, under a hold, before it is deleted.
  void TellOwnDeletionHandlers();
  // Null raises ENot_Supported_Err; a root of another document EWrong_Document_Err.
  void CheckTraversalRoot(const TdomNode* root) const;
  // Frees iterators, walkers and cached lists.
  void FreeTraversalsAndLists();
  // element is being freed: its namespace nodes go too.
  void FreeNamespaceNodesOf(TdomNode* element);
  void AttachDoctype(TdomDocumentType* value);
  void DetachDoctype();


  TdomASModelCollectionNS* asModelsNS = nullptr;        // owned
  std::vector<TdomNodeIterator*> nodeIterators;         // owned
  std::vector<TdomTreeWalker*> treeWalkers;             // owned
  std::vector<TdomElementsNodeList*> elementLists;      // owned
  std::vector<TdomElementsNodeListNS*> elementListsNS;  // owned
  TdomDocumentType* doctype = nullptr;                  // not owned
  std::u16string documentUri;
  TDomImplementation* domImplementation = nullptr;      // not owned
  std::map<std::u16string, TdomAttr*> idTable;          // attributes not owned
  // The ID values each attribute of idTable carries, so that a freed attribute
  // is found without a walk of the table.
  std::unordered_multimap<const TdomNode*, std::u16string> idValuesByCarrier;
  // NamespaceNodeFor's nodes (owned as nodes of this document) by element.
  std::unordered_multimap<const TdomNode*, TdomXPathNamespace*> namespaceNodes;
  std::u16string inputEncoding;
  std::u16string xmlEncoding;
  TdomStandalone xmlStandalone = STANDALONE_UNSPECIFIED;
  std::u16string xmlVersion;
  bool modified = false;
  uint64_t structureStamp = 0;
  uint64_t freedNodeCount = 0;
  uint64_t freedTraversalCount = 0;
  bool destroying = false;
  bool releasePending = false;  // freed under a hold; released by the outermost
  bool userDataHandlers = false;
  bool tellingRelease = false;  // its listeners are being told that it goes
  TdomEntityExpansionBudget expansionBudget;
  // The values of this document's nodes; they are freed in the destructor's body, before it.
  TdomTextArena textArena;
  // Declared last: the nodes that point into it are freed before it.
  TdomNameTable nameTable;
};

inline TdomDocumentWatch::TdomDocumentWatch(TdomDocument* document_, TdomNode* node_, TdomNode* second_)
    : held(document_), document(document_), node(node_), second(second_), secondGiven(second_ != nullptr) {
  if (held == nullptr) return;
  // Going: freed under a hold, or being torn down.
  if (held->IsGoing()) {
    document = nullptr;
    node = nullptr;
    second = nullptr;
  }
  next = held->watches;
  held->watches = this;
}

inline TdomDocumentWatch::~TdomDocumentWatch() {
  if (held == nullptr) return;
  held->watches = next;
  if (held->releasePending && held->Unheld()) held->ReleaseHeld();
}

inline bool TdomDocumentWatch::DocumentGone() const {
  return deleted || (held != nullptr && (document == nullptr || held->IsGoing()));
}

inline bool TdomDocumentWatch::Silenced() const { return deleted || (held != nullptr && held->releasePending); }

// The shared record of a name in document's table; nodes made without a
// document share one table of their own.
inline const TdomQualifiedName* PlainNameIn(TdomDocument* document, std::u16string_view nodeName) {
  return document != nullptr ? document->NameTable().Plain(nodeName) : TdomNameTable::PlainWithoutDocument(nodeName);
}
// The record of nodeName when it is an XML Name, else null.
inline const TdomQualifiedName* PlainXmlNameIn(TdomDocument* document, std::u16string_view nodeName) {
  return document != nullptr ? document->NameTable().PlainXmlName(nodeName)
                             : TdomNameTable::PlainXmlNameWithoutDocument(nodeName);
}

inline const TdomQualifiedName* QualifiedNameIn(TdomDocument* document, std::u16string_view namespaceURI,
                                                std::u16string_view prefix, std::u16string_view localName) {
  return document != nullptr ? document->NameTable().Qualified(namespaceURI, prefix, localName)
                             : TdomNameTable::QualifiedWithoutDocument(namespaceURI, prefix, localName);
}
