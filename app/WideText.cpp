#include "WideText.h"

#include "win/ClassInfo.h"
#include "win/TextConvert.h"
#include "win/graphics/Graphics.h"

namespace {
const TClassRegistrar<TWideLabel, TLabel> kWideLabelRegistrar("TWideLabel", {});
}  // namespace

void TWideLabel::SetWideCaption(const std::u16string& value) {
  wideCaption = value;
  settingWide = true;
  TLabel::SetText(WideToAnsi(value));
  settingWide = false;
  Invalidate();
}

void TWideLabel::SetText(const std::string& value) {
  if (!settingWide) wideCaption = AnsiToWide(value);
  TLabel::SetText(value);
}

void TWideLabel::Paint() {
  TCanvas* canvas = Canvas();
  TRect client = ClientRect();
  if (!Transparent()) {
    canvas->Brush()->SetColor(Color());
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(client);
  }
  canvas->SetFont(Font());
  canvas->Brush()->SetStyle(bsClear);
  if (!Enabled()) canvas->Font()->SetColor(clBtnShadow);
  canvas->DrawText(wideCaption, client, TextFlags());
}

void AppendWideLine(TMemo* memo, const std::u16string& line) {
  if (memo == nullptr) return;
  HWND hwnd = memo->Handle();
  const int length = GetWindowTextLengthW(hwnd);
  const auto lastLine = SendMessageW(hwnd, EM_LINEFROMCHAR, static_cast<WPARAM>(length), 0);
  const bool atLineStart = SendMessageW(hwnd, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0) == length;
  const std::u16string text = (atLineStart ? u"" : u"\r\n") + line + (line.empty() ? u"\r\n" : u"");
  SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
  // The memo counts its lines while only it appends: this line is new to it.
  if (auto* lines = dynamic_cast<TMemoStrings*>(memo->Lines())) lines->TextChanged();
}

void SetWideText(TMemo* memo, const std::u16string& text) {
  if (memo == nullptr) return;
  SetWindowTextW(memo->Handle(), reinterpret_cast<LPCWSTR>(text.c_str()));
  if (auto* lines = dynamic_cast<TMemoStrings*>(memo->Lines())) lines->TextChanged();
}

std::u16string WideText(TMemo* memo) {
  if (memo == nullptr || !memo->HandleAllocated()) return memo != nullptr ? AnsiToWide(memo->Text()) : u"";
  HWND hwnd = memo->Handle();
  std::u16string text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
  const int got = GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(text.data()), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}
