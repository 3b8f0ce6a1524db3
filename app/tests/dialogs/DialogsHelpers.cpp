#include "DialogsFixture.h"

#include <fstream>
#include <sstream>

std::vector<THelpCall> HelpCalls;
HWND HelpCallResult = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));

HWND WINAPI RecordingHtmlHelp(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
  HelpCalls.push_back({owner, file != nullptr ? file : "", command, data});
  return HelpCallResult;
}

namespace {

std::function<void()> gPending;

void CALLBACK PendingTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (!gPending) {
    KillTimer(nullptr, id);
    return;
  }
  gPending();
}

void StartPending(std::function<void()> poll) {
  gPending = std::move(poll);
  SetTimer(nullptr, 0, 30, PendingTimer);
}

struct FindArgs {
  std::string cls, title;
  HWND found = nullptr;
};

BOOL CALLBACK FindOwn(HWND wnd, LPARAM param) {
  auto* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(wnd)) return TRUE;
  char cls[128] = {}, title[256] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  GetWindowTextA(wnd, title, sizeof title);
  if (args->cls == cls && (args->title.empty() || std::string(title).find(args->title) != std::string::npos)) {
    args->found = wnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindOwnWindow(const std::string& cls, const std::string& title) {
  FindArgs args{cls, title};
  EnumWindows(FindOwn, reinterpret_cast<LPARAM>(&args));
  return args.found;
}

void WhenModal(const std::function<bool(TCustomForm*)>& isIt, const std::function<void(TCustomForm*)>& action) {
  StartPending([isIt, action] {
    TCustomForm* form = Screen->ActiveForm();
    if (form == nullptr || !isIt(form) || !form->FormState().Contains(fsModal) || !form->Visible()) return;
    auto act = action;
    gPending = nullptr;
    act(form);
  });
}

void WhenWindow(const std::string& cls, const std::string& title, const std::function<void(HWND)>& action) {
  StartPending([cls, title, action] {
    HWND wnd = FindOwnWindow(cls, title);
    if (wnd == nullptr) return;
    auto act = action;
    gPending = nullptr;
    act(wnd);
  });
}

void WriteTestFile(const std::string& name, const std::string& text) {
  std::ofstream out(GetApplicationPath() + name, std::ios::binary);
  out << text;
}

void RemoveTestFile(const std::string& name) {
  std::string path = GetApplicationPath() + name;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
}

bool MakeSparseTestFile(const std::string& name, int64_t size) {
  const std::string path = GetApplicationPath() + name;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

void WhenMessageBox(const std::string& title, std::string* text) {
  WhenWindow("#32770", title, [text](HWND box) {
    char buffer[2048] = {};
    if (HWND label = GetDlgItem(box, 0xFFFF)) GetWindowTextA(label, buffer, sizeof buffer);
    *text = buffer;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
}

std::string ShippedGerman() {
  std::ifstream in(GetApplicationPath() + "..\\Quorvanell\\German.lng", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void DialogsTest::SetUp() {
  Application->Initialize();
  Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
    ADD_FAILURE() << "exception in a handler: " << e.what();
  });
  ReadVersionInfo();
  InitializeHtmlHelpInterface();
  savedHelpFile = Application->HelpFile();
  Application->SetHelpFile(GetApplicationPath() + "..\\Quorvanell\\Quorvanell.chm");
  HtmlHelpHooks.entry = RecordingHtmlHelp;
  HelpCalls.clear();
  HelpCallResult = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
  GlobalLanguage.clear();
  GlobalSplashShow = true;
  GlobalSplashDelay = 1;
  ConfirmationsShutdown = true;
  LangIni = LoadLanguageFile("");
}

void DialogsTest::TearDown() {
  gPending = nullptr;
  for (const std::string& name : files) RemoveTestFile(name);
  HtmlHelpHooks.entry = nullptr;
  Application->SetHelpFile(savedHelpFile);
  LangIni = LoadLanguageFile("");
  GlobalLanguage.clear();
  Application->OnException = nullptr;
}

namespace {

// The help unit leaves the help manager before the application goes.
struct HelpUnitEnvironment : ::testing::Environment {
  void TearDown() override { FinalizeHtmlHelpInterface(); }
};
const auto* const kHelpUnitEnvironment = ::testing::AddGlobalTestEnvironment(new HelpUnitEnvironment);

}  // namespace
