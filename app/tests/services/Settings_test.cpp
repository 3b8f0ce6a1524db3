// Registry settings: defaults on a first start, odd stored values falling
// back to defaults, reads that create the keys, writes that rewrite the
// types, the splash delay kept as stored unless unusable, a failing save that is caught,
// and a run of the program checked afterwards with the system's "reg query".
#include "Settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsBackup.h"


namespace {

const wchar_t kBase[] = L"Software\\Halverstrand\\Quorvanell\\1.0";
const wchar_t kGlobal[] = L"Software\\Halverstrand\\Quorvanell\\1.0\\Global";
const wchar_t kWipe[] = L"Software\\Halverstrand\\Quorvanell\\1.0\\Wipe";

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void Put(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}
void PutDword(const wchar_t* path, const wchar_t* name, DWORD value) {
  Put(path, name, REG_DWORD, &value, sizeof(value));
}
void PutText(const wchar_t* path, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  Put(path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

DWORD TypeOf(const wchar_t* path, const wchar_t* name) {
  DWORD type = REG_NONE;
  if (RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_ANY, &type, nullptr, nullptr) != ERROR_SUCCESS)
    return REG_NONE;
  return type;
}
DWORD DwordOf(const wchar_t* path, const wchar_t* name) {
  DWORD value = 0xDEADBEEF, size = sizeof(value);
  RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

void ScrambleGlobals() {
  GlobalLastTip = -9;
  GlobalFirstStart = false;
  GlobalLanguage = "stale";
  GlobalSplashShow = false;
  GlobalSplashDelay = 99;
  ConfirmationsShutdown = false;
  OptionsRetryCount = -9;
  OptionsSectorsToRead = -9;
  OptionsAdvancedMode = true;
}

class Settings : public ::testing::Test {
protected:
  TSettingsBackup backup;  // each test starts with no settings key
};

TEST_F(Settings, FirstStartReadsDefaultsAndCreatesTheKeys) {
  ScrambleGlobals();
  LoadSettings();
  EXPECT_EQ(GlobalLastTip, 0);
  EXPECT_TRUE(GlobalFirstStart);
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_TRUE(GlobalSplashShow);
  EXPECT_EQ(GlobalSplashDelay, 1);
  EXPECT_TRUE(ConfirmationsShutdown);
  EXPECT_EQ(OptionsRetryCount, 1);
  EXPECT_EQ(OptionsSectorsToRead, 5000);
  EXPECT_FALSE(OptionsAdvancedMode);
  // The readers open the keys with creation: they exist after the first
  // start, even before any save.
  EXPECT_TRUE(KeyExists(kGlobal));
  EXPECT_TRUE(KeyExists(kWipe));

  GlobalFirstStart = false;
  ASSERT_TRUE(SaveSettings());
  const wchar_t* globals[] = {L"GlobalLastTip", L"GlobalFirstStart", L"GlobalSplashShow", L"GlobalSplashDelay",
                              L"ConfirmationsShutdown"};
  for (const wchar_t* name : globals) EXPECT_EQ(TypeOf(kGlobal, name), DWORD(REG_DWORD)) << name;
  EXPECT_EQ(TypeOf(kGlobal, L"GlobalLanguage"), DWORD(REG_SZ));
  const wchar_t* wipes[] = {L"OptionsRetryCount", L"OptionsSectorsToRead", L"OptionsAdvancedMode"};
  for (const wchar_t* name : wipes) EXPECT_EQ(TypeOf(kWipe, name), DWORD(REG_DWORD)) << name;
  EXPECT_EQ(DwordOf(kGlobal, L"GlobalFirstStart"), 0u);
  EXPECT_EQ(DwordOf(kWipe, L"OptionsSectorsToRead"), 5000u);
}

TEST_F(Settings, OddStoredValuesFallBackToDefaults) {
  PutText(kGlobal, L"GlobalSplashDelay", L"5");
  PutDword(kGlobal, L"GlobalFirstStart", 7);
  PutDword(kGlobal, L"GlobalLanguage", 3);
  PutText(kGlobal, L"GlobalSplashShow", L"0");
  uint64_t wide = 1;
  Put(kGlobal, L"ConfirmationsShutdown", REG_QWORD, &wide, sizeof(wide));
  BYTE shortData[2] = {1, 0};
  Put(kWipe, L"OptionsRetryCount", REG_BINARY, shortData, sizeof(shortData));
  PutDword(kWipe, L"OptionsSectorsToRead", 123);
  PutDword(kWipe, L"OptionsAdvancedMode", 0xFFFFFFFF);
  ScrambleGlobals();
  LoadSettings();
  EXPECT_EQ(GlobalSplashDelay, 1);
  EXPECT_TRUE(GlobalFirstStart);
  EXPECT_EQ(GlobalLanguage, "");
  EXPECT_TRUE(GlobalSplashShow);
  EXPECT_TRUE(ConfirmationsShutdown);
  EXPECT_EQ(OptionsRetryCount, 1);
  EXPECT_EQ(OptionsSectorsToRead, 123);
  EXPECT_TRUE(OptionsAdvancedMode);

  // The next save rewrites every value with its own type and keeps 123.
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(TypeOf(kGlobal, L"GlobalSplashDelay"), DWORD(REG_DWORD));
  EXPECT_EQ(TypeOf(kGlobal, L"GlobalLanguage"), DWORD(REG_SZ));
  EXPECT_EQ(TypeOf(kGlobal, L"ConfirmationsShutdown"), DWORD(REG_DWORD));
  EXPECT_EQ(DwordOf(kGlobal, L"GlobalFirstStart"), 1u);
  EXPECT_EQ(DwordOf(kWipe, L"OptionsSectorsToRead"), 123u);
  EXPECT_EQ(DwordOf(kWipe, L"OptionsAdvancedMode"), 1u);
}

TEST_F(Settings, StringsAndTheSplashDelayRange) {
  struct Case {
    DWORD stored;
    int32_t expected;
  };
  // Stored values are kept; only those the program cannot use are mended.
  const Case delays[] = {{0, 1},   {1, 1},      {5, 5},          {20, 20}, {21, 21}, {3600, 3600},
                         {2147483, 2147483}, {3000000, 2147483}, {0xFFFFFFFF, 1}};
  for (const Case& c : delays) {
    PutDword(kGlobal, L"GlobalSplashDelay", c.stored);
    LoadSettings();
    EXPECT_EQ(GlobalSplashDelay, c.expected) << c.stored;
  }
  EXPECT_EQ(ClampSplashDelay(INT32_MIN), 1);
  EXPECT_EQ(ClampSplashDelay(INT32_MAX), INT32_MAX / 1000);

  PutText(kGlobal, L"GlobalLanguage", L"German.lng");
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "German.lng");
  PutText(kGlobal, L"GlobalLanguage", L"%APPDATA%.lng", REG_EXPAND_SZ);
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "%APPDATA%.lng");
  PutText(kGlobal, L"GlobalLanguage", L"");
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "");
  Put(kGlobal, L"GlobalLanguage", REG_SZ, nullptr, 0);
  GlobalLanguage = "stale";
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "");
  const wchar_t embedded[] = L"Russian.lng\0junk";
  Put(kGlobal, L"GlobalLanguage", REG_SZ, embedded, sizeof(embedded));
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "Russian.lng");
  // A stored name that leaves the program folder is ignored for the default.
  for (const wchar_t* outside : {L"..\\..\\Windows\\win.ini", L"C:\\evil.lng", L"C:evil.lng", L"lang/German.lng",
                                 L"..", L"\\\\server\\share\\x.lng", L"sub\\German.lng"}) {
    PutText(kGlobal, L"GlobalLanguage", outside);
    GlobalLanguage = "stale";
    LoadSettings();
    EXPECT_EQ(GlobalLanguage, "") << std::string(outside, outside + wcslen(outside));
  }
  PutText(kGlobal, L"GlobalLanguage", L"Fran\u00e7ais.lng");
  LoadSettings();
  EXPECT_FALSE(GlobalLanguage.empty());

  std::string value = "x";
  ReadRegString("\\NoSuchKey", "GlobalLanguage", "fallback", value);
  EXPECT_EQ(value, "fallback");
  EXPECT_EQ(ReadRegInteger("\\NoSuchKey", "X", -4), -4);
  EXPECT_TRUE(ReadRegBool("\\Global", "NoSuchValue", true));
}

TEST_F(Settings, ATextLongerThanAnySettingReadsAsTheDefault) {
  // Just within the limit: read as stored.
  const std::wstring within(kMaxSettingTextBytes / 2 - 1, L'a');
  PutText(kGlobal, L"GlobalLanguage", within);
  std::string value;
  ReadRegString("\\Global", "GlobalLanguage", "fallback", value);
  EXPECT_EQ(value.size(), within.size());
  // One character more: the default, and nothing of the text is read.
  PutText(kGlobal, L"GlobalLanguage", within + L"a");
  ReadRegString("\\Global", "GlobalLanguage", "fallback", value);
  EXPECT_EQ(value, "fallback");
  // A megabyte of text stored as the language: the built-in English.
  PutText(kGlobal, L"GlobalLanguage", std::wstring(1 << 19, L'x') + L".lng");
  GlobalLanguage = "stale";
  LoadSettings();
  EXPECT_EQ(GlobalLanguage, "");
}

TEST_F(Settings, FailingSaveIsCaughtAndReported) {
  // A volatile base key cannot take the two lasting subkeys.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kBase, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  HKEY probe = nullptr;
  LONG childResult =
      RegCreateKeyExW(HKEY_CURRENT_USER, kGlobal, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &probe, nullptr);
  if (childResult == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "this registry lets lasting keys live under volatile ones";
  }
  bool ok = true;
  std::vector<std::string> notKept;
  EXPECT_NO_THROW(ok = SaveSettings(&notKept));
  EXPECT_FALSE(ok);
  // Neither subkey can be made: every value is named as not kept.
  EXPECT_EQ(notKept, (std::vector<std::string>{"GlobalLastTip", "GlobalFirstStart", "GlobalLanguage",
                                               "GlobalSplashShow", "GlobalSplashDelay", "ConfirmationsShutdown",
                                               "OptionsRetryCount", "OptionsSectorsToRead", "OptionsAdvancedMode"}));
  // At exit the user is told which settings were not kept.
  static std::vector<std::string> told;
  static int tellings = 0;
  told.clear();
  tellings = 0;
  const TSettingsNotKeptReport previous = ReportSettingsNotKept;
  ReportSettingsNotKept = [](const std::vector<std::string>& names) {
    told = names;
    ++tellings;
  };
  EXPECT_NO_THROW(FinalizeSettings());
  ReportSettingsNotKept = previous;
  EXPECT_EQ(tellings, 1);
  EXPECT_EQ(told, notKept);
}

TEST_F(Settings, AGoodSaveTellsTheUserNothing) {
  static int tellings = 0;
  tellings = 0;
  const TSettingsNotKeptReport previous = ReportSettingsNotKept;
  ReportSettingsNotKept = [](const std::vector<std::string>&) { ++tellings; };
  std::vector<std::string> notKept;
  EXPECT_TRUE(SaveSettings(&notKept));
  EXPECT_TRUE(notKept.empty());
  FinalizeSettings();
  ReportSettingsNotKept = previous;
  EXPECT_EQ(tellings, 0);
}

// Runs a command line and returns its standard output.
std::string RunAndCapture(std::wstring commandLine, DWORD& exitCode) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return {};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  return out;
}

std::wstring OwnPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return self;
}

struct FindArgs {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND wnd, LPARAM param) {
  auto* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  wchar_t cls[64];
  if (pid == args->processId && IsWindowVisible(wnd) && GetClassNameW(wnd, cls, 64) &&
      std::wstring(cls) == L"TMainForm") {
    args->found = wnd;
    return FALSE;
  }
  return TRUE;
}

// The installed program itself: odd values before the run, typed values after
// it, as "reg query" shows them.
TEST_F(Settings, ProgramRunRewritesOddValues) {
  std::wstring self = OwnPath();
  std::wstring program = self.substr(0, self.find_last_of(L'\\') + 1) + L"..\\Quorvanell\\Quorvanell.exe";
  if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "program not built";
  PutDword(kGlobal, L"GlobalFirstStart", 0);
  PutDword(kGlobal, L"GlobalSplashShow", 7);
  PutText(kGlobal, L"GlobalSplashDelay", L"3");
  PutDword(kGlobal, L"GlobalLanguage", 5);
  PutDword(kWipe, L"OptionsSectorsToRead", 123);

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + program + L"\"";
  ASSERT_TRUE(CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  HWND main = nullptr;
  for (DWORD start = GetTickCount(); main == nullptr && GetTickCount() - start < 30000; Sleep(50)) {
    FindArgs args{pi.dwProcessId, nullptr};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&args));
    main = args.found;
  }
  EXPECT_NE(main, nullptr) << "no main window";
  if (main != nullptr) PostMessageW(main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  DWORD exitCode = 1;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_NE(main, nullptr);

  DWORD code = 1;
  std::string global = RunAndCapture(L"reg.exe query \"HKCU\\Software\\Halverstrand\\Quorvanell\\1.0\\Global\"", code);
  ASSERT_EQ(code, 0u) << global;
  std::string wipe = RunAndCapture(L"reg.exe query \"HKCU\\Software\\Halverstrand\\Quorvanell\\1.0\\Wipe\"", code);
  ASSERT_EQ(code, 0u) << wipe;
  auto line = [](const std::string& out, const std::string& name) {
    size_t at = out.find(name);
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
  };
  EXPECT_NE(line(global, "GlobalSplashDelay").find("REG_DWORD"), std::string::npos) << global;
  EXPECT_NE(line(global, "GlobalSplashDelay").find("0x1"), std::string::npos) << global;
  EXPECT_NE(line(global, "GlobalSplashShow").find("0x1"), std::string::npos) << global;
  EXPECT_NE(line(global, "GlobalFirstStart").find("0x0"), std::string::npos) << global;
  EXPECT_NE(line(global, "GlobalLanguage").find("REG_SZ"), std::string::npos) << global;
  EXPECT_NE(line(wipe, "OptionsSectorsToRead").find("0x7b"), std::string::npos) << wipe;
  EXPECT_NE(line(wipe, "OptionsAdvancedMode").find("REG_DWORD"), std::string::npos) << wipe;
}

}  // namespace
