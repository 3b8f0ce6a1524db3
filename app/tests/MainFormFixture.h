#pragma once
// The main form of the wizard in a test: the wizard's globals reset to a
// second start in the built-in language, handler exceptions turned into test
// failures, and the form's controls found by name.
#include <string>
#include <vector>

#include "Language.h"
#include "MainForm.h"
#include "Settings.h"
#include "Utils.h"
#include "WipeAlgTypes.h"
#include "WizardPages.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/FormFixture.h"
#include "win/testing/Harness.h"

// One row of a report list view as its window shows it: the texts of its
// first four columns and its image.
struct TShownRow {
  std::u16string name, size, date, type;
  int image = -1;
};

// Every row of list as the window shows it (asking the list as painting does).
inline std::vector<TShownRow> ShownRows(TListView* list) {
  HWND hwnd = list->Handle();
  std::vector<TShownRow> rows(static_cast<size_t>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0)));
  for (size_t row = 0; row < rows.size(); ++row) {
    std::u16string* texts[] = {&rows[row].name, &rows[row].size, &rows[row].date, &rows[row].type};
    for (int column = 0; column < 4; ++column) {
      wchar_t text[1024] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 1024;
      SendMessageW(hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
      *texts[column] = reinterpret_cast<const char16_t*>(text);
    }
    LVITEMW image{};
    image.mask = LVIF_IMAGE;
    image.iItem = static_cast<int>(row);
    SendMessageW(hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
    rows[row].image = image.iImage;
  }
  return rows;
}

// A double click of the mouse at client point (x, y) of control, as the
// system delivers it (with the message position a handler may ask for).
inline void DoubleClickByInput(TControl* control, int x, int y) {
  const TPoint at = control->ClientToScreen(Point(x, y));
  SetCursorPos(at.X, at.Y);
  qvtest::Pump(30);
  INPUT in[4]{};
  for (int i = 0; i < 4; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dwFlags = i % 2 == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  }
  SendInput(4, in, sizeof(INPUT));
  qvtest::Pump(200);
}

struct MainFormTest : qvtest::ApplicationTest {
  // Fixtures set the pattern code, the shutdown confirmation and the links
  // behind the pages after this.
  void SetUp() override {
    ApplicationTest::SetUp();
    ReadVersionInfo();
    Task = 0;
    Step = 1;
    GlobalFirstStart = false;
    GlobalLanguage.clear();
    LangIni = LoadLanguageFile("");
    WizardLinks = TWizardLinks{};
    PatternsFileReader = nullptr;
  }
  void TearDown() override {
    if (form != nullptr && *token) form->Free();
    WizardLinks = TWizardLinks{};
    PatternsFileReader = nullptr;
    LangIni = LoadLanguageFile("");
    GlobalLanguage.clear();
    ApplicationTest::TearDown();
  }

  TMainForm* MakeForm() {
    form = New<TMainForm>(Application);
    token = form->Alive();
    form->Show();
    qvtest::Pump(20);
    return form;
  }

  template <class T = TControl>
  T* Find(const char* name) {
    return qvtest::Find<T>(form, name);
  }
  bool Enabled(const char* name) { return Find(name)->Enabled(); }
  std::string Text(const char* name) { return Find(name)->Caption(); }
  int ActivePageIndex() { return Find<TPageControl>("PageControlMain")->ActivePageIndex(); }
  void Click(const char* name) { qvtest::Click(Find(name)); }

  TMainForm* form = nullptr;
  TAliveToken token;
};
