// Closing the wizard: the confirmation box on a middle page, with both
// answers, and no question where the wizard has nothing left to ask about.
#include <atomic>
#include <functional>
#include <thread>

#include "WipeDLL.h"
#include "WizardFixture.h"

namespace {

// Watches this process for the confirmation box and answers it; records the
// box's text. Stops when told to or after answering once.
class BoxAnswerer {
public:
  // beforeAnswer runs on the answering thread while the box is still open.
  explicit BoxAnswerer(int answer, std::function<void()> beforeAnswer = nullptr)
      : answer(answer), beforeAnswer(std::move(beforeAnswer)), worker([this] { Run(); }) {}
  ~BoxAnswerer() { Stop(); }
  void Stop() {
    stop = true;
    if (worker.joinable()) worker.join();
  }
  bool Seen() const { return seen; }
  std::string text;
  std::string caption;
  HWND owner = nullptr;      // the box's owner window
  bool ownerEnabled = true;  // whether that owner took input while the box was open

private:
  struct Search {
    DWORD pid;
    HWND found;
  };
  static BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    char cls[16] = {};
    GetClassNameA(wnd, cls, sizeof(cls));
    if (pid == s->pid && std::string(cls) == "#32770" && IsWindowVisible(wnd)) {
      s->found = wnd;
      return FALSE;
    }
    return TRUE;
  }
  void Run() {
    for (int i = 0; i < 300 && !stop; ++i) {
      Search s{GetCurrentProcessId(), nullptr};
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
      if (s.found != nullptr) {
        char buf[512] = {};
        GetWindowTextA(s.found, buf, sizeof(buf));
        caption = buf;
        GetDlgItemTextA(s.found, 0xFFFF, buf, sizeof(buf));
        text = buf;
        owner = GetWindow(s.found, GW_OWNER);
        ownerEnabled = owner != nullptr && IsWindowEnabled(owner);
        if (beforeAnswer) beforeAnswer();
        seen = true;
        PostMessageW(s.found, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  }
  int answer;
  std::function<void()> beforeAnswer;
  std::atomic<bool> stop{false};
  std::atomic<bool> seen{false};
  std::thread worker;
};

}  // namespace

TEST_F(WizardTest, ClosingOnAMiddlePageAsksAndNoKeepsTheWindow) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  Click("BottomNext");
  {
    BoxAnswerer answerer(IDNO);
    Click("BottomClose");
    answerer.Stop();
    EXPECT_TRUE(answerer.Seen());
    EXPECT_EQ(answerer.caption, "Confirmation");
    EXPECT_EQ(answerer.text, "Are you sure you want to exit application?");
  }
  qvtest::Pump(50);
  EXPECT_TRUE(*token);
  EXPECT_TRUE(form->Visible());
  {
    BoxAnswerer answerer(IDYES);
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    qvtest::PumpUntil([this] { return !*token; }, 3000);
    answerer.Stop();
    EXPECT_TRUE(answerer.Seen());
  }
  EXPECT_FALSE(*token);  // the form frees itself on close
  EXPECT_EQ(DataStorage, nullptr);
  EXPECT_EQ(MainForm, nullptr);
}

TEST_F(WizardTest, ClosingAsksNothingWithoutANextStep) {
  LinkPageParts();
  struct Case {
    const char* what;
    bool confirm;
    const char* radio;
    int nexts;
  };
  const Case cases[] = {
      {"welcome page, no task", true, nullptr, 0},
      {"free-space processing page", true, "WelcomeFreeSpaceRadioButton", 3},
      {"file processing page", true, "WelcomeFileAndFoldersRadioButton", 4},
      {"middle page, confirmations off", false, "WelcomeFileAndFoldersRadioButton", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Task = 0;
    Step = 1;
    ConfirmationsShutdown = c.confirm;
    MakeForm();
    if (c.radio != nullptr) Click(c.radio);
    for (int i = 0; i < c.nexts; ++i) Click("BottomNext");
    form->Busy = false;
    BoxAnswerer answerer(IDNO);
    bool canClose = false;
    form->FormCloseQuery(form, canClose);
    answerer.Stop();
    EXPECT_TRUE(canClose);
    EXPECT_FALSE(answerer.Seen());
    form->Free();
  }
}

TEST_F(WizardTest, TranslatedConfirmationIsShownLiterally) {
  // A translation with format characters in it is text, never a format.
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::string file = std::string(path) + "qv_hostile.lng";
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("[Misc]\r\nstrConfirmAppExit=Quit %s%n%d 100%?\r\nstrConfirmation=%x%p\r\nstrVer=%s%n\r\n"
        "strWipeDiskStep1=Disk %1$s %n step\r\n",
        f);
  fclose(f);
  LangIni = New<TMemIniFile>(file);
  MakeForm();
  EXPECT_EQ(form->Caption(), "Quorvanell %s%n 1.0");
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  EXPECT_EQ(Text("DiskSelectTopLabel"), "Disk %1$s %n step");
  BoxAnswerer answerer(IDNO);
  bool canClose = true;
  form->FormCloseQuery(form, canClose);
  answerer.Stop();
  EXPECT_FALSE(canClose);
  EXPECT_EQ(answerer.caption, "%x%p");
  EXPECT_EQ(answerer.text, "Quit %s%n%d 100%?");
  DeleteFileA(file.c_str());
}

TEST_F(WizardTest, TheExitQuestionIsModalToTheFormAndARunStartedMeanwhileIsAskedAbout) {
  LinkPageParts();
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  {
    // The box belongs to the wizard's window, which takes no input meanwhile.
    BoxAnswerer answerer(IDNO);
    bool canClose = true;
    form->FormCloseQuery(form, canClose);
    answerer.Stop();
    ASSERT_TRUE(answerer.Seen());
    EXPECT_EQ(answerer.owner, form->Handle());
    EXPECT_FALSE(answerer.ownerEnabled);
    EXPECT_FALSE(canClose);
  }
  EXPECT_TRUE(IsWindowEnabled(form->Handle()));
  // A wipe that started while the question was open: "Yes" to exiting does
  // not end the program in the middle of it; the running wipe is asked about.
  static int stopAsked = 0;
  stopAsked = 0;
  const TStopQuestion previous = AskStopBeforeClose;
  AskStopBeforeClose = +[] {
    ++stopAsked;
    return false;
  };
  TMainForm* running = form;
  BoxAnswerer answerer(IDYES, [running] { running->Busy = true; });
  bool canClose = true;
  form->FormCloseQuery(form, canClose);
  answerer.Stop();
  AskStopBeforeClose = previous;
  form->Busy = false;
  EXPECT_TRUE(answerer.Seen());
  EXPECT_FALSE(canClose);
  EXPECT_EQ(stopAsked, 1);
}
