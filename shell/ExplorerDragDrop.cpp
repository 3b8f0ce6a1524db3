// The explorer tree's drag and drop through the shell: the node under the
// mouse hands the drag to its item's shell drop target, which decides the
// effect and does the copy, move or link; the tree's own drag offers the
// shell's data object of the selection behind the tree's formats.
#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"
#include "shell/VETDataObject.h"

namespace {

// A foreign data object could enumerate without end.
constexpr size_t kMaxShellFormats = 1024;
constexpr int kAllDropEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

POINTL ToPOINTL(TPoint pt) { return POINTL{pt.X, pt.Y}; }

bool IsReadOnly(const TCustomVirtualExplorerTree* tree) {
  return tree->TreeOptions()->VETMiscOptions().Contains(toVETReadOnly);
}

void ReleaseAndClear(IDataObject*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

}  // namespace

void TCustomVirtualExplorerTree::AcceptDragOver(TBaseVirtualTree* sender, TObject*, TShiftState, TDragStateKind,
                                               TPoint, TDropMode, int&, bool& accept) {
  auto* tree = dynamic_cast<TCustomVirtualExplorerTree*>(sender);
  accept = tree != nullptr && !IsReadOnly(tree);
}

TNamespace* TCustomVirtualExplorerTree::DropTargetNamespace(PVirtualNode node) {
  if (node != nullptr) return NodeNamespace(node);
  return TreeOptions()->VETFolderOptions().Contains(toHideRootFolder) ? RootNamespace() : nullptr;
}

void TCustomVirtualExplorerTree::ForgetDragTarget() {
  lastDropTargetNode = nullptr;
  lastDropTargetNamespace = nullptr;
}

void TCustomVirtualExplorerTree::ChangeDragTarget(TNamespace* target, DWORD keyState, TPoint pt, int& effect) {
  // The old target lets go first: the same item may be entered again.
  if (lastDropTargetNamespace != nullptr) lastDropTargetNamespace->DragLeave();
  lastDropTargetNode = dropTargetNode;
  lastDropTargetNamespace = target;
  if (target == nullptr || dragDataObject == nullptr) {
    effect = DROPEFFECT_NONE;
    return;
  }
  DWORD shellEffect = DWORD(effect);
  if (FAILED(target->DragEnter(dragDataObject, keyState, ToPOINTL(pt), &shellEffect))) {
    shellEffect = DROPEFFECT_NONE;
    ForgetDragTarget();  // no drop target to leave
  }
  effect = int(shellEffect);
}

int TCustomVirtualExplorerTree::SuggestDropEffect(TObject*, TShiftState, TPoint, int allowedEffects) {
  // Never more than the source allows: a copy-only source must not see its items moved.
  return allowedEffects & kAllDropEffects;
}

HRESULT TCustomVirtualExplorerTree::DragEnter(DWORD keyState, TPoint pt, int& effect) {
  if (IsReadOnly(this)) {
    effect = DROPEFFECT_NONE;
    return S_OK;
  }
  dragKeyState = keyState;
  ReleaseAndClear(dragDataObject);
  if (IVTDragManager* manager = GetDragManager(); manager != nullptr && manager->GetIsDropTarget())
    dragDataObject = manager->GetDataObject();
  HRESULT result = TCustomVirtualStringTree::DragEnter(keyState, pt, effect);
  if (effect != DROPEFFECT_NONE) ChangeDragTarget(DropTargetNamespace(dropTargetNode), keyState, pt, effect);
  lastDropEffect = effect;
  return result;
}

HRESULT TCustomVirtualExplorerTree::DragOver(TObject* source, DWORD keyState, TDragStateKind state, TPoint pt,
                                             int& effect) {
  if (IsReadOnly(this)) {
    effect = DROPEFFECT_NONE;
    return S_OK;
  }
  const int entryEffect = effect;
  HRESULT result = TCustomVirtualStringTree::DragOver(source, keyState, state, pt, effect);
  if (effect != DROPEFFECT_NONE) effect = entryEffect;
  if (dropping) return result;
  TNamespace* target = DropTargetNamespace(dropTargetNode);
  if (target != lastDropTargetNamespace || dropTargetNode != lastDropTargetNode) {
    int enterEffect = effect;
    ChangeDragTarget(target, keyState, pt, enterEffect);
  }
  DWORD shellEffect = DWORD(effect);
  if (lastDropTargetNamespace == nullptr || dragDataObject == nullptr || effect == DROPEFFECT_NONE ||
      FAILED(lastDropTargetNamespace->DragOver(keyState, ToPOINTL(pt), &shellEffect)))
    shellEffect = DROPEFFECT_NONE;
  effect = int(shellEffect);
  lastDropEffect = effect;
  return result;
}

HRESULT TCustomVirtualExplorerTree::DragDrop(IDataObject* dataObject, DWORD keyState, TPoint pt, int& effect) {
  if (IsReadOnly(this)) {
    effect = DROPEFFECT_NONE;
    return E_FAIL;
  }
  const int allowedEffects = effect;  // what the source allows
  dropping = true;
  WaitCursor(true);
  HRESULT result = E_FAIL;
  try {
    result = TCustomVirtualStringTree::DragDrop(dataObject, keyState, pt, effect);
    TNamespace* target = lastDropTargetNamespace;
    // A right-button drag lets the shell ask with its menu; otherwise what the shell last agreed to.
    int dropEffect = ((dragKeyState & MK_RBUTTON) ? kAllDropEffects : lastDropEffect) & allowedEffects;
    if (effect != DROPEFFECT_NONE && target != nullptr && dropEffect != DROPEFFECT_NONE) {
      DWORD shellEffect = DWORD(dropEffect);
      result = target->Drop(dataObject, keyState, ToPOINTL(pt), &shellEffect);
      effect = SUCCEEDED(result) ? int(shellEffect) : DROPEFFECT_NONE;
    } else {
      if (target != nullptr) target->DragLeave();
      effect = DROPEFFECT_NONE;
      if (SUCCEEDED(result)) result = E_FAIL;
    }
  } catch (...) {
    effect = DROPEFFECT_NONE;
    result = E_UNEXPECTED;
  }
  ForgetDragTarget();
  dropping = false;
  WaitCursor(false);
  ReleaseAndClear(dragDataObject);
  return result;
}

void TCustomVirtualExplorerTree::DragLeave() {
  TCustomVirtualStringTree::DragLeave();
  if (lastDropTargetNamespace != nullptr) lastDropTargetNamespace->DragLeave();
  ForgetDragTarget();
  ReleaseAndClear(dragDataObject);
}

void TCustomVirtualExplorerTree::DoGetUserClipboardFormats(TFormatEtcArray& formats) {
  TCustomVirtualStringTree::DoGetUserClipboardFormats(formats);
  if (dragSourceDataObject == nullptr) return;
  IEnumFORMATETC* enumerator = nullptr;
  if (FAILED(dragSourceDataObject->EnumFormatEtc(DATADIR_GET, &enumerator)) || enumerator == nullptr) return;
  FORMATETC format{};
  for (size_t n = 0; n < kMaxShellFormats && enumerator->Next(1, &format, nullptr) == S_OK; ++n) {
    // The list keeps no target devices (it does not own them).
    if (format.ptd != nullptr) CoTaskMemFree(format.ptd);
    format.ptd = nullptr;
    formats.push_back(format);
  }
  enumerator->Release();
}

IDataObject* TCustomVirtualExplorerTree::DoCreateDataObject() {
  IDataObject* result = TCustomVirtualStringTree::DoCreateDataObject();
  if (result != nullptr || NodeNamespace(GetFirstSelected()) == nullptr) return result;
  ReleaseAndClear(dragSourceDataObject);
  dragSourceDataObject = SelectedToDataObject();
  if (dragSourceDataObject == nullptr) return nullptr;
  return new TVETDataObject(this, /*forClipboard=*/false);
}

void TCustomVirtualExplorerTree::DoDragging(TPoint p) {
  if (contextMenuManager != nullptr && !contextMenuManager->MenuShowing) contextMenuManager->ResetState();
  TCustomVirtualStringTree::DoDragging(p);
}

void TCustomVirtualExplorerTree::DoEndDrag(TControl* target, int x, int y) {
  TCustomVirtualStringTree::DoEndDrag(target, x, y);
  if (!HandleAllocated()) return;
  Invalidate();
  Update();
}

void TCustomVirtualExplorerTree::ReleaseDragObjects() {
  if (lastDropTargetNamespace != nullptr) lastDropTargetNamespace->DragLeave();
  ForgetDragTarget();
  ReleaseAndClear(dragDataObject);
  ReleaseAndClear(dragSourceDataObject);
}
