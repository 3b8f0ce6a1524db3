#pragma once
// TdomNode: the base of every node of the document object model. A node is
// owned by the document that made it (the document frees it; removing a node
// from the tree never does) and sits in an ordered parent/child tree.
//
// Pointers to nodes stay valid until the owning document is freed or the node
// itself is freed; freeing a node frees its whole subtree.
#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

#include "xml/DomCallOut.h"
#include "xml/DomTypes.h"
#include "xml/NodePool.h"
#include "xml/NodeValue.h"
#include "xml/OwnedTree.h"

class TdomNodeList;
class TdomNamedNodeMap;

// Maps the tree errors of the owned-tree base to the DOM exception family.
class TdomCustomNode : public TCustomOwnedNode {
public:
  // Raises the DOM exception matching kind (see the table in Node.cpp).
  [[noreturn]] void RaiseException(TOwnedTreeErrorKind kind) override;
  virtual std::u16string GetNodeName() const = 0;
};

class TdomNode : public TdomCustomNode {
public:
  TdomNode() = default;
  // Reports NODE_DELETED to every handler (never letting an exception out),
  // moves traversal objects off this subtree, frees the child list and user data.
  ~TdomNode() override;

  // Creation phase: records owner as the document when it is one; makes the live child list.
  void Create(TCustomOwnedObject* owner) override;
  // Frees the node and its subtree under a hold on its document: what its
  // destructor reports may free the document, which then goes once this
  // node has. A document's release is its own (see Document.h).
  void Free();
  // Frees the children under a hold on the document, like Free.
  void Clear() override;

  // Nodes come from the node pool (see NodePool.h).
  static void* operator new(size_t size) { return NodePoolAllocate(size); }
  static void operator delete(void* block, size_t size) noexcept { NodePoolFree(block, size); }

  // --- Plain accessors -----------------------------------------------------
  std::u16string GetNodeName() const override { return std::u16string(); }
  virtual std::u16string GetLocalName() const { return std::u16string(); }
  virtual std::u16string GetNamespaceURI() const { return std::u16string(); }
  virtual std::u16string GetPrefix() const { return std::u16string(); }
  virtual std::u16string GetExpandedName() const { return std::u16string(); }
  virtual TdomNodeType GetNodeType() const { return ntUnknown; }
  virtual std::u16string GetNodeValue() const { return std::u16string(nodeValue.View()); }
  // Null except for elements.
  virtual TdomNamedNodeMap* GetAttributes() const { return nullptr; }
  // The live list of children; owned by the node (made on first request).
  virtual TdomNodeList* GetChildNodes() const;
  // Out of line, beside OwningDocument: one copy, with no call inside.
  virtual TdomDocument* GetOwnerDocument() const;
  // The document that notifications go to (the document returns itself).
  virtual TdomDocument* GetReferenceDocument() const;
  TdomNode* GetFirstChildNode() const { return static_cast<TdomNode*>(GetFirstChild()); }
  TdomNode* GetLastChildNode() const { return static_cast<TdomNode*>(GetLastChild()); }
  TdomNode* GetNextSiblingNode() const { return static_cast<TdomNode*>(GetNextSibling()); }
  TdomNode* GetPreviousSiblingNode() const { return static_cast<TdomNode*>(GetPreviousSibling()); }
  TdomNode* GetParentNode() const { return static_cast<TdomNode*>(GetParent()); }
  // Parent's level + 1; -1 without parent. Iterative.
  virtual int64_t GetLevel() const;
  // Position in document order (predecessor's + 1), -1 without predecessor. Iterative.
  virtual int64_t GetDocumentOrder() const;
  // TabWidth of the document's implementation; 1 without one.
  virtual int GetTabWidth() const;
  bool IsNamespaceAware() const { return namespaceAware; }
  TdomWhatToShow AllowedChildTypes() const { return allowedChildTypes; }
  bool hasChildNodes() const { return HasChildren(); }
  // True when the node holds an attribute.
  virtual bool hasAttributes() const;

  // Read-only nodes raise ENo_Modification_Allowed_Err "No modification allowed error.".
  virtual void SetNodeValue(const std::u16string& value);
  // The base only checks read-only; elements and attributes store it.
  virtual void SetPrefix(const std::u16string& prefix);

  // Reserved prefixes "xml"/"xmlns" give their namespace names; others "".
  virtual std::u16string lookupNamespaceURI(const std::u16string& prefix) const;
  // "XML" (any case) with version "1.0", "2.0" or "".
  virtual bool isSupported(const std::u16string& feature, const std::u16string& version) const;

  // --- Text values ------------------------------------------------------------
  // Text of the subtree without comments and processing instructions. Iterative.
  virtual std::u16string GetTextContent() const;
  virtual std::u16string GetXPathStringValue() const;
  // The xml:base-aware base URI; "" when none. Iterative.
  virtual std::u16string GetBaseUri() const;
  // The xml:lang value in scope; "" when none. Iterative.
  virtual std::u16string GetLanguage() const;

  // --- Tree operations ----------------------------------------------------------
  // A listener told of a change may free the node an operation returns (or
  // the whole document): the operation then returns null.
  // Type-checks newChild; a fragment's children are all checked first and
  // then moved together (nothing moves when one is refused). Returns newChild.
  virtual TdomNode* appendChild(TdomNode* newChild);
  // refChild null appends. Returns newChild (the emptied fragment for a fragment).
  virtual TdomNode* insertBefore(TdomNode* newChild, TdomNode* refChild);
  // Unlinks oldChild (still owned by its document); returns it.
  virtual TdomNode* removeChild(TdomNode* oldChild);
  // Returns oldChild; a fragment's children take its place, all or nothing.
  virtual TdomNode* replaceChild(TdomNode* newChild, TdomNode* oldChild);
  // A copy made by the document (null without one); reports NODE_CLONED.
  virtual TdomNode* cloneNode(bool deep);
  // Merges text nodes below this node; the base only recurses into children.
  virtual void normalize();
  // Flags of DOCUMENT_POSITION_*; null raises ENot_Supported_Err.
  virtual TdomDocumentPosition compareDocumentPosition(TdomNode* other);
  // Raises EHierarchy_Request_Err "Nodes of type %s are not allowed as children
  // of nodes of type %s" when newChild's type is not allowed here; null passes.
  virtual void CheckTypeAllowed(const TdomNode* newChild) const;
  // True when node is the parent or an ancestor further up.
  bool HasAsAncestor(const TCustomOwnedNode* node) const override { return TCustomOwnedNode::HasAsAncestor(node); }

  // --- Element navigation (null when none) ---------------------------------------
  TdomElement* FindFirstChildElement() const;
  TdomElement* FindLastChildElement() const;
  TdomElement* FindNextSiblingElement() const;
  TdomElement* FindPreviousSiblingElement() const;
  TdomElement* FindParentElement() const;
  TdomElement* FindFirstChildElementByName(const std::u16string& name) const;
  TdomElement* FindLastChildElementByName(const std::u16string& name) const;
  TdomElement* FindNextSiblingElementByName(const std::u16string& name) const;
  TdomElement* FindPreviousSiblingElementByName(const std::u16string& name) const;
  TdomElement* FindParentElementByName(const std::u16string& name) const;
  TdomElement* FindFirstChildElementByNameNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  TdomElement* FindLastChildElementByNameNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  TdomElement* FindNextSiblingElementByNameNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  TdomElement* FindPreviousSiblingElementByNameNS(const std::u16string& namespaceURI,
                                                  const std::u16string& localName) const;
  TdomElement* FindParentElementByNameNS(const std::u16string& namespaceURI, const std::u16string& localName) const;

  // --- XPath shortcuts ------------------------------------------------------------
  // Evaluate an XPath expression with this node as context. An expression that
  // fails to prepare or to evaluate, or is refused for the work it needs,
  // gives false, NaN, "" or null; only a node of a type XPath does not take
  // as context (CDATA, entity reference, ...) raises ENot_Supported_Err.
  // EvaluateToNode gives the first node in document order;
  // a namespace node comes as its element's document's node for that binding
  // (the same node each time; it goes with the element).
  virtual bool EvaluateToBoolean(const std::u16string& expression);
  virtual double EvaluateToNumber(const std::u16string& expression);
  virtual std::u16string EvaluateToWideString(const std::u16string& expression);
  virtual TdomNode* EvaluateToNode(const std::u16string& expression);

  // --- User data ------------------------------------------------------------------
  // Stores data under key (null data removes the key); returns the previous data or null.
  TdomUserData setUserData(const std::u16string& key, TdomUserData data, TdomUserDataEvent handler);
  // The data under key, or null.
  TdomUserData getUserData(const std::u16string& key) const;
  // Reports operation to every key that has a handler, in key order.
  void NotifyUserDataHandlers(TdomUserDataOperation operation, TdomNode* src, TdomNode* dst);

  // Marks every descendant read-only (iteratively).
  void MakeSubtreeReadOnly();

protected:
  // Its deletion handlers are told first, while the node and its subtree are whole.
  void BeforeSubtreeFreed() override;
  // Nothing for a node whose document was freed under a hold (it goes with it).
  bool BeginRelease() override;
  // Calls every deletion handler of the user data (NODE_DELETED) under a
  // hold on holdOn and lets go of the keys told; what a handler raises
  // stops there.
  void TellDeletionHandlers(TdomDocument* holdOn);
  void DoAfterAttach(TCustomOwnedNode* node) override;
  void DoAfterDetach(TCustomOwnedNode* node) override;
  void DoBeforeClear() override;
  void DoBeforeDetach(TCustomOwnedNode* node) override;
  void DoAfterClear() override;
  // A node reports to its document and is freed by it: its only owner is
  // that document. Any other new owner (another document, or a node, which
  // could free the node while it still sits in the tree, even above its new
  // owner) raises EWrong_Document_Err "Wrong document error.".
  void CheckNewOwner(const TCustomOwnedObject* newOwner) const override;

  // The next node up for position comparisons: the parent (an attribute's owner element).
  virtual TdomNode* GetPositionParent() const { return GetParentNode(); }
  // What MergeTextChildren did: merging reports to listeners and runs
  // deletion handlers, so after a merge the tree may have changed in any
  // way, even this node freed.
  enum class TMergeResult : uint8_t { None, Merged, MergedAndFreed };
  // Merges adjacent text children in place; only elements do (see normalize).
  virtual TMergeResult MergeTextChildren() { return TMergeResult::None; }
  // Checks a fragment's children against this node before any moves; the
  // document adds its own rules. refChild/oldChild give the position.
  virtual void CheckFragmentInsertion(const TdomNode* fragment, const TdomNode* refChild, const TdomNode* oldChild);
  // Rules a subclass adds for one node inserted before refChild (null:
  // appended); the document's own child rules. Nothing here.
  virtual void CheckInsertionRules(const TdomNode* newChild, const TdomNode* refChild);
  // Raises ENo_Modification_Allowed_Err "No modification allowed error." when read-only.
  // Inline: every change of a value asks it.
  void CheckNodeWritable() const {
    if (GetReadOnly()) RaiseNotWritable();
  }
  [[noreturn]] static void RaiseNotWritable();
  void SetNamespaceAware(bool value) { namespaceAware = value; }
  void SetAllowedChildTypes(TdomWhatToShow types) { allowedChildTypes = types; }
  // True when freeing the node takes no more than giving its block back: it
  // owns nothing, keeps no extras (child list, user data) and its value
  // lives in the document's text arena (or is empty).
  bool HoldsNothingToRelease() const { return OwnsNothing() && !nodeValue.HoldsBlock(); }
  // ReleaseWithOwner of a class T whose fields beyond the node base's need no
  // release: T's size when this node is a T (not of a class derived from it)
  // that holds nothing to release, else 0.
  template <class T>
  size_t PlainReleaseSize() const {
    return typeid(*this) == typeid(T) && HoldsNothingToRelease() ? sizeof(T) : 0;
  }
  // The stored node value without a copy (what GetNodeValue gives unless overridden).
  std::u16string_view StoredNodeValue() const { return nodeValue.View(); }
  // Stores or extends the node value without checks or notifications.
  void StoreNodeValue(std::u16string_view value);
  // StoreNodeValue for a first value that other nodes likely hold too: the
  // document keeps one copy of it where it can (TdomNodeValue::AssignShared).
  void StoreSharedNodeValue(std::u16string_view value);
  void AppendToNodeValue(std::u16string_view value);
  // The xml:base or xml:lang attribute value of this element, or null when absent.
  bool FindXmlAttribute(const char16_t* localName, std::u16string& value) const;

private:
  struct UserDataEntry {
    std::u16string key;
    TdomUserData data;
    TdomCallOut<TdomUserDataEvent> handler;
  };

  // The document that made this node, or null: the owner when the owner mark
  // says the owner is a document (a node's owner never changes then).
  TdomDocument* OwningDocument() const;

  // Moves the fragment's children, in order, before refChild (null: append),
  // whose checks CheckFragmentInsertion made. Each insertion notice may run a
  // listener that changes the tree: the next child is then checked again as
  // a single insertion would be (refChild must still be a child), and first
  // too when lookFirst. Stops when a listener frees this node or the fragment.
  void MoveFragmentChildren(TdomNode* fragment, TdomNode* refChild, bool lookFirst);
  // The checks of one fragment child inserted before refChild (null:
  // appended), made again after a listener changed the tree.
  void CheckFragmentChild(const TdomNode* child, const TdomNode* refChild);
  // replaceChild for a fragment with children, whose checks are made.
  void ReplaceByFragment(TdomNode* fragment, TdomNode* oldChild);

  // What few nodes have: the live child list and user data.
  struct Extras : TOwnedObjectExtension {
    TdomNodeList* childNodes = nullptr;  // owned; made on first request
    std::vector<UserDataEntry> userData;
  };
  // Null until needed; kept as the owned-object base's extension.
  Extras* ExtrasOrNull() const { return static_cast<Extras*>(Extension()); }
  Extras& EnsureExtras() const;
  // Frees the extras once they hold nothing.
  void DropExtrasIfEmpty() const;

  // The small fields first: they fill the tree base's tail padding.
  bool namespaceAware = false;
  TdomWhatToShow allowedChildTypes = 14778;
  TdomNodeValue nodeValue;
};

// The text and CDATA below root in document order, through elements, entity
// references, entities and fragments; visits counts the nodes walked.
std::u16string CollectTextBelow(const TdomNode* root, size_t& visits);
