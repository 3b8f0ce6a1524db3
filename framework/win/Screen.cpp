#include "win/Forms.h"

#include <algorithm>

#include "core/Format.h"
#include "win/graphics/Graphics.h"

namespace {

struct StockCursor {
  TCursor id;
  LPCWSTR resource;
};

const StockCursor kStockCursors[] = {
    {crArrow, IDC_ARROW},     {crCross, IDC_CROSS},     {crIBeam, IDC_IBEAM},       {crSizeNESW, IDC_SIZENESW},
    {crSizeNS, IDC_SIZENS},   {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},   {crUpArrow, IDC_UPARROW},
    {crHourGlass, IDC_WAIT},  {crDrag, IDC_ARROW},      {crNoDrop, IDC_NO},         {crHSplit, IDC_SIZEWE},
    {crVSplit, IDC_SIZENS},   {crMultiDrag, IDC_ARROW}, {crSQLWait, IDC_WAIT},      {crNo, IDC_NO},
    {crAppStart, IDC_APPSTARTING}, {crHelp, IDC_HELP},  {crHandPoint, IDC_HAND},    {crSizeAll, IDC_SIZEALL},
};

void FontFromLogFont(TFont* font, const LOGFONTW& lf) {
  HFONT h = CreateFontIndirectW(&lf);
  if (h == nullptr) return;
  font->SetHandle(h);
  DeleteObject(h);
}

}  // namespace

void TScreen::Create(TComponent* owner) {
  TComponent::Create(owner);
  hintFont = New<TFont>();
  iconFont = New<TFont>();
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof(ncm);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) FontFromLogFont(hintFont, ncm.lfStatusFont);
  LOGFONTW icon{};
  if (SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(icon), &icon, 0)) FontFromLogFont(iconFont, icon);
  hintFont->SetColor(clInfoText);
}

TScreen::~TScreen() {
  for (auto& c : ownCursors) DestroyCursor(c.second);
  if (hintFont != nullptr) hintFont->Free();
  if (iconFont != nullptr) iconFont->Free();
}

TCustomForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return forms[static_cast<size_t>(index)];
}

TWinControl* TScreen::ActiveControl() const { return activeForm != nullptr ? activeForm->ActiveControl() : nullptr; }

void TScreen::AddForm(TCustomForm* form) { forms.push_back(form); }

void TScreen::RemoveForm(TCustomForm* form) {
  forms.erase(std::remove(forms.begin(), forms.end(), form), forms.end());
  if (activeForm == form) activeForm = nullptr;
}

void TScreen::SetActiveForm(TCustomForm* form) { activeForm = form; }

HCURSOR TScreen::Cursors(TCursor id) const {
  if (id == crNone) return nullptr;
  for (auto& c : ownCursors)
    if (c.first == id) return c.second;
  for (const StockCursor& s : kStockCursors)
    if (s.id == id) return LoadCursorW(nullptr, s.resource);
  return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
}

void TScreen::SetCursors(TCursor id, HCURSOR handle) {
  for (auto& c : ownCursors)
    if (c.first == id) {
      if (c.second != handle) DestroyCursor(c.second);
      c.second = handle;
      return;
    }
  ownCursors.emplace_back(id, handle);
}

HCURSOR TScreen::TakeCursor(TCursor id) {
  for (auto c = ownCursors.begin(); c != ownCursors.end(); ++c)
    if (c->first == id) {
      HCURSOR handle = c->second;
      ownCursors.erase(c);
      return handle;
    }
  return nullptr;
}

void TScreen::SetCursor(TCursor value) {
  if (value == cursor) return;
  cursor = value;
  if (value != crDefault) {
    ::SetCursor(Cursors(value));
    return;
  }
  // Let the window under the mouse choose its cursor again.
  POINT pt;
  GetCursorPos(&pt);
  HWND hwnd = WindowFromPoint(pt);
  if (hwnd != nullptr && GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  else
    ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

TRect TScreen::WorkAreaRect() const {
  // The screen's size only when the system gives no work area: each is a
  // round trip to the window server under Wine.
  RECT r{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) r = RECT{0, 0, Width(), Height()};
  return TRect::FromRECT(r);
}

int TScreen::PixelsPerInch() const { return ScreenPixelsPerInch(); }
