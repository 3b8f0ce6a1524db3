// Construction, destruction, published properties and Assign of the tree.
#include "tree/VirtualTrees.h"

#include "tree/DragImage.h"

#include "core/HandedOverHolds.h"
#include "core/SysUtils.h"

namespace {
int gLivingTrees = 0;
}  // namespace

void AcquireWorker() { ++gLivingTrees; }

void ReleaseWorker(TBaseVirtualTree* tree) {
  VT_ASSERT(tree != nullptr, "Tree must not be nil.");
  if (gLivingTrees > 0) --gLivingTrees;
  tree->StopCacheValidation();
  UnqueueTree(tree);
}

int WorkerReferenceCount() { return gLivingTrees; }

void TBaseVirtualTree::Create(TComponent* owner) {
  LinkTreeProperties();
  if (!SharedResourcesReady()) SetUpSharedResources();
  senderTree = this;
  holder = this;
  TCustomControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csSetCaption);
  style.Include(csCaptureMouse).Include(csOpaque).Include(csReplicatable).Include(csDisplayDragImage);
  style.Include(csReflector);
  SetControlStyle(style);
  SetBounds(Left(), Top(), 200, 100);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
  focusedColumn = NoColumn;
  imageChangeLink = New<TChangeLink>();
  imageChangeLink->OnChange = MakeEvent<&TBaseVirtualTree::ImageListChange>(this);
  stateChangeLink = New<TChangeLink>();
  stateChangeLink->OnChange = MakeEvent<&TBaseVirtualTree::ImageListChange>(this);
  customCheckChangeLink = New<TChangeLink>();
  customCheckChangeLink->OnChange = MakeEvent<&TBaseVirtualTree::ImageListChange>(this);
  scrollBarOptions = New<TScrollBarOptions>(this);
  colors = New<TVTColors>(this);
  background = New<TPicture>();
  clipboardFormats = New<TClipboardFormats>(this);
  treeOptions = CreateOptions();
  header = CreateHeader();
  AcquireWorker();
  workerAcquired = true;
  RegisterLiveTree(this);
}

TCustomVirtualTreeOptions* TBaseVirtualTree::CreateOptions() { return New<TCustomVirtualTreeOptions>(this); }

void TBaseVirtualTree::AfterConstruction() {
  // The root is made here, so that a descendant's Create can reserve internal data first.
  CreateRootNode();
  TCustomControl::AfterConstruction();
}

void TBaseVirtualTree::Unhold() {
  if (HoldCount() == 1 && ReleasePending() && !EndingHandedOverHolds())
    HandOverHold(this);
  else
    TCustomControl::Unhold();
}

void TBaseVirtualTree::BeforeDestruction() {
  UnregisterLiveTree(this);
  ReleaseTransport();
  options.misc.Exclude(toReadOnly);
  if (workerAcquired) {
    ReleaseWorker(this);
    workerAcquired = false;
  }
  StopCacheValidation();
  // Panning ends with the tree: its anchor window, capture and timer go now.
  StopWheelPanning();
  DoCancelEdit();
  editLink.reset();
  // Clear runs before the component is torn down, so handlers still see a
  // whole tree; the tree counts as destroying already, so it brackets no
  // update and reports no selection change while its nodes go.
  Destroying();
  if (root != nullptr) ClearOnFree();
  HookImageList(images, imageChangeLink, nullptr);
  HookImageList(stateImages, stateChangeLink, nullptr);
  HookImageList(customCheckImages, customCheckChangeLink, nullptr);
  if (header != nullptr) header->SetImages(nullptr);
  // The window goes with its timers, drop registration, hint and editor; the
  // owner and parent let go of the tree.
  TCustomControl::BeforeDestruction();
  // From here on the tree calls no handler; operations still on the stack
  // find it gone and stop, and its memory goes with their last hold.
  treeGoing = true;
  options.misc.Include(toReadOnly);
}

void TBaseVirtualTree::LastHoldEnded() {
  ReleaseDeadRecordsWhenOut();
  if (header != nullptr) header->Columns()->ReleaseGoingColumns();
}

TBaseVirtualTree::~TBaseVirtualTree() {
  // No scope opened from here on holds the object being deleted.
  holder = nullptr;
  UnregisterLiveTree(this);
  ReleaseTransport();
  if (workerAcquired) ReleaseWorker(this);
  if (images != nullptr) images->UnRegisterChanges(imageChangeLink);
  if (stateImages != nullptr) stateImages->UnRegisterChanges(stateChangeLink);
  if (customCheckImages != nullptr) customCheckImages->UnRegisterChanges(customCheckChangeLink);
  FreeAndNil(background);
  FreeAndNil(clipboardFormats);
  FreeAndNil(colors);
  FreeAndNil(imageChangeLink);
  FreeAndNil(stateChangeLink);
  FreeAndNil(customCheckChangeLink);
  FreeAndNil(scrollBarOptions);
  FreeAndNil(treeOptions);
  FreeAndNil(header);
  delete dragImage;
}

void TBaseVirtualTree::Assign(TPersistent* source) {
  auto* tree = dynamic_cast<TBaseVirtualTree*>(source);
  if (tree == nullptr || options.misc.Contains(toReadOnly)) {
    TCustomControl::Assign(source);
    return;
  }
  SetAlign(tree->Align());
  SetAnchors(tree->Anchors());
  SetAutoScrollDelay(tree->AutoScrollDelay());
  SetAutoScrollInterval(tree->AutoScrollInterval());
  SetBackground(tree->Background());
  SetBevelEdges(tree->BevelEdges());
  SetBevelInner(tree->BevelInner());
  SetBevelKind(tree->BevelKind());
  SetBevelOuter(tree->BevelOuter());
  SetBevelWidth(tree->BevelWidth());
  SetBiDiMode(tree->BiDiMode());
  SetBorderStyle(tree->BorderStyle());
  SetBorderWidth(tree->BorderWidth());
  SetChangeDelay(tree->ChangeDelay());
  SetCheckImageKind(tree->CheckImageKind());
  SetColor(tree->Color());
  SetColors(tree->Colors());
  SetCtl3D(tree->Ctl3D());
  SetDefaultNodeHeight(tree->DefaultNodeHeight());
  SetDefaultPasteMode(tree->DefaultPasteMode());
  SetDragKind(tree->DragKind());
  SetDragMode(tree->DragMode());
  SetDragImageKind(tree->DragImageKind());
  SetEnabled(tree->Enabled());
  Font()->Assign(tree->Font());
  SetHeader(tree->Header());
  SetHintAnimation(tree->HintAnimation());
  SetHintMode(tree->HintMode());
  SetHotCursor(tree->HotCursor());
  SetImages(tree->Images());
  SetIndent(tree->Indent());
  SetMargin(tree->Margin());
  SetNodeAlignment(tree->NodeAlignment());
  SetNodeDataSize(tree->NodeDataSize());
  SetTreeOptions(tree->TreeOptions());
  SetParentColor(tree->ParentColor());
  SetParentFont(tree->ParentFont());
  SetParentShowHint(tree->ParentShowHint());
  SetPopupMenu(tree->PopupMenu());
  SetRootNodeCount(tree->GetRootNodeCount());
  SetScrollBarOptions(tree->ScrollBarOptions());
  SetShowHint(tree->ShowHint());
  SetStateImages(tree->StateImages());
  SetTabStop(tree->TabStop());
  SetParentBiDiMode(tree->ParentBiDiMode());
  SetTabOrder(tree->TabOrder());
  SetVisible(tree->Visible());
  SetSelectionCurveRadius(tree->SelectionCurveRadius());
  SetSelectionBlendFactor(tree->SelectionBlendFactor());
}

void TBaseVirtualTree::ReadOldOptions(const std::vector<std::string>& identifiers) {
  static const char* const kOld[32] = {
      "voAcceptOLEDrop",   "voAnimatedToggle",      "voAutoDropExpand",       "voAutoExpand",
      "voAutoScroll",      "voAutoSort",            "voAutoSpanColumns",      "voAutoTristateTracking",
      "voCheckSupport",    "voDisableDrawSelection", "voEditable",            "voExtendedFocus",
      "voFullRowSelect",   "voGridExtensions",      "voHideFocusRect",        "voHideSelection",
      "voHotTrack",        "voInitOnSave",          "voLevelSelectConstraint", "voMiddleClickSelect",
      "voMultiSelect",     "voRightClickSelect",    "voPopupMode",            "voShowBackground",
      "voShowButtons",     "voShowDropmark",        "voShowHorzGridLines",    "voShowRoot",
      "voShowTreeLines",   "voShowVertGridLines",   "voSiblingSelectConstraint", "voToggleOnDblClick"};
  TTreeOptionValues values;
  values.paint = {};
  values.animation = {};
  values.autoOptions = {};
  values.selection = {};
  values.misc = {};
  for (const std::string& id : identifiers) {
    int which = -1;
    for (int i = 0; i < 32; ++i)
      if (SameText(id, kOld[i])) which = i;
    switch (which) {
      case 0: values.misc.Include(toAcceptOLEDrop); break;
      case 1: values.animation.Include(toAnimatedToggle); break;
      case 2: values.autoOptions.Include(toAutoDropExpand); break;
      case 3: values.autoOptions.Include(toAutoExpand); break;
      case 4: values.autoOptions.Include(toAutoScroll); break;
      case 5: values.autoOptions.Include(toAutoSort); break;
      case 6: values.autoOptions.Include(toAutoSpanColumns); break;
      case 7: values.autoOptions.Include(toAutoTristateTracking); break;
      case 8: values.misc.Include(toCheckSupport); break;
      case 9: values.selection.Include(toDisableDrawSelection); break;
      case 10: values.misc.Include(toEditable); break;
      case 11: values.selection.Include(toExtendedFocus); break;
      case 12: values.selection.Include(toFullRowSelect); break;
      case 13: values.misc.Include(toGridExtensions); break;
      case 14: values.paint.Include(toHideFocusRect); break;
      case 15: values.paint.Include(toHideSelection); break;
      case 16: values.paint.Include(toHotTrack); break;
      case 17: values.misc.Include(toInitOnSave); break;
      case 18: values.selection.Include(toLevelSelectConstraint); break;
      case 19: values.selection.Include(toMiddleClickSelect); break;
      case 20: values.selection.Include(toMultiSelect); break;
      case 21: values.selection.Include(toRightClickSelect); break;
      case 22: values.paint.Include(toPopupMode); break;
      case 23: values.paint.Include(toShowBackground); break;
      case 24: values.paint.Include(toShowButtons); break;
      case 25: values.paint.Include(toShowDropmark); break;
      case 26: values.paint.Include(toShowHorzGridLines); break;
      case 27: values.paint.Include(toShowRoot); break;
      case 28: values.paint.Include(toShowTreeLines); break;
      case 29: values.paint.Include(toShowVertGridLines); break;
      case 30: values.selection.Include(toSiblingSelectConstraint); break;
      case 31: values.misc.Include(toToggleOnDblClick); break;
      default: break;  // unknown identifiers are skipped
    }
  }
  treeOptions->SetAnimationOptions(values.animation);
  treeOptions->SetAutoOptions(values.autoOptions);
  treeOptions->SetMiscOptions(values.misc);
  treeOptions->SetPaintOptions(values.paint);
  treeOptions->SetSelectionOptions(values.selection);
}

void TBaseVirtualTree::RepaintUnlessLoading() {
  if (HandleAllocated() && !IsTreeLoading()) Invalidate();
}

void TBaseVirtualTree::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetAnimationDuration(uint32_t value) {
  animationDuration = value;
  if (value != 0)
    options.animation.Include(toAnimatedToggle);
  else
    options.animation.Exclude(toAnimatedToggle);
}

void TBaseVirtualTree::SetBackground(TPicture* value) {
  background->Assign(value);
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetBackgroundOffsetX(int value) {
  if (value == backgroundOffsetX) return;
  backgroundOffsetX = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetBackgroundOffsetY(int value) {
  if (value == backgroundOffsetY) return;
  backgroundOffsetY = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle) return;
  borderStyle = value;
  RecreateWnd();
}

void TBaseVirtualTree::SetButtonFillMode(TVTButtonFillMode value) {
  if (value == buttonFillMode) return;
  buttonFillMode = value;
  if (IsTreeLoading()) return;
  PrepareBitmaps(/*needButtons=*/true, /*needLines=*/false);
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetButtonStyle(TVTButtonStyle value) {
  if (value == buttonStyle) return;
  buttonStyle = value;
  if (IsTreeLoading()) return;
  PrepareBitmaps(/*needButtons=*/true, /*needLines=*/false);
  RepaintUnlessLoading();
}

TCustomImageList* TBaseVirtualTree::CheckImages() const {
  return checkImageKind == ckCustom ? customCheckImages : GetCheckImageListFor(checkImageKind);
}

void TBaseVirtualTree::SetCheckImageKind(TCheckImageKind value) {
  if (value == checkImageKind) return;
  checkImageKind = value;
  if (HandleAllocated() && updateCount == 0 && !IsTreeLoading()) InvalidateRect(Handle(), nullptr, TRUE);
}

void TBaseVirtualTree::HookImageList(TCustomImageList*& slot, TChangeLink* link, TCustomImageList* value) {
  // A tree that goes hears of no list's release any more (its free
  // notifications are dropped), and may be released long after: it holds none.
  if (IsTreeDestroying()) value = nullptr;
  if (slot == value) return;
  if (slot != nullptr) {
    slot->UnRegisterChanges(link);
    slot->RemoveFreeNotification(this);
  }
  slot = value;
  if (slot != nullptr) {
    slot->RegisterChanges(link);
    slot->FreeNotification(this);
  }
}

void TBaseVirtualTree::SetCustomCheckImages(TCustomImageList* value) {
  HookImageList(customCheckImages, customCheckChangeLink, value);
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetImages(TCustomImageList* value) {
  HookImageList(images, imageChangeLink, value);
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetStateImages(TCustomImageList* value) {
  HookImageList(stateImages, stateChangeLink, value);
  RepaintUnlessLoading();
}

void TBaseVirtualTree::ImageListChange(TObject* sender) { RepaintUnlessLoading(); }

void TBaseVirtualTree::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    bool repaint = false;
    if (component == images) {
      images = nullptr;
      repaint = true;
    }
    if (component == stateImages) {
      stateImages = nullptr;
      repaint = true;
    }
    if (header != nullptr && component == header->Images()) header->SetImages(nullptr);
    if (header != nullptr && component == header->PopupMenu()) header->SetPopupMenu(nullptr);
    if (component == customCheckImages) {
      // The tree goes back to the light check images.
      customCheckImages = nullptr;
      checkImageKind = ckLightCheck;
      repaint = true;
    }
    if (repaint && HandleAllocated() && !IsTreeDestroying()) Invalidate();
  }
  TCustomControl::Notification(component, operation);
}

void TBaseVirtualTree::SetDefaultNodeHeight(uint32_t value) { TVirtualTreeCore::SetDefaultNodeHeight(value); }

void TBaseVirtualTree::SetIncrementalSearch(TVTIncrementalSearch value) {
  if (value == incrementalSearch) return;
  incrementalSearch = value;
  if (value == isNone) {
    StopTreeTimer(7);
    searchBuffer.clear();
    lastSearchNode = nullptr;
    DoStateChange({}, {tsIncrementalSearching, tsIncrementalSearchPending});
  }
}

void TBaseVirtualTree::SetIndent(uint32_t value) {
  if (value == indent) return;
  indent = value;
  if (!IsTreeLoading() && updateCount == 0 && HandleAllocated()) {
    UpdateScrollBars(true);
    Invalidate();
  }
}

void TBaseVirtualTree::SetLineMode(TVTLineMode value) {
  if (value == lineMode) return;
  lineMode = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetLineStyle(TVTLineStyle value) {
  if (value == lineStyle) return;
  lineStyle = value;
  if (IsTreeLoading()) return;
  // A custom style's handler may free the tree.
  THold hold(this);
  PrepareBitmaps(/*needButtons=*/false, /*needLines=*/true);
  if (!Going()) RepaintUnlessLoading();
}

void TBaseVirtualTree::SetMargin(int value) {
  if (value == margin) return;
  margin = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetNodeAlignment(TVTNodeAlignment value) {
  if (value == nodeAlignment) return;
  nodeAlignment = value;
  if (HandleAllocated() && !ComponentState().Contains(csReading)) Invalidate();
}

void TBaseVirtualTree::SetSelectionCurveRadius(uint32_t value) {
  if (value == selectionCurveRadius) return;
  selectionCurveRadius = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::SetTextMargin(int value) {
  if (value == textMargin) return;
  textMargin = value;
  RepaintUnlessLoading();
}

void TBaseVirtualTree::Loaded() {
  TCustomControl::Loaded();
  ApplyPendingRootCount();
  header->Loaded();
}
