// Check states and types, with tri-state propagation down to box children and
// up through tri-state ancestors (each ancestor is evaluated once per change).
#include "tree/VirtualTreeCore.h"

void TVirtualTreeCore::SetCheckState(PVirtualNode node, TCheckState value) {
  if (node == nullptr || node == root) return;
  if (node->CheckState == value || (node->States & vsDisabled)) return;
  if (DoChecking(node, value)) DoCheckClick(node, value);
}

void TVirtualTreeCore::SetCheckType(PVirtualNode node, TCheckType value) {
  if (node == nullptr || node == root) return;
  if (node->CheckType == value || options.misc.Contains(toReadOnly)) return;
  node->CheckType = value;
  node->CheckState = csUncheckedNormal;
  PVirtualNode parent = node->Parent;
  if (options.autoOptions.Contains(toAutoTristateTracking) && IsBoxCheckType(value) && parent != root) {
    if (!(parent->States & vsInitialized)) InitNode(parent);
    if (parent->CheckType == ctTriStateCheckBox &&
        (parent->CheckState == csUncheckedNormal || parent->CheckState == csCheckedNormal))
      SetCheckState(node, parent->CheckState);
  }
  InvalidateNodeArea(node);
}

TCheckState TVirtualTreeCore::DetermineNextCheckState(TCheckType checkType, TCheckState checkState) {
  switch (checkType) {
    case ctTriStateCheckBox:
    case ctCheckBox:
      return checkState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton:
      return csCheckedNormal;
    case ctButton:
      return csUncheckedNormal;
    default:
      return csMixedNormal;
  }
}

namespace {
// Leaves vsChecking and the propagation depth however ChangeCheckState ends.
struct CheckingScope {
  PVirtualNode node;
  uint32_t& depth;
  TVirtualTreeCore* tree;
  void (*leave)(TVirtualTreeCore*);
  ~CheckingScope() {
    node->States &= ~vsChecking;
    if (--depth == 0) leave(tree);
  }
};
}  // namespace

bool TVirtualTreeCore::ChangeCheckState(PVirtualNode node, TCheckState value) {
  if (node->States & vsChecking) return false;
  node->States |= vsChecking;
  if (checkPropagationCount == 0) {
    ++checkPropagationSerial;
    DoStateChange({tsCheckPropagation});
  }
  ++checkPropagationCount;
  CheckingScope scope{node, checkPropagationCount, this,
                      [](TVirtualTreeCore* tree) { tree->DoStateChange({}, {tsCheckPropagation}); }};
  if (!(node->States & vsInitialized)) InitNode(node);
  bool tracking = options.autoOptions.Contains(toAutoTristateTracking);

  if (node->CheckType == ctTriStateCheckBox && tracking &&
      (value == csUncheckedNormal || value == csCheckedNormal) && node->FirstChild != nullptr) {
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      if (IsBoxCheckType(child->CheckType)) SetCheckState(child, value);
    // Children that refused (or are disabled) count with the state they kept.
    int checked = 0, mixed = 0, unchecked = 0;
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
      if (!IsBoxCheckType(child->CheckType)) continue;
      if (child->CheckState == csCheckedNormal) ++checked;
      if (child->CheckState == csMixedNormal) ++mixed;
      if (child->CheckState == csUncheckedNormal) ++unchecked;
    }
    if (mixed > 0)
      value = csMixedNormal;
    else if (checked > 0)
      value = unchecked > 0 ? csMixedNormal : csCheckedNormal;
  }

  if (node->CheckType == ctRadioButton && value == csCheckedNormal) {
    for (PVirtualNode sibling = node->Parent->FirstChild; sibling != nullptr; sibling = sibling->NextSibling)
      if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
    InvalidateWhole();
  }

  node->CheckState = value;

  PVirtualNode parent = node->Parent;
  if (parent != root && !(parent->States & vsInitialized)) InitNode(parent);
  if (tracking && parent != root && !(parent->States & (vsChecking | vsDisabled)) &&
      IsBoxCheckType(node->CheckType) && parent->CheckType == ctTriStateCheckBox) {
    // A refusal further up stops the walk there; this node's change stands and is reported.
    CheckParentCheckState(node, value);
  }
  InvalidateNodeArea(node);
  return true;
}

bool TVirtualTreeCore::CheckParentCheckState(PVirtualNode node, TCheckState newCheckState) {
  PVirtualNode parent = node->Parent;
  uint32_t boxCount = 0, checkedCount = 0;
  bool partial = false;
  for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling) {
    if (!IsBoxCheckType(run->CheckType)) continue;
    ++boxCount;
    TCheckState state = run == node ? newCheckState : run->CheckState;
    if (state == csCheckedNormal || state == csCheckedPressed) ++checkedCount;
    if (state == csMixedNormal) partial = true;
  }
  TCheckState state;
  if (checkedCount == 0 && !partial)
    state = csUncheckedNormal;
  else if (checkedCount < boxCount)
    state = csMixedNormal;
  else
    state = csCheckedNormal;
  if (!DoChecking(parent, state)) return false;
  // The parent's own change propagates to the grandparent, once; no second walk here.
  DoCheckClick(parent, state);
  return true;
}
