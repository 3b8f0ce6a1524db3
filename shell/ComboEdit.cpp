// The combo box's edit: Enter resolves the typed path, typing opens the
// auto-complete list, Alt+Down opens the folder tree.
#include "shell/ExplorerCombobox.h"
#include "shell/ViewHold.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

const TMessageMap* TComboEdit::ClassMessageMap() {
  static const TMessageMap map(TCustomEdit::ClassMessageMap(), {
      OnMessage(WM_KEYDOWN, &TComboEdit::WMKeyDown),
      OnMessage(WM_CHAR, &TComboEdit::WMChar),
      OnMessage(WM_SYSKEYDOWN, &TComboEdit::WMSysKeyDown),
      OnMessage(WM_PAINT, &TComboEdit::WMPaint),
  });
  return &map;
}

void TComboEdit::Create(TComponent* owner) {
  TCustomEdit::Create(owner);
  SetBorderStyleSingle(false);
}

TComboEdit::~TComboEdit() {
  if (oldNamespace != nullptr) oldNamespace->Free();
}

void TComboEdit::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  params.Style |= ES_AUTOHSCROLL;
}

std::u16string TComboEdit::TextW() {
  if (!HandleAllocated()) return AnsiToWide(GetText());
  int length = GetWindowTextLengthW(Handle());
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  int got = GetWindowTextW(Handle(), reinterpret_cast<LPWSTR>(text.data()), length + 1);
  text.resize(static_cast<size_t>(std::max(0, got)));
  return text;
}

void TComboEdit::SetTextW(const std::u16string& value) {
  settingText = true;
  try {
    if (HandleAllocated())
      SetWindowTextW(Handle(), reinterpret_cast<LPCWSTR>(value.c_str()));
    else
      SetText(WideToAnsi(value));
  } catch (...) {
    settingText = false;
    throw;
  }
  settingText = false;
  if (oldNamespace != nullptr) FreeAndNil(oldNamespace);
  typedSinceSet = false;
  if (comboBox != nullptr) comboBox->Invalidate();
}

void TComboEdit::Change() {
  TCustomEdit::Change();
  if (settingText || comboBox == nullptr) return;
  if (!typedSinceSet) {
    // The first typed change: keep the folder the text named, hide its icon.
    typedSinceSet = true;
    TNamespace* current = comboBox->ActiveNamespace();
    if (current != nullptr) oldNamespace = current->Clone(/*freePIDLOnDestroy=*/true);
    comboBox->Invalidate();
  }
  if (typing) OpenAutoComplete();
}

void TComboEdit::OpenAutoComplete() {
  if (comboBox->Going()) return;
  // The roll-up's and the candidates' handlers may free the combo box (and
  // this edit and the lists) or its form: the typing ends there.
  TViewHold hold(comboBox);
  TCustomVirtualExplorerCombobox* box = comboBox;
  TPopupAutoCompleteDropDown* list = box->PopupAutoCompleteDropDown();
  TPopupExplorerDropDown* explorer = box->PopupExplorerDropDown();
  explorer->RollUp(false);
  if (box->Going()) return;
  std::u16string text = TextW();
  if (text.empty()) {
    list->RollUp(false);
    return;
  }
  list->PopupAutoCompleteTree()->UpdateList(text);
  if (box->Going()) return;
  if (list->PopupAutoCompleteTree()->GetRootNodeCount() == 0) {
    list->RollUp(false);
    return;
  }
  if (!list->DroppedDown()) list->RollDown(this, comboBox);
}

void TComboEdit::InheritedTyping(TMessage& m) {
  typing = true;
  try {
    Inherited(ClassMessageMap(), m);
  } catch (...) {
    typing = false;
    throw;
  }
  typing = false;
}

void TComboEdit::WMKeyDown(TMessage& m) {
  if (m.WParam == VK_RETURN && comboBox != nullptr) {
    ResolveText();
    return;
  }
  InheritedTyping(m);
}

void TComboEdit::WMChar(TMessage& m) {
  if (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE) return;  // no beep: Enter resolved already
  InheritedTyping(m);
}

void TComboEdit::WMSysKeyDown(TMessage& m) {
  if (m.WParam == VK_DOWN && comboBox != nullptr) {
    comboBox->PopupAutoCompleteDropDown()->RollUp(false);
    comboBox->DropExplorer();
  }
  Inherited(ClassMessageMap(), m);
}

void TComboEdit::WMPaint(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (!Focused()) return;
  HDC dc = GetDC(Handle());
  RECT r;
  GetClientRect(Handle(), &r);
  DrawFocusRect(dc, &r);
  ReleaseDC(Handle(), dc);
}

namespace {

// The item path names, or null.
LPITEMIDLIST ExistingItem(const std::u16string& path) {
  if (path.empty()) return nullptr;
  return PathToPIDL(path);
}

}  // namespace

bool TComboEdit::ResolveText() {
  if (comboBox == nullptr || comboBox->Going()) return false;
  // The combo box's handlers may free it (and this edit) or its form.
  TViewHold hold(comboBox);
  TCustomVirtualExplorerCombobox* box = comboBox;
  std::u16string path = TextW();
  if (path.size() == 1 && std::iswalpha(path[0]))
    path += u":\\";
  else if (path.size() == 2 && std::iswalpha(path[0]) && path[1] == u':')
    path += u"\\";
  if (LPITEMIDLIST pidl = ExistingItem(path)) {
    TNamespace* ns = New<TNamespace>(pidl, nullptr);
    try {
      if (oldNamespace != nullptr) FreeAndNil(oldNamespace);
      typedSinceSet = false;
      box->SetActiveNamespace(ns);
      if (!box->Going()) box->RefreshText();
    } catch (...) {
      ns->Free();
      throw;
    }
    ns->Free();
    return true;
  }
  // The longest leading part that is an existing folder; select the rest.
  size_t good = 0;
  for (size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1)) {
    if (!vws::WideDirectoryExists(path.substr(0, at + 1))) break;
    good = at + 1;
  }
  if (HandleAllocated()) {
    settingText = true;
    SetWindowTextW(Handle(), reinterpret_cast<LPCWSTR>(path.c_str()));
    settingText = false;
    SetSelStart(static_cast<int>(good));
    SetSelLength(static_cast<int>(path.size() - good));
  }
  comboBox->DoInvalidPath(path);
  return false;
}
