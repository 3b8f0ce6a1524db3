#pragma once
// The real main form with the real engine link, the shipped patterns file and
// the drives that run-engine-link-tests.sh maps (QV_TEST_WIZ_DISK, _STOP, _FREE).
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "../MainFormFixture.h"
#include "PatternsReader.h"
#include "WipeDLL.h"

// The letter of a mapped test drive; 0 when the script could not map it.
inline char TestDrive(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] >= 'A' && value[0] <= 'Z' ? value[0] : 0;
}

// A whole Path field as the program writes it: path and its terminator, then
// next and its terminator (none when empty), the rest zero.
inline std::u16string PathField(const std::u16string& path, const std::u16string& next) {
  std::u16string field = path + u'\0';
  if (!next.empty()) field += next + u'\0';
  field.resize(kBlockTextChars, u'\0');
  return field;
}

// The names in folder (with or without its trailing backslash), without "." and "..".
inline std::set<std::u16string> EntriesOf(std::u16string folder) {
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  std::set<std::u16string> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(reinterpret_cast<LPCWSTR>((folder + u"*").c_str()), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
    if (name != u"." && name != u"..") names.insert(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// Declares var as the letter of a mapped test drive, or skips the test.
#define REQUIRE_DRIVE(var, name)                    \
  const char var = TestDrive(name);                 \
  if (var == 0) GTEST_SKIP() << name << " is not mapped (see run-engine-link-tests.sh)"

struct EngineLinkTest : MainFormTest {
  void SetUp() override {
    MainFormTest::SetUp();
    SelectedPatternCode = "ZEROS";
    ConfirmationsShutdown = false;
    LinkEngine();
    PatternsFileReader = LoadProgramPatterns;
    errors.clear();
    gErrors = &errors;
    UtilsErrorReporter = +[](const std::string& text) { gErrors->push_back(text); };
    AskStopBeforeClose = nullptr;
  }
  void TearDown() override {
    // A run still going would report to a freed form: stop it first.
    if (form != nullptr && *token && form->Busy) {
      form->StopRequested = true;
      qvtest::PumpUntil([&] { return !*token || !form->Busy; }, 30000);
    }
    MainFormTest::TearDown();
    UtilsErrorReporter = nullptr;
  }

  std::vector<std::string> Log(const char* memo) {
    std::vector<std::string> lines;
    TStrings* text = Find<TMemo>(memo)->Lines();
    for (int i = 0; i < text->Count(); ++i) lines.push_back(text->Strings(i));
    return lines;
  }
  std::string Joined(const char* memo) {
    std::string all;
    for (const std::string& line : Log(memo)) all += line + "\n";
    return all;
  }
  // The last line of the log that is not empty.
  std::string LastLine(const char* memo) {
    std::vector<std::string> lines = Log(memo);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines.empty() ? std::string() : lines.back();
  }

  // Chooses the row of drive on the drive page; false when it is not listed.
  bool SelectDrive(char drive) {
    auto* list = Find<TListView>("DiskSelectListView");
    for (int i = 0; i < list->Items()->Count(); ++i) {
      TListItem* row = list->Items()->Item(i);
      if (!row->Caption().empty() && row->Caption()[0] == drive) {
        list->SetSelected(row);
        form->DiskSelectListViewClick(list);
        return form->DriveLetter == drive;
      }
    }
    return false;
  }
  // Chooses the pattern of code on the algorithm page.
  void SelectPattern(const std::string& code) {
    auto* combo = Find<TComboBox>("AlgoritmComboBox");
    for (int i = 0; i < combo->Items()->Count(); ++i) {
      auto* pattern = dynamic_cast<TWipePattern*>(combo->Items()->Objects(i));
      if (pattern != nullptr && pattern->Code == code) {
        combo->SetItemIndex(i);
        form->AlgoritmComboBoxChange(combo);
      }
    }
    form->CheckState();
  }
  // From the welcome page to the drive page of the task's radio button.
  void ToDrivePage(const char* radio) {
    Click(radio);
    Click("BottomNext");
  }
  // The disk task's format page for drive, with the pattern "ZEROS"; false
  // when the drive is not listed or the page not reached.
  bool ToFormatPage(char drive) {
    ToDrivePage("WelcomeDiskWipeRadioButton");
    if (!SelectDrive(drive)) return false;
    Click("BottomNext");
    SelectPattern("ZEROS");
    Click("BottomNext");
    return ActivePageIndex() == wpFormat;
  }
  bool StartDiskRunWithoutFormat(char drive, const std::string& pattern);
  bool WaitForEnd(int timeoutMs) {
    return qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, timeoutMs);
  }

  std::vector<std::string> errors;
  static inline std::vector<std::string>* gErrors = nullptr;
};
