// Change notifications (at once, after a delay, or when an update ends), the
// window's creation parameters and reading direction, the editor's bounds,
// the cut/copy mark and rendering of the tree's own clipboard format.
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <memory>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "core/SysUtils.h"

namespace {
constexpr UINT_PTR kChangeTimer = 5;
constexpr UINT_PTR kStructureChangeTimer = 6;
}  // namespace

void TBaseVirtualTree::AdviseChangeEvent(bool structureChange, PVirtualNode& node, TChangeReason reason) {
  // The pending state's handler may free the node (its record is kept while
  // the handler's door is open): a freed node is neither remembered for a
  // later report nor reported.
  auto forgetGone = [&] {
    if (node != nullptr && Gone(node)) node = nullptr;
  };
  if (structureChange) {
    if (states.Contains(tsStructureChangePending))
      StopTreeTimer(kStructureChangeTimer);
    else
      DoStateChange({tsStructureChangePending});
    forgetGone();
    lastStructureChangeNode = node;
    if (lastStructureChangeReason == crIgnore)
      lastStructureChangeReason = reason;
    else if (reason != crIgnore && reason != lastStructureChangeReason)
      lastStructureChangeReason = crAccumulated;
    return;
  }
  if (states.Contains(tsChangePending))
    StopTreeTimer(kChangeTimer);
  else
    DoStateChange({tsChangePending});
  forgetGone();
  lastChangedNode = node;
}

void TBaseVirtualTree::Change(PVirtualNode node) {
  AdviseChangeEvent(/*structureChange=*/false, node, crIgnore);
  if (updateCount > 0) return;
  if (changeDelay > 0 && !states.Contains(tsSynchMode) && HandleAllocated()) {
    SetTimer(handle, kChangeTimer, changeDelay, nullptr);
    changeTimersRunning |= 1;
  } else {
    DoChange(node);
  }
}

void TBaseVirtualTree::StructureChange(PVirtualNode node, TChangeReason reason) {
  AdviseChangeEvent(/*structureChange=*/true, node, reason);
  if (updateCount > 0) return;
  if (changeDelay > 0 && !states.Contains(tsSynchMode) && HandleAllocated()) {
    SetTimer(handle, kStructureChangeTimer, changeDelay, nullptr);
    changeTimersRunning |= 2;
  } else {
    DoStructureChange(node, lastStructureChangeReason);
  }
}

void TBaseVirtualTree::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.Style &= ~(WS_HSCROLL | WS_VSCROLL);
  // A window made while the tree is still being built has both bars.
  switch (scrollBarOptions != nullptr ? scrollBarOptions->ScrollBars() : ssBoth) {
    case ssHorizontal: params.Style |= WS_HSCROLL; break;
    case ssVertical: params.Style |= WS_VSCROLL; break;
    case ssBoth: params.Style |= WS_HSCROLL | WS_VSCROLL; break;
    default: break;
  }
  params.WindowClass.style |= CS_DBLCLKS;
  if (options.misc.Contains(toFullRepaintOnResize))
    params.WindowClass.style |= CS_HREDRAW | CS_VREDRAW;
  else
    params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
  // A single border is the sunken client edge, or a plain line without the 3D look.
  if (borderStyle == bsSingle) {
    if (Ctl3D()) {
      params.ExStyle |= WS_EX_CLIENTEDGE;
      params.Style &= ~WS_BORDER;
    } else {
      params.Style |= WS_BORDER;
    }
  } else {
    params.Style &= ~WS_BORDER;
  }
  if (BiDiMode() != bdLeftToRight) params.ExStyle |= WS_EX_LEFTSCROLLBAR;
}

void TBaseVirtualTree::SetBiDiMode(TBiDiMode value) {
  bool changed = value != BiDiMode();
  TCustomControl::SetBiDiMode(value);
  if (changed && HandleAllocated()) RecreateWnd();
}

void TBaseVirtualTree::UpdateEditBounds() {
  if (!states.Contains(tsEditing) || !editLink || focusedNode == nullptr) return;
  TColumnIndex column = HeaderColumnCount() > 0 ? editColumn : NoColumn;
  PVirtualNode node = focusedNode;
  bool multiline = (node->States & vsMultiline) != 0;
  TRect r = GetDisplayRect(node, column, /*textOnly=*/!multiline, /*unclipped=*/true);
  // Its width and image handlers may have ended the edit, moved the focus or freed the tree.
  if (TreeGoing() || !states.Contains(tsEditing) || !editLink || focusedNode != node || Gone(node)) return;
  if (options.misc.Contains(toGridExtensions)) {
    int left = 0, right = 0;
    GetColumnBounds(column, left, right);
    TAlignment align = ColumnAlignment(column);
    if (ColumnBiDiMode(column) != bdLeftToRight && align != taCenter)
      align = align == taLeftJustify ? taRightJustify : taLeftJustify;
    if (align != taLeftJustify)
      r.Left = left;
    else
      r.Right = right;
  }
  if (options.paint.Contains(toShowHorzGridLines)) --r.Bottom;
  editLink->SetBounds(r.Left, r.Top, r.Right, r.Bottom);
}

void TBaseVirtualTree::MarkCutCopyNodes() {
  if (FlagSelectedNodes(vsCutOrCopy, vsDisabled)) return;
  for (PVirtualNode node : GetSelectionInOrder(/*resolve=*/false))
    if (!(node->States & vsDisabled)) node->States |= vsCutOrCopy;
}

namespace {
// The tree whose formats are collected (the list asks a plain function).
const TBaseVirtualTree* gFormatsOf = nullptr;

bool RendersClass(const std::type_info& entryClass) {
  if (entryClass == typeid(TBaseVirtualTree*)) return true;
  if (entryClass == typeid(TCustomVirtualStringTree*))
    return dynamic_cast<const TCustomVirtualStringTree*>(gFormatsOf) != nullptr;
  return false;
}
}  // namespace

void TBaseVirtualTree::SetClipboardFormats(TStrings* value) {
  std::vector<std::string> names;  // value may be the tree's own list
  for (int i = 0; value != nullptr && i < value->Count(); ++i) names.push_back(value->Strings(i));
  SetClipboardFormats(names);
}

void TBaseVirtualTree::SetClipboardFormats(const std::vector<std::string>& value) {
  clipboardFormats->BeginUpdate();
  clipboardFormats->Clear();
  for (const std::string& name : value) clipboardFormats->Add(name);
  clipboardFormats->EndUpdate();
}

bool TBaseVirtualTree::AcceptsClipboardFormat(const std::string& name) {
  uint16_t id = 0;
  const std::type_info* treeClass = ClipboardFormatList().FindFormatByName(name, id);
  gFormatsOf = this;
  bool renders = treeClass != nullptr && RendersClass(*treeClass);
  gFormatsOf = nullptr;
  return renders;
}

void TBaseVirtualTree::GetNativeClipboardFormats(TFormatEtcArray& formats) {
  gFormatsOf = this;
  std::vector<std::string> allowed;
  for (int i = 0; i < clipboardFormats->Count(); ++i) allowed.push_back(clipboardFormats->Strings(i));
  std::vector<FORMATETC> own = ClipboardFormatList().CollectFormats(RendersClass, &allowed);
  gFormatsOf = nullptr;
  formats.insert(formats.end(), own.begin(), own.end());
  DoGetUserClipboardFormats(formats);
}

HRESULT TBaseVirtualTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  medium = STGMEDIUM{};
  bool ownFormat = formatEtcIn.cfFormat == CF_VIRTUALTREE && CF_VIRTUALTREE != 0;
  if (!ownFormat || !(formatEtcIn.tymed & (TYMED_ISTREAM | TYMED_HGLOBAL)))
    return DoRenderOLEData(formatEtcIn, medium, forClipboard);
  std::vector<PVirtualNode> nodes =
      forClipboard ? GetMarkedNodesInOrder(/*resolve=*/true) : GetSelectionInOrder(/*resolve=*/true);
  auto data = std::unique_ptr<TMemoryStream, void (*)(TMemoryStream*)>(New<TMemoryStream>(),
                                                                       [](TMemoryStream* s) { s->Free(); });
  // The handlers asked while writing may free nodes of the list: those are left out.
  {
    TCallOutScope scope(*this);
    for (PVirtualNode node : nodes)
      if (!Gone(node)) WriteNode(data.get(), node);
  }
  auto size = static_cast<ULONG>(data->Size());
  if (formatEtcIn.tymed & TYMED_ISTREAM) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return E_OUTOFMEMORY;
    ULONG written = 0;
    if (size > 0 && (FAILED(stream->Write(data->Memory(), size, &written)) || written != size)) {
      stream->Release();
      return E_FAIL;
    }
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream;
    return S_OK;
  }
  if (size == 0) return E_FAIL;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, size + sizeof(uint32_t));
  if (block == nullptr) return E_OUTOFMEMORY;
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  uint32_t length = size;
  memcpy(bytes, &length, sizeof(length));
  memcpy(bytes + sizeof(length), data->Memory(), size);
  GlobalUnlock(block);
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  return S_OK;
}

void TBaseVirtualTree::ChangeScale(int m, int d) {
  TCustomControl::ChangeScale(m, d);
  if (m == d || d == 0 || !options.autoOptions.Contains(toAutoChangeScale)) return;
  if (ComponentState().Contains(csLoading) && !states.Contains(tsNeedScale)) return;
  SetDefaultNodeHeight(static_cast<uint32_t>(MulDiv(static_cast<int>(DefaultNodeHeight()), m, d)));
  header->ChangeScale(m, d);
}
