// The options object, the colours and the scroll-bar options of a tree.
#include "tree/VirtualTrees.h"

#include <uxtheme.h>

namespace {
bool WithWindow(TBaseVirtualTree* tree) {
  return tree != nullptr && tree->HandleAllocated() && !tree->ComponentState().Contains(csLoading);
}
bool Designing(TBaseVirtualTree* tree) { return tree->ComponentState().Contains(csDesigning); }
}  // namespace

TVTPaintOptions TCustomVirtualTreeOptions::PaintOptions() const { return owner->OptionValues().paint; }
TVTAnimationOptions TCustomVirtualTreeOptions::AnimationOptions() const { return owner->OptionValues().animation; }
TVTAutoOptions TCustomVirtualTreeOptions::AutoOptions() const { return owner->OptionValues().autoOptions; }
TVTSelectionOptions TCustomVirtualTreeOptions::SelectionOptions() const { return owner->OptionValues().selection; }
TVTMiscOptions TCustomVirtualTreeOptions::MiscOptions() const { return owner->OptionValues().misc; }

void TCustomVirtualTreeOptions::SetAnimationOptions(TVTAnimationOptions value) {
  owner->MutableOptionValues().animation = value;
}

void TCustomVirtualTreeOptions::SetAutoOptions(TVTAutoOptions value) {
  TVTAutoOptions& current = owner->MutableOptionValues().autoOptions;
  if (value == current) return;
  bool spanChanged = value.Contains(toAutoSpanColumns) != current.Contains(toAutoSpanColumns);
  current = value;
  if (spanChanged && WithWindow(owner)) owner->Invalidate();
}

void TCustomVirtualTreeOptions::SetMiscOptions(TVTMiscOptions value) {
  TVTMiscOptions& current = owner->MutableOptionValues().misc;
  if (value == current) return;
  TVTMiscOptions old = current;
  current = value;
  if (!WithWindow(owner)) return;
  if (old.Contains(toCheckSupport) != value.Contains(toCheckSupport)) owner->Invalidate();
  if (Designing(owner)) return;
  if (old.Contains(toFullRepaintOnResize) != value.Contains(toFullRepaintOnResize)) owner->RecreateWnd();
  if (old.Contains(toAcceptOLEDrop) != value.Contains(toAcceptOLEDrop))
    owner->UpdateDropTarget(value.Contains(toAcceptOLEDrop));
}

void TCustomVirtualTreeOptions::SetPaintOptions(TVTPaintOptions value) {
  TVTPaintOptions& current = owner->MutableOptionValues().paint;
  if (value == current) return;
  TVTPaintOptions old = current;
  current = value;
  if (!WithWindow(owner)) return;
  if (old.Contains(toThemeAware) != value.Contains(toThemeAware)) {
    if (value.Contains(toThemeAware) && IsAppThemed())
      owner->DoStateChange({tsUseThemes});
    else
      owner->DoStateChange({}, {tsUseThemes});
    // A state handler may have freed the tree, which has no window then.
    if (owner->Going()) return;
    owner->PrepareBitmaps(/*needButtons=*/true, /*needLines=*/true);
    RedrawWindow(owner->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_FRAME);
    return;
  }
  owner->Invalidate();
}

void TCustomVirtualTreeOptions::SetSelectionOptions(TVTSelectionOptions value) {
  TVTSelectionOptions& current = owner->MutableOptionValues().selection;
  if (value == current) return;
  TVTSelectionOptions old = current;
  current = value;
  if (old.Contains(toMultiSelect) != value.Contains(toMultiSelect) ||
      (!old.Contains(toLevelSelectConstraint) && value.Contains(toLevelSelectConstraint)) ||
      (!old.Contains(toSiblingSelectConstraint) && value.Contains(toSiblingSelectConstraint)))
    owner->ClearSelection();
  if (!value.Contains(toExtendedFocus)) {
    bool moved = owner->FocusedColumn() != owner->HeaderMainColumn();
    owner->focusedColumn = owner->HeaderMainColumn();
    if (moved && old.Contains(toExtendedFocus) && WithWindow(owner)) owner->Invalidate();
  }
}

void TCustomVirtualTreeOptions::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TCustomVirtualTreeOptions*>(dest);
  if (target == nullptr) {
    TPersistent::AssignTo(dest);
    return;
  }
  target->SetAnimationOptions(AnimationOptions());
  target->SetAutoOptions(AutoOptions());
  target->SetMiscOptions(MiscOptions());
  target->SetPaintOptions(PaintOptions());
  target->SetSelectionOptions(SelectionOptions());
}

void TVTColors::Create(TBaseVirtualTree* owner_) {
  owner = owner_;
  const TColor defaults[kCount] = {clBtnShadow, clHighlight, clHighlight, clHighlight, clBtnFace,
                                   clBtnShadow, clBtnFace,   clBtnFace,   clWindowText, clHighlight,
                                   clBtnFace,   clHighlight, clHighlight, clHighlight, clBtnShadow};
  for (int i = 0; i < kCount; ++i) colors[i] = defaults[i];
}

TColor TVTColors::Color(int index) const { return index >= 0 && index < kCount ? colors[index] : clNone; }

void TVTColors::SetColor(int index, TColor value) {
  if (index < 0 || index >= kCount || colors[index] == value) return;
  colors[index] = value;
  if (!WithWindow(owner)) return;
  if (index == 5) owner->PrepareBitmaps(/*needButtons=*/false, /*needLines=*/true);
  if (index == 7) {
    RedrawWindow(owner->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
    return;
  }
  owner->Invalidate();
}

void TVTColors::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TVTColors*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  for (int i = 0; i < kCount; ++i) colors[i] = other->colors[i];
  if (owner != nullptr && owner->UpdateCount() == 0 && WithWindow(owner)) owner->Invalidate();
}

void TScrollBarOptions::SetAlwaysVisible(bool value) {
  if (value == alwaysVisible) return;
  alwaysVisible = value;
  if (owner != nullptr && owner->HandleAllocated()) owner->RecreateWnd();
}

void TScrollBarOptions::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars) return;
  scrollBars = value;
  if (owner != nullptr && owner->HandleAllocated()) owner->RecreateWnd();
}

void TScrollBarOptions::SetScrollBarStyle(TScrollBarStyle value) {
  VT_ASSERT(value == sbmRegular, "Style not supported.");
  scrollBarStyle = value;
}

void TScrollBarOptions::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TScrollBarOptions*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetAlwaysVisible(other->alwaysVisible);
  SetScrollBars(other->scrollBars);
  SetScrollBarStyle(other->scrollBarStyle);
  horizontalIncrement = other->horizontalIncrement;
  verticalIncrement = other->verticalIncrement;
}
