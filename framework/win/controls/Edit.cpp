#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

#include <string>

namespace {

const TEnumNames kCharCaseNames = {"ecNormal", "ecUpperCase", "ecLowerCase"};

// PasswordChar is written as a one-character string ("*"; empty for none).
TPropInfo PasswordCharProp() {
  TPropInfo p;
  p.name = "PasswordChar";
  p.kind = pkString;
  p.getStr = [](TObject* o) -> std::string {
    char c = static_cast<TCustomEdit*>(o)->PasswordChar();
    return c == 0 ? std::string() : std::string(1, c);
  };
  p.setStr = [](TObject* o, const std::string& v) { static_cast<TCustomEdit*>(o)->SetPasswordChar(v.empty() ? 0 : v[0]); };
  return p;
}

const TClassRegistrar<TCustomEdit, TWinControl> kCustomEditRegistrar("TCustomEdit", {
    Prop("Text", &TCustomEdit::Text, &TCustomEdit::SetTextProp),
    Prop("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength),
    Prop("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly),
    PasswordCharProp(),
    Prop("NumbersOnly", &TCustomEdit::NumbersOnly, &TCustomEdit::SetNumbersOnly),
    EnumProp("CharCase", &TCustomEdit::CharCase, &TCustomEdit::SetCharCase, kCharCaseNames),
    Prop("Border", &TCustomEdit::BorderStyleSingle, &TCustomEdit::SetBorderStyleSingle),
    EventProp("OnChange", &TCustomEdit::OnChange),
});
const TClassRegistrar<TEdit, TCustomEdit> kEditRegistrar("TEdit", {});

}  // namespace

const TMessageMap* TCustomEdit::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TCustomEdit::CNCommand),
      OnMessage(WM_PASTE, &TCustomEdit::WMPaste),
  });
  return &map;
}

void TCustomEdit::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption);
  SetControlStyle(style);
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
}

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"EDIT");
  params.Style |= ES_AUTOHSCROLL;
  if (readOnly) params.Style |= ES_READONLY;
  if (numbersOnly) params.Style |= ES_NUMBER;
  if (charCase == ecUpperCase) params.Style |= ES_UPPERCASE;
  if (charCase == ecLowerCase) params.Style |= ES_LOWERCASE;
  if (border) params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::CreateWnd() {
  TWinControl::CreateWnd();
  lastText = StoredCaption();
  HWND hwnd = Handle();
  SendMessageW(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
  if (passwordChar != 0) SendMessageW(hwnd, EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar), 0);
}

// The system's numbers-only box refuses typed characters that are no digits
// but takes any pasted text; here a paste keeps only the clipboard text's digits.
void TCustomEdit::WMPaste(TMessage& m) {
  if (!numbersOnly || readOnly) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  m.Result = 0;
  std::u16string digits;
  if (IsClipboardFormatAvailable(CF_UNICODETEXT) && OpenClipboard(Handle())) {
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      // The clipboard's text need not end in a zero: read no further than its block.
      size_t units = GlobalSize(data) / sizeof(char16_t);
      if (const auto* text = static_cast<const char16_t*>(GlobalLock(data))) {
        for (size_t i = 0; i < units && text[i] != 0; ++i)
          if (text[i] >= u'0' && text[i] <= u'9') digits.push_back(text[i]);
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
  }
  if (digits.empty()) {
    MessageBeep(MB_OK);
    return;
  }
  SendMessageW(Handle(), EM_REPLACESEL, /*canUndo=*/TRUE, reinterpret_cast<LPARAM>(digits.c_str()));
}

void TCustomEdit::SetMaxLength(int value) {
  if (value < 0) value = 0;
  if (value == maxLength) return;
  maxLength = value;
  if (HandleAllocated()) SendMessageW(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
}

void TCustomEdit::SetReadOnly(bool value) {
  if (value == readOnly) return;
  readOnly = value;
  if (HandleAllocated()) SendMessageW(Handle(), EM_SETREADONLY, readOnly, 0);
}

void TCustomEdit::SetPasswordChar(char value) {
  if (value == passwordChar) return;
  passwordChar = value;
  if (!HandleAllocated()) return;
  SendMessageW(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar), 0);
  Invalidate();
}

void TCustomEdit::SetNumbersOnly(bool value) {
  if (value == numbersOnly) return;
  numbersOnly = value;
  RecreateWnd();
}

void TCustomEdit::SetCharCase(TEditCharCase value) {
  if (value == charCase) return;
  charCase = value;
  RecreateWnd();
}

void TCustomEdit::SetBorderStyleSingle(bool value) {
  if (value == border) return;
  border = value;
  RecreateWnd();
}

bool TCustomEdit::Modified() const {
  auto* self = const_cast<TCustomEdit*>(this);
  return HandleAllocated() && SendMessageW(self->Handle(), EM_GETMODIFY, 0, 0) != 0;
}

void TCustomEdit::SetModified(bool value) {
  if (HandleAllocated()) SendMessageW(Handle(), EM_SETMODIFY, value, 0);
}

int TCustomEdit::SelStart() const {
  if (!HandleAllocated()) return 0;
  DWORD start = 0;
  SendMessageW(const_cast<TCustomEdit*>(this)->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

int TCustomEdit::SelLength() const {
  if (!HandleAllocated()) return 0;
  DWORD start = 0, end = 0;
  SendMessageW(const_cast<TCustomEdit*>(this)->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(end - start);
}

void TCustomEdit::SetSelStart(int value) { SendMessageW(Handle(), EM_SETSEL, value, value); }

void TCustomEdit::SetSelLength(int value) {
  int start = SelStart();
  SendMessageW(Handle(), EM_SETSEL, start, start + value);
}

void TCustomEdit::SelectAll() { SendMessageW(Handle(), EM_SETSEL, 0, -1); }

void TCustomEdit::SetSelText(const std::string& text) {
  std::u16string wide = AnsiToWide(text);
  SendMessageW(Handle(), EM_REPLACESEL, /*canUndo=*/FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::CNCommand(TMessage& m) {
  // The window sends EN_CHANGE while it is being made with its text, and some
  // systems for keystrokes that change nothing; neither is a change.
  if (HIWORD(m.WParam) != EN_CHANGE || ControlState().Contains(csCreating) || IsLoading()) return;
  // Multi-line texts (logs) can be long; they are not read back on every change.
  if (GetWindowLongW(Handle(), GWL_STYLE) & ES_MULTILINE) {
    Change();
    return;
  }
  std::string text = Text();
  if (text == lastText) return;
  lastText = text;
  Change();
}
