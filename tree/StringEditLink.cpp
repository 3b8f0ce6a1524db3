// The in-place editor of the string tree. A rename must never put a line break
// into a single-line node (a file name): typed, pasted or set line breaks are
// dropped there.
#include "tree/StringEditLink.h"

#include <algorithm>

namespace {
int gLiveEdits = 0;
// Posted by the edit to itself to resize after a text change.
constexpr UINT kAutoAdjust = CM_BASE + 2005;

std::u16string WithoutLineBreaks(std::u16string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }),
             text.end());
  return text;
}
}  // namespace

// ---------------------------------------------------------------------------
// TVTEdit

const TMessageMap* TVTEdit::ClassMessageMap() {
  static const TMessageMap map(TCustomEdit::ClassMessageMap(), {
      OnMessage(WM_GETDLGCODE, &TVTEdit::WMGetDlgCode),
      OnMessage(WM_KEYDOWN, &TVTEdit::WMKeyDown),
      OnMessage(WM_CHAR, &TVTEdit::WMChar),
      OnMessage(WM_PASTE, &TVTEdit::WMPaste),
      OnMessage(WM_DESTROY, &TVTEdit::WMDestroy),
      OnMessage(CM_EXIT, &TVTEdit::CMExit),
      OnMessage(kAutoAdjust, &TVTEdit::CMAutoAdjust),
      OnMessage(CM_RELEASE, &TVTEdit::CMRelease),
      OnMessage(CN_COMMAND, &TVTEdit::CNCommandUpdate),
  });
  return &map;
}

int TVTEdit::LiveCount() { return gLiveEdits; }

void TVTEdit::Create(TComponent* owner) {
  TCustomEdit::Create(owner);
  ++gLiveEdits;
  TControl::SetVisible(false);
  SetShowHint(false);
  SetParentShowHint(false);
}

TVTEdit::~TVTEdit() { --gLiveEdits; }

bool TVTEdit::SingleLine() const { return !multiLineNode; }

void TVTEdit::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  params.Style |= ES_MULTILINE;
  params.Style &= ~static_cast<DWORD>(ES_LEFT | ES_RIGHT | ES_CENTER);
  params.Style |= alignment == taRightJustify ? ES_RIGHT : alignment == taCenter ? ES_CENTER : ES_LEFT;
  if (multiLineNode) {
    params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL | WS_HSCROLL);
    // Enter breaks the line even where the edit is asked for its keys as in a dialog.
    params.Style |= ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN;
  } else {
    params.Style |= ES_AUTOHSCROLL;
  }
  bool themed = link != nullptr && link->tree != nullptr && link->tree->TreeStates().Contains(tsUseThemes);
  if (themed) {
    params.Style &= ~static_cast<DWORD>(WS_BORDER);
    params.ExStyle |= WS_EX_CLIENTEDGE;
  } else {
    params.Style |= WS_BORDER;
    params.ExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
  }
}

std::u16string TVTEdit::WideText() {
  if (!HandleAllocated()) return std::u16string();
  int length = GetWindowTextLengthW(handle);
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(handle, reinterpret_cast<LPWSTR>(text.data()), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

void TVTEdit::SetWideText(const std::u16string& text) {
  SetWindowTextW(Handle(), reinterpret_cast<LPCWSTR>(text.c_str()));
}

void TVTEdit::WMGetDlgCode(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  m.Result |= DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
}

void TVTEdit::WMKeyDown(TMessage& m) {
  // The end's and the cancel's handlers may free the tree, and this edit with
  // it: the tree is held until the key is done (this edit is held by its window).
  switch (m.WParam) {
    case VK_RETURN:
      if (link == nullptr) break;
      if (SingleLine() || GetKeyState(VK_CONTROL) < 0) {
        std::shared_ptr<TStringEditLink> keep = ref;
        TCustomVirtualStringTree* tree = link->tree;
        TObject::THold hold(tree);
        tree->InvalidateNode(link->node);
        tree->DoEndEdit();
        if (!tree->Going() && tree->CanFocus()) tree->SetFocus();
        return;
      }
      break;
    case VK_ESCAPE:
      if (link == nullptr) break;
      {
        std::shared_ptr<TStringEditLink> keep = ref;
        TCustomVirtualStringTree* tree = link->tree;
        TObject::THold hold(tree);
        tree->DoCancelEdit();
        if (!tree->Going() && tree->CanFocus()) tree->SetFocus();
      }
      return;
    case VK_UP:
    case VK_DOWN:
      // A single line has no lines to move between: the arrows move the caret.
      if (SingleLine()) m.WParam = m.WParam == VK_UP ? VK_LEFT : VK_RIGHT;
      break;
  }
  Inherited(ClassMessageMap(), m);
}

void TVTEdit::WMChar(TMessage& m) {
  // Tab and Escape are handled as keys; no beep for them.
  if (m.WParam == VK_TAB || m.WParam == VK_ESCAPE) return;
  if (SingleLine() && (m.WParam == u'\r' || m.WParam == u'\n')) return;
  // Straight to the edit: the key-press event of the layer carries 8-bit characters only.
  DefaultHandler(m);
}

void TVTEdit::WMPaste(TMessage& m) {
  if (!SingleLine()) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  // Pasted line breaks would end up in a single-line name: they are dropped.
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(handle)) return;
  std::u16string text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* chars = static_cast<const char16_t*>(GlobalLock(data))) {
      size_t limit = GlobalSize(data) / sizeof(char16_t);
      size_t length = 0;
      while (length < limit && chars[length] != 0) ++length;
      text.assign(chars, length);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  text = WithoutLineBreaks(text);
  SendMessageW(handle, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TVTEdit::Leave(bool accept) {
  if (link == nullptr || link->stopping) return;
  std::shared_ptr<TStringEditLink> keep = ref;
  // While the tree (or a control around it) is being freed, half-typed text is
  // never taken: its handlers may be gone. A window that is only recreated
  // (a new reading order, other scroll bars) leaves the tree whole, and the
  // text is handed over as when the focus goes.
  for (TWinControl* run = link->tree; run != nullptr; run = run->Parent())
    if (run->ComponentState().Contains(csDestroying)) accept = false;
  if (accept)
    link->tree->DoEndEdit();
  else
    link->tree->DoCancelEdit();
}

void TVTEdit::CMExit(TMessage& m) {
  if (link != nullptr && !link->stopping) {
    auto* options = dynamic_cast<TCustomStringTreeOptions*>(link->tree->TreeOptions());
    Leave(options != nullptr && options->StringOptions().Contains(toAutoAcceptEditChange));
  }
  Inherited(ClassMessageMap(), m);
}

void TVTEdit::WMDestroy(TMessage& m) {
  // The window goes while the edit is still active: with toAutoAcceptEditChange
  // the typed text is kept, as when the focus goes (Leave takes nothing while
  // the tree is being freed).
  if (link != nullptr && !link->stopping) {
    auto* options = dynamic_cast<TCustomStringTreeOptions*>(link->tree->TreeOptions());
    Leave(options != nullptr && options->StringOptions().Contains(toAutoAcceptEditChange));
  }
  ref.reset();
  link = nullptr;
  Inherited(ClassMessageMap(), m);
}

void TVTEdit::CNCommandUpdate(TMessage& m) {
  if (HIWORD(m.WParam) == EN_UPDATE && link != nullptr && SingleLine() &&
      !link->tree->OptionValues().misc.Contains(toGridExtensions))
    AutoAdjustSize();
  Inherited(ClassMessageMap(), m);
}

void TVTEdit::CMAutoAdjust(TMessage& m) { AutoAdjustSize(); }

void TVTEdit::CMRelease(TMessage& m) { Free(); }

void TVTEdit::AutoAdjustSize() {
  if (link == nullptr || link->stopping || !HandleAllocated() || !SingleLine()) return;
  SendMessageW(handle, WM_SETREDRAW, FALSE, 0);
  std::u16string text = WideText();
  HDC dc = GetDC(handle);
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(handle, dc);
  int width = size.cx + 2 * link->tree->TextMargin();
  if (Width() > width) link->tree->InvalidateNode(link->node);
  int left = alignment == taRightJustify ? Left() + Width() - width : Left();
  link->SetBounds(left, Top(), left + width, Top() + Height());
  SendMessageW(handle, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle, nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// TStringEditLink

TStringEditLink::~TStringEditLink() {
  // A tree freed while it was being edited took the edit with it.
  if (edit == nullptr || !*editAlive) return;
  edit->ref.reset();
  edit->link = nullptr;
  // The edit may be in the middle of one of its own messages: it frees itself
  // once they are done. Without a window nothing can be in progress.
  if (edit->HandleAllocated())
    PostMessageW(edit->Handle(), CM_RELEASE, 0, 0);
  else
    edit->Free();
}

bool TStringEditLink::PrepareEdit(TBaseVirtualTree* tree_, PVirtualNode node_, TColumnIndex column_) {
  auto* stringTree = dynamic_cast<TCustomVirtualStringTree*>(tree_);
  if (stringTree == nullptr || node_ == nullptr) return false;
  tree = stringTree;
  node = node_;
  column = column_;
  edit = New<TVTEdit>(tree);  // the tree owns it, so it never outlives the tree
  editAlive = edit->Alive();
  edit->ref = shared_from_this();
  edit->link = this;
  edit->multiLineNode = (node->States & vsMultiline) != 0;
  edit->SetBorderStyleSingle(true);
  std::u16string text;
  {
    // The text handlers may free the tree, and the editor with it, or the
    // node. A freed editor lets go of this link and goes with the hold.
    std::shared_ptr<TStringEditLink> self = shared_from_this();
    TObject::THold holdEdit(edit);
    TVirtualTreeCore::TCallOutScope scope(*tree);
    tree->GetTextInfo(node, column, edit->Font(), textBounds, text);
    if (scope.Lost(node)) {
      if (edit->Going()) {
        edit->link = nullptr;
        edit->ref.reset();
        edit = nullptr;
      }
      return false;
    }
  }
  edit->Font()->SetColor(clWindowText);
  TBiDiMode bidi = column > NoColumn ? tree->ColumnBiDiMode(column) : tree->BiDiMode();
  alignment = column > NoColumn ? tree->ColumnAlignment(column) : tree->Alignment();
  if (bidi != bdLeftToRight) alignment = MirroredAlignment(alignment);
  edit->alignment = alignment;
  edit->SetBiDiMode(bidi);
  edit->SetParent(tree);
  edit->HandleNeeded();
  edit->SetWideText(edit->multiLineNode ? text : WithoutLineBreaks(text));
  edit->SetModified(false);
  return true;
}

bool TStringEditLink::BeginEdit() {
  if (stopping || edit == nullptr) return false;
  edit->Show();
  edit->SelectAll();
  edit->SetFocus();
  return true;
}

void TStringEditLink::Disconnect() {
  if (edit == nullptr) return;
  edit->link = nullptr;
  std::shared_ptr<TStringEditLink> last = std::move(edit->ref);  // released when this call is done
}

bool TStringEditLink::EndEdit() {
  if (stopping) return false;
  stopping = true;
  // Ended before it was prepared (a handler on the way): nothing to hand over.
  if (edit == nullptr) return true;
  try {
    // A node deleted during the edit takes no text.
    if (edit->Modified() && tree->EditedNode() == node) {
      std::u16string text = edit->WideText();
      if (!(node->States & vsMultiline)) text = WithoutLineBreaks(text);
      // The new text's handler may free the tree, and the edit it owns with it
      // (the tree's caller keeps this link until it returns).
      TObject::THold hold(tree);
      tree->SetText(node, column, text);
      if (tree->Going()) {
        edit = nullptr;
        return true;
      }
    }
    edit->Hide();
  } catch (...) {
    // The edit stays active when the text could not be handed over.
    stopping = false;
    throw;
  }
  Disconnect();
  return true;
}

bool TStringEditLink::CancelEdit() {
  if (stopping) return false;
  stopping = true;
  if (edit == nullptr) return true;  // cancelled before it was prepared
  edit->Hide();
  tree->CancelEditNode();
  Disconnect();
  return true;
}

void TStringEditLink::GetBounds(int& left, int& top, int& right, int& bottom) {
  TRect r = edit != nullptr ? edit->BoundsRect() : TRect();
  left = r.Left;
  top = r.Top;
  right = r.Right;
  bottom = r.Bottom;
}

void TStringEditLink::ProcessMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
  if (edit != nullptr && edit->HandleAllocated()) edit->Perform(msg, wParam, lParam);
}

TRect EditFormattingRect(TRect client, int textMargin, bool themed, int shiftDown) {
  // The edit's own border is 3 pixels with themes, 2 without: the text lines
  // up with the node's text, and the room above and below is the border's.
  int offset = themed ? 3 : 2;
  TRect r = client;
  r.Left += textMargin - offset;
  r.Right -= textMargin - offset;
  r.Top -= offset;
  r.Bottom += offset;
  r.Offset(0, shiftDown);
  return r;
}

void TStringEditLink::SetBounds(int left, int top, int right, int bottom) {
  if (stopping || edit == nullptr) return;
  left = std::max(left, 0);
  if (right - left < 30) {
    if (alignment == taRightJustify)
      left = right - 30;
    else
      right = left + 30;
  }
  right = std::min(right, tree->ClientWidth());
  edit->SetBounds(left, top, right - left, bottom - top);
  if (!edit->HandleAllocated()) return;
  RECT client;
  GetClientRect(edit->Handle(), &client);
  TRect r = EditFormattingRect(TRect::FromRECT(client), tree->TextMargin(),
                               tree->TreeStates().Contains(tsUseThemes),
                               (node->States & vsMultiline) ? 0 : textBounds.Top - top);
  RECT format = r.ToRECT();
  SendMessageW(edit->Handle(), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&format));
}

// ---------------------------------------------------------------------------
// The trees' side

TEditLinkPtr TCustomVirtualStringTree::DoCreateEditor(PVirtualNode node, TColumnIndex column) {
  TEditLinkPtr link = TVirtualTreeCore::DoCreateEditor(node, column);
  if (!link) link = std::make_shared<TStringEditLink>();
  return link;
}
