#pragma once
// TdomNodeIterator: steps forward and backward through the accepted nodes of
// a subtree in document order. The document owns iterators and tells them
// about removals, so the reference node never dangles; an iterator whose root
// goes away becomes invalid.
#include "core/Object.h"
#include "xml/DomTypes.h"

class TdomNodeIterator : public TObject {
public:
  // A null root raises ENot_Supported_Err "Not supported error.".
  TdomNodeIterator(TdomNode* root_, bool expandEntityReferences_, TdomNodeFilter* filter_,
                   TdomWhatToShow whatToShow_);

  TdomNode* GetRoot() const { return root; }
  TdomNode* GetReferenceNode() const { return referenceNode; }
  // True while the iterator sits before its reference node.
  bool GetPointerBeforeReferenceNode() const { return position == kBefore; }
  TdomWhatToShow GetWhatToShow() const { return whatToShow; }
  TdomNodeFilter* GetFilter() const { return filter; }
  bool GetExpandEntityReferences() const { return expandEntityReferences; }
  bool IsValid() const { return !invalid; }

  // The next or previous accepted node, or null at the end; an invalid
  // iterator raises EInvalid_State_Err "Invalid state error.".
  virtual TdomNode* nextNode();
  virtual TdomNode* previousNode();
  // Clears the reference and makes the iterator invalid.
  virtual void detach();
  // Called before node's children are cleared (removal false) or node is
  // removed or freed (removal true): keeps the reference out of the doomed nodes.
  virtual void HandleNodeChange(TdomNode* node, bool removal);

protected:
  TdomNode* FindNextRaw(TdomNode* node) const;
  TdomNode* FindPreviousRaw(TdomNode* node) const;

private:
  static constexpr int kBefore = 0;
  static constexpr int kAfter = 1;

  bool Accepts(TdomNode* node) const;
  // nextNode's and previousNode's search; a filter's TNodeFilterStop passes.
  TdomNode* StepForward();
  TdomNode* StepBack();
  // The raw steps bounded by the root's subtree (null past its ends).
  TdomNode* NextWithin(TdomNode* node) const;
  TdomNode* PreviousWithin(TdomNode* node) const;
  bool EntersChildren(const TdomNode* node) const;
  void Invalidate();

  TdomNode* root;           // not owned
  TdomNode* referenceNode;  // not owned
  int position = kBefore;
  TdomWhatToShow whatToShow;
  bool expandEntityReferences;
  TdomNodeFilter* filter;   // not owned
  bool invalid = false;
};
