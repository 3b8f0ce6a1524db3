#include "win/controls/StdCtrls.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "win/ClassInfo.h"

namespace {

const TEnumNames kScrollStyleNames = {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
const TEnumNames kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

const TClassRegistrar<TMemo, TCustomEdit> kMemoRegistrar("TMemo", {
    StringsProp("Lines", &TMemo::Lines),
    Prop("WordWrap", &TMemo::WordWrap, &TMemo::SetWordWrap),
    EnumProp("ScrollBars", &TMemo::ScrollBars, &TMemo::SetScrollBars, kScrollStyleNames),
    Prop("WantReturns", &TMemo::WantReturns, &TMemo::SetWantReturns),
    Prop("WantTabs", &TMemo::WantTabs, &TMemo::SetWantTabs),
    EnumProp("Alignment", &TMemo::Alignment, &TMemo::SetAlignment, kAlignmentNames),
});

}  // namespace

void TMemo::Create(TComponent* owner) {
  TCustomEdit::Create(owner);
  lines = New<TMemoStrings>(this);
  SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() {
  if (lines != nullptr) lines->Free();
}

void TMemo::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  static const DWORD kAlign[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
  params.Style |= ES_MULTILINE | ES_AUTOVSCROLL | kAlign[alignment];
  if (wordWrap) params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  if (wantReturns) params.Style |= ES_WANTRETURN;
  if (scrollBars == ssVertical || scrollBars == ssBoth) params.Style |= WS_VSCROLL;
  if ((scrollBars == ssHorizontal || scrollBars == ssBoth) && !wordWrap) params.Style |= WS_HSCROLL;
}

void TMemo::SetWordWrap(bool value) {
  if (value == wordWrap) return;
  wordWrap = value;
  RecreateWnd();
}

void TMemo::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars) return;
  scrollBars = value;
  RecreateWnd();
}

void TMemo::SetWantReturns(bool value) {
  if (value == wantReturns) return;
  wantReturns = value;
  RecreateWnd();
}

void TMemo::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  RecreateWnd();
}

void TMemo::SetText(const std::string& value) {
  TCustomEdit::SetText(value);
  lines->TextChanged();
}

void TMemo::Change() {
  lines->TextChanged();
  TCustomEdit::Change();
}

void TMemo::Append(const std::string& text) {
  if (!HandleAllocated()) {
    SetTextProp(Text() + text);
    return;
  }
  HWND hwnd = Handle();
  int end = GetWindowTextLengthW(hwnd);
  SendMessageW(hwnd, EM_SETSEL, end, end);
  SetSelText(text);
  SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
}

// ---------------------------------------------------------------------------
// TMemoStrings

namespace {

// The text that adds line s at the end. A line break ending the text only
// closes its last line, so an empty line takes a break of its own, or the
// next line added would take its place.
std::string LineToAppend(const std::string& s, bool atLineStart) {
  return (atLineStart ? "" : "\r\n") + s + (s.empty() ? "\r\n" : "");
}

}  // namespace

std::vector<std::string> TMemoStrings::Split() const {
  std::vector<std::string> result;
  std::string text = memo->Text();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      result.push_back(text.substr(start));
      break;
    }
    result.push_back(text.substr(start, end - start));
    // CR LF, a lone CR and a lone LF each end one line.
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return result;
}

void TMemoStrings::Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  memo->SetTextProp(text);
}

void TMemoStrings::IndexError(int index) const {
  throw EStringListError(Format("List index out of bounds (%d)", {index}));
}

std::string TMemoStrings::Get(int index) const {
  std::vector<std::string> lines = Split();
  if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
  return lines[static_cast<size_t>(index)];
}

int TMemoStrings::GetCount() const { return static_cast<int>(Split().size()); }

void TMemoStrings::Put(int index, const std::string& s) {
  std::vector<std::string> lines = Split();
  if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
  lines[static_cast<size_t>(index)] = s;
  Join(lines);
}

void TMemoStrings::Insert(int index, const std::string& s) {
  std::vector<std::string> lines = Split();
  if (index < 0 || index > static_cast<int>(lines.size())) IndexError(index);
  if (index == static_cast<int>(lines.size())) {
    Add(s);
    return;
  }
  lines.insert(lines.begin() + index, s);
  Join(lines);
}

int TMemoStrings::Add(const std::string& s) {
  if (!memo->HandleAllocated()) {
    std::string text = memo->Text();
    int index = GetCount();
    bool endsWithBreak = !text.empty() && (text.back() == '\n' || text.back() == '\r');
    memo->Append(LineToAppend(s, text.empty() || endsWithBreak));
    return index;
  }
  // With a window only the end of the text is looked at: the last line starts
  // at the end exactly when the text is empty or ends with a line break.
  HWND hwnd = memo->Handle();
  if (cachedCount < 0) cachedCount = GetCount();
  int length = GetWindowTextLengthW(hwnd);
  auto lastLine = SendMessageW(hwnd, EM_LINEFROMCHAR, static_cast<WPARAM>(length), 0);
  bool atLineStart = SendMessageW(hwnd, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0) == length;
  int index = cachedCount;
  appending = true;
  try {
    memo->Append(LineToAppend(s, atLineStart));
  } catch (...) {
    appending = false;
    cachedCount = -1;
    throw;
  }
  appending = false;
  cachedCount = index + 1;
  return index;
}

void TMemoStrings::Delete(int index) {
  std::vector<std::string> lines = Split();
  if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
  lines.erase(lines.begin() + index);
  Join(lines);
}

void TMemoStrings::Clear() { memo->SetTextProp(""); }
