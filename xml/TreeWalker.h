#pragma once
// TdomTreeWalker: moves a current node through a filtered view of a subtree,
// in every direction. The document makes and owns walkers; a walker whose
// root is freed stops (every move returns null), and one whose current node
// is freed falls back to the nearest remaining node of its view.
#include "core/Object.h"
#include "xml/DomTypes.h"

class TdomDocument;

class TdomTreeWalker : public TObject {
public:
  // A null root raises ENot_Supported_Err "Not supported error.".
  TdomTreeWalker(TdomNode* root_, bool expandEntityReferences_, TdomNodeFilter* filter_,
                 TdomWhatToShow whatToShow_);

  TdomNode* GetCurrentNode() const { return currentNode; }
  TdomNode* GetRoot() const { return root; }
  TdomWhatToShow GetWhatToShow() const { return whatToShow; }
  TdomNodeFilter* GetFilter() const { return filter; }
  bool GetExpandEntityReferences() const { return expandEntityReferences; }
  // Null raises ENot_Supported_Err; a node of another document than the
  // root's (which would never tell the walker when it is freed)
  // EWrong_Document_Err.
  void SetCurrentNode(TdomNode* node);
  void SetRoot(TdomNode* node);
  void SetWhatToShow(TdomWhatToShow value) { whatToShow = value; }
  void SetFilter(TdomNodeFilter* value) { filter = value; }
  void SetExpandEntityReferences(bool value) { expandEntityReferences = value; }

  // Each moves to the node found and returns it, or returns null and stays.
  TdomNode* parentNode();
  TdomNode* firstChild();
  TdomNode* lastChild();
  TdomNode* previousSibling();
  TdomNode* nextSibling();
  TdomNode* nextNode();
  TdomNode* previousNode();

  // node (and its subtree) is being freed: keep root and current node valid.
  void HandleNodeFreeing(TdomNode* node);

protected:
  TdomNode* FindFirstChild(TdomNode* node) const;
  TdomNode* FindLastChild(TdomNode* node) const;
  TdomNode* FindNextNode(TdomNode* node) const;
  TdomNode* FindNextSibling(TdomNode* node) const;
  TdomNode* FindParent(TdomNode* node) const;
  TdomNode* FindPreviousNode(TdomNode* node) const;
  TdomNode* FindPreviousSibling(TdomNode* node) const;

private:
  TdomFilterResult Decide(TdomNode* node) const;
  // One of the Find steps, taken from the current node.
  using TFind = TdomNode* (TdomTreeWalker::*)(TdomNode*) const;
  // Moves to the node find gives; null (staying) when it gives none or a
  // filter stopped it.
  TdomNode* Move(TFind find);
  // The first or last accepted node of node's children, entering skipped ones.
  TdomNode* FindChild(TdomNode* node, bool first) const;
  // The next or previous accepted sibling in the view.
  TdomNode* FindSibling(TdomNode* node, bool next) const;

  TdomNode* currentNode;           // not owned
  bool expandEntityReferences;
  TdomNodeFilter* filter;          // not owned
  TdomNode* root;                  // not owned
  TdomWhatToShow whatToShow;
  TdomDocument* document = nullptr;  // the root's document, which reports frees
};
