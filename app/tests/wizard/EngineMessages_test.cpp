// The engine's messages as the wizard shows them: names in log lines and in
// the "Wiping file:" label as they are, whatever the system's code page holds.
#include "WideText.h"
#include "WipeDLL.h"
#include "WizardFixture.h"

namespace {

// A log line as the engine posts it: UTF-16 text from LocalAlloc.
WPARAM EngineText(const std::u16string& text) {
  auto* copy = static_cast<char16_t*>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(char16_t)));
  std::copy(text.begin(), text.end(), copy);
  copy[text.size()] = u'\0';
  return reinterpret_cast<WPARAM>(copy);
}

}  // namespace

TEST_F(WizardTest, NamesInTheLogAndTheWipingFileLabelAreShownAsTheyAre) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  ASSERT_EQ(Task, 1);
  form->CurrentParams = form->GetWipeParams();
  const std::u16string names[] = {u"qvgone-Ελληνικά.txt", u"Кириллица.bin", u"漢字.dat", u"plain.txt"};
  for (const std::u16string& name : names) {
    const std::u16string path = u"R:\\folder\\" + name;
    SendMessageW(form->Handle(), WM_WIPE_LOG, EngineText(u"Wiped " + path), 0);
    SendMessageW(form->Handle(), WM_WIPE_PROGRESS, reinterpret_cast<WPARAM>(path.c_str()), 1);
    auto* label = Find<TWideLabel>("FileProgressLabelFilename");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->WideCaption() == name);
  }
  // A folder's path ends in a backslash: its own name is shown.
  const std::u16string folder = u"R:\\Ελληνικά\\";
  SendMessageW(form->Handle(), WM_WIPE_PROGRESS, reinterpret_cast<WPARAM>(folder.c_str()), 1);
  EXPECT_TRUE(Find<TWideLabel>("FileProgressLabelFilename")->WideCaption() == u"Ελληνικά");
  const std::u16string log = WideText(Find<TMemo>("FileProgressLog"));
  std::u16string expected;
  for (const std::u16string& name : names) expected += (expected.empty() ? u"" : u"\r\n") + (u"Wiped R:\\folder\\" + name);
  EXPECT_TRUE(log == expected) << WideStringToString(log);
  // The memo's own lines still count every line, and 8-bit lines go on after them.
  form->AppendLog("FileProgressLog", "after");
  EXPECT_EQ(Find<TMemo>("FileProgressLog")->Lines()->Count(), 5);
  EXPECT_EQ(Find<TMemo>("FileProgressLog")->Lines()->Strings(4), "after");
  form->CurrentParams = nullptr;
}

namespace {

// A pattern without passes beside a usable one.
void ReadPatternsWithAnEmptyOne(TDataStorage* storage) {
  storage->Patterns->Add(New<TWipePattern>(1, "EMPTY", "Nothing", "A pattern whose passes were left out."));
  auto* random = New<TWipePattern>(2, "RANDOM", "Random data", "One pass of random data.");
  random->Passes->Add(New<TWipePass>(1, "00", "RANDOM"));
  storage->Patterns->Add(random);
}

}  // namespace

TEST_F(WizardTest, TheAlgorithmPageSaysWhyNextIsDisabled) {
  PatternsFileReader = ReadPatternsWithAnEmptyOne;
  LinkPageParts();
  SelectedPatternCode = "EMPTY";
  MakeForm();
  Click("WelcomeFreeSpaceRadioButton");
  Click("BottomNext");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpAlgoritm);
  EXPECT_FALSE(Enabled("BottomNext"));
  EXPECT_TRUE(Find("AlgoritmRefusalLabel")->Visible());
  EXPECT_FALSE(Find("AlgoritmNextLabel")->Visible());
  EXPECT_EQ(Text("AlgoritmRefusalLabel"),
            "The selected wipe algorithm has no passes, so it cannot wipe anything: choose another one.");
  auto* combo = Find<TComboBox>("AlgoritmComboBox");
  combo->SetItemIndex(1);
  form->AlgoritmComboBoxChange(combo);
  form->CheckState();
  EXPECT_TRUE(Enabled("BottomNext"));
  EXPECT_FALSE(Find("AlgoritmRefusalLabel")->Visible());
  EXPECT_TRUE(Find("AlgoritmNextLabel")->Visible());
}

TEST_F(WizardTest, TheFileRunFillsItsBarsOnlyWhenNothingFailed) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  auto* current = Find<TProgressBar>("FileProgressBar1");
  auto* overall = Find<TProgressBar>("FileProgressBar2");
  for (int failed : {2, 0}) {
    SCOPED_TRACE(failed);
    form->Busy = true;
    form->CurrentParams = form->GetWipeParams();
    current->SetMax(100);
    current->SetPosition(40);
    overall->SetMax(3);
    overall->SetPosition(1);
    FinishFileRun(form, failed, /*reportOutcome=*/true);
    EXPECT_FALSE(form->Busy);
    const bool full = current->Position() == current->Max() && overall->Position() == overall->Max();
    EXPECT_EQ(full, failed == 0);
    const std::string last = Find<TMemo>("FileProgressLog")->Lines()->Strings(
        Find<TMemo>("FileProgressLog")->Lines()->Count() - 2);
    EXPECT_EQ(last, failed == 0 ? "Files successfully wiped" : "Items that could not be wiped: 2");
  }
}

TEST_F(WizardTest, AFileFinishedAsNotWipedIsNotCountedAsWiped) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  auto* block = static_cast<TWipeParams*>(form->GetWipeParams());
  form->FilesCount = 3;
  form->FilesWiped = 0;
  const std::u16string path = u"R:\\a.txt";
  // Wiped, could not be wiped (State 2), wiped.
  for (int32_t state : {0, 2, 0}) {
    block->Progress = 100;
    block->State = state;
    SendMessageW(form->Handle(), WM_WIPE_PROGRESS, reinterpret_cast<WPARAM>(path.c_str()), 1);
  }
  EXPECT_EQ(form->FilesWiped, 2);
  EXPECT_EQ(Text("FileProgressLabelCurFileNum"), "2");
  auto* overall = Find<TProgressBar>("FileProgressBar2");
  EXPECT_LT(overall->Position(), overall->Max());
  form->CurrentParams = nullptr;
}
