// The auto-complete drop-down's candidate list: refilled from the typed
// text's folder (or by the application), hot-tracked by the mouse, and
// chosen by a release over a candidate.
#include <cwctype>

#include "shell/ExplorerCombobox.h"
#include "shell/ViewHold.h"

const TMessageMap* TPopupAutoCompleteTree::ClassMessageMap() {
  static const TMessageMap map(TVirtualStringTree::ClassMessageMap(), {
      OnMessage(WM_MOUSEMOVE, &TPopupAutoCompleteTree::WMMouseMove),
      OnMessage(WM_LBUTTONDOWN, &TPopupAutoCompleteTree::WMLButtonDown),
      OnMessage(WM_RBUTTONDOWN, &TPopupAutoCompleteTree::WMLButtonDown),
      OnMessage(WM_LBUTTONUP, &TPopupAutoCompleteTree::WMLButtonUp),
      OnMessage(WM_MOUSEACTIVATE, &TPopupAutoCompleteTree::WMMouseActivate),
  });
  return &map;
}

void TPopupAutoCompleteTree::Create(TComponent* owner) {
  TVirtualStringTree::Create(owner);
  autoComplete = New<TVirtualShellAutoComplete>(nullptr);
  strings = New<TWideStringList>();
  SetNodeDataSize(sizeof(int));
  ScrollBarOptions()->SetScrollBars(ssNone);
  SetBorderStyle(bsNone);
  SetDefaultNodeHeight(17);
  SetIndent(0);
  TCustomVirtualTreeOptions* o = TreeOptions();
  o->SetAutoOptions(TVTAutoOptions{toAutoScroll, toAutoScrollOnExpand});
  o->SetMiscOptions(TVTMiscOptions{});
  o->SetPaintOptions(TVTPaintOptions{toHideFocusRect, toPopupMode, toShowBackground, toUseBlendedImages});
  o->SetSelectionOptions(TVTSelectionOptions{toDisableDrawSelection});
}

TPopupAutoCompleteTree::~TPopupAutoCompleteTree() {
  if (autoComplete != nullptr) autoComplete->Free();
  if (strings != nullptr) strings->Free();
}

void TPopupAutoCompleteTree::CreateParams(TCreateParams& params) {
  TVirtualStringTree::CreateParams(params);
  params.Style &= ~static_cast<DWORD>(WS_CLIPSIBLINGS);
}

namespace {
std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) c = static_cast<char16_t>(std::towlower(c));
  return s;
}
}  // namespace

void TPopupAutoCompleteTree::UpdateList(const std::u16string& text) {
  // The handlers may free this tree (and the drop-down with it): nothing more is listed then.
  THold hold(this);
  Clear();
  if (Going()) return;
  strings->Clear();
  bool handled = false;
  if (!FireViewHandler(this, OnAutoCompleteUpdateList, this, text, strings, handled)) return;
  // A list that takes no node (read-only) shows no candidate for it.
  auto addCandidate = [this](int i) {
    if (PVirtualNode node = AddChild(nullptr)) *static_cast<int*>(GetNodeData(node)) = i;
  };
  BeginUpdate();
  try {
    if (handled) {
      for (int i = 0; i < strings->Count(); ++i) addCandidate(i);
    } else {
      std::u16string folder = text.size() == 1 ? text + u":\\" : text.substr(0, text.rfind(u'\\') + 1);
      if (text.size() != 1 && text.rfind(u'\\') == std::u16string::npos) folder.clear();
      if (!folder.empty()) {
        autoComplete->SetCurrentDir(folder);
        autoComplete->Refresh();
        // A handler of the items may have freed this tree.
        if (Going()) {
          EndUpdate();
          return;
        }
        autoComplete->FillStrings();
        strings->Assign(autoComplete->Strings());
      }
      bool all = !text.empty() && text.back() == u'\\';
      std::u16string prefix = Lower(text);
      for (int i = 0; i < strings->Count(); ++i) {
        if (all || Lower(strings->Strings(i)).starts_with(prefix)) addCandidate(i);
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  if (!Going() && dropDown != nullptr) dropDown->LayoutStep();
}

std::u16string TPopupAutoCompleteTree::Candidate(PVirtualNode node) {
  if (node == nullptr || node == RootNode()) return {};
  int index = *static_cast<int*>(GetNodeData(node));
  return index >= 0 && index < strings->Count() ? strings->Strings(index) : std::u16string();
}

void TPopupAutoCompleteTree::DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType,
                                       std::u16string& text) {
  text = Candidate(node);
  TVirtualStringTree::DoGetText(node, column, textType, text);
}

void TPopupAutoCompleteTree::PaintWindow(HDC dc) {
  dropdown_detail::PaintAroundGrip(dropDown, this, dc, [this](HDC d) { TVirtualStringTree::PaintWindow(d); });
}

void TPopupAutoCompleteTree::WMMouseMove(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (Going()) return;  // a mouse handler freed the tree
  TPoint p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  bool moved = std::abs(p.X - lastMouse.X) >= 5 || std::abs(p.Y - lastMouse.Y) >= 5;
  if (moved && p.Y < 20) Perform(WM_VSCROLL, SB_LINEUP, 0);
  if (moved && p.Y > Height() - 20) Perform(WM_VSCROLL, SB_LINEDOWN, 0);
  if (moved && dropDown != nullptr) dropDown->LayoutStep();
  if (!(p == lastMouse)) {
    PVirtualNode node = GetNodeAt(p.X, p.Y);
    if (node != nullptr && node != GetFirstSelected()) {
      BeginUpdate();
      ClearSelection();
      SetSelected(node, true);
      SetFocusedNode(nullptr);
      EndUpdate();
    }
  }
  lastMouse = p;
}

void TPopupAutoCompleteTree::WMLButtonDown(TMessage& m) {}

void TPopupAutoCompleteTree::WMLButtonUp(TMessage& m) {
  if (dropDown != nullptr) dropDown->StopAutoScroll();
  if (GetNodeAt(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))) != nullptr &&
      dropDown != nullptr)
    dropDown->RollUp(/*accept=*/true);
  if (!Going()) Inherited(ClassMessageMap(), m);  // the roll-up's handler may free the tree
}

void TPopupAutoCompleteTree::WMMouseActivate(TMessage& m) { m.Result = MA_NOACTIVATE; }
