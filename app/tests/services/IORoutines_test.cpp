// Platform start-up units: the NT and 9x checks, the devices opened only on
// 9x systems with one warning per device that fails, and the OLE and common
// controls start-ups.
#include "IORoutines.h"

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsBackup.h"
#include "Units.h"
#include "Utils.h"

namespace {

struct FakeSystem {
  DWORD platform = VER_PLATFORM_WIN32_NT;
  DWORD major = 6, minor = 1;
  const char* servicePack = "";
  std::vector<std::string> failing;  // devices that cannot be opened
  std::vector<std::string> opened, warnings;
  int closed = 0;
};
FakeSystem* gFake = nullptr;

class IORoutinesTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved = IORoutinesPlatform;
    gFake = &fake;
    IORoutinesPlatform.queryVersion = [](OSVERSIONINFOA* info) -> BOOL {
      info->dwPlatformId = gFake->platform;
      info->dwMajorVersion = gFake->major;
      info->dwMinorVersion = gFake->minor;
      lstrcpynA(info->szCSDVersion, gFake->servicePack, sizeof(info->szCSDVersion));
      return TRUE;
    };
    IORoutinesPlatform.openDevice = [](const char* name) -> HANDLE {
      for (const std::string& f : gFake->failing)
        if (f == name) return INVALID_HANDLE_VALUE;
      gFake->opened.push_back(name);
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x100 + gFake->opened.size()));
    };
    IORoutinesPlatform.closeDevice = [](HANDLE) -> BOOL {
      ++gFake->closed;
      return TRUE;
    };
    IORoutinesPlatform.warn = [](const char* text) { gFake->warnings.push_back(text); };
  }
  void TearDown() override {
    FinalizeIORoutines();
    IORoutinesPlatform = saved;
    gFake = nullptr;
  }
  FakeSystem fake;
  TIORoutinesPlatform saved{};
};

TEST_F(IORoutinesTest, VersionChecks) {
  struct Case {
    DWORD platform, major, minor;
    const char* sp;
    bool nt, osr2;
  };
  const Case cases[] = {
      {VER_PLATFORM_WIN32_NT, 6, 1, "Service Pack 1", true, false},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "", false, false},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " B ", false, true},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "C", false, false},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "", false, true},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", false, true},
      {VER_PLATFORM_WIN32_WINDOWS, 5, 0, "B", false, false},
      {VER_PLATFORM_WIN32s, 3, 11, "B", false, false},
  };
  for (const Case& c : cases) {
    fake.platform = c.platform, fake.major = c.major, fake.minor = c.minor, fake.servicePack = c.sp;
    EXPECT_EQ(IsWinNT(), c.nt) << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(IsWin95OSR2OrLater(), c.osr2) << c.platform << " " << c.major << "." << c.minor << " " << c.sp;
  }
}

TEST_F(IORoutinesTest, NtOpensNothingAndShowsNothing) {
  InitializeIORoutines();
  EXPECT_TRUE(fake.opened.empty());
  EXPECT_TRUE(fake.warnings.empty());
  FinalizeIORoutines();
  EXPECT_EQ(fake.closed, 0);
}

TEST_F(IORoutinesTest, NineXWarnsOncePerMissingDevice) {
  fake.platform = VER_PLATFORM_WIN32_WINDOWS, fake.major = 4, fake.minor = 10;
  fake.failing = {"\\\\.\\INT2F.VXD"};
  InitializeIORoutines();
  EXPECT_EQ(fake.opened, std::vector<std::string>{"\\\\.\\vwin32"});
  ASSERT_EQ(fake.warnings.size(), 1u);
  EXPECT_EQ(fake.warnings[0], "Error loading \"INT2F.VXD\" (MSCDEX/CDFS)");
  InitializeIORoutines();  // a second start-up does nothing
  EXPECT_EQ(fake.warnings.size(), 1u);
  FinalizeIORoutines();
  EXPECT_EQ(fake.closed, 1);  // only the valid handle

  fake = FakeSystem{};
  fake.platform = VER_PLATFORM_WIN32_WINDOWS, fake.major = 4, fake.minor = 0;
  fake.failing = {"\\\\.\\vwin32", "\\\\.\\INT2F.VXD"};
  InitializeIORoutines();
  ASSERT_EQ(fake.warnings.size(), 2u);
  EXPECT_EQ(fake.warnings[0], "Error loading \"VWIN32.VXD (INT25/26)\"");
  FinalizeIORoutines();
  EXPECT_EQ(fake.closed, 0);
}

TEST(PlatformUnits, OleAndCommonControlsStartOnce) {
  InitializeXPTheme();
  InitializeXPTheme();
  InitializeOleStartup();
  // OLE is initialised on this thread: a second OleInitialize answers S_FALSE.
  HRESULT again = OleInitialize(nullptr);
  EXPECT_EQ(again, S_FALSE);
  if (SUCCEEDED(again)) OleUninitialize();
  FinalizeOleStartup();
  FinalizeOleStartup();
}

}  // namespace

namespace {

// The built program carries the common-controls 6 manifest (type 24, id 1,
// U.S. English) and the version strings its captions show.
TEST(ProgramResources, ManifestAndVersion) {
  std::string program = GetApplicationPath() + "..\\Quorvanell\\Quorvanell.exe";
  if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "program not built";
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << program;
  HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 1033);
  ASSERT_NE(res, nullptr);
  DWORD size = SizeofResource(module, res);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, res)));
  ASSERT_NE(data, nullptr);
  std::string manifest(data, size);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"CompanyName.ProductName.YourApplication\""), std::string::npos);
  // Run as the invoking user: without it the system treats the program as a
  // legacy one and redirects its writes under protected folders elsewhere.
  EXPECT_NE(manifest.find("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
      << manifest;
  FreeLibrary(module);

  std::string savedName = ProductName;
  ReadVersionInfoFrom(program);
  EXPECT_EQ(ProductName, "Quorvanell");
  EXPECT_FALSE(ProductVersion.empty());
  ReadVersionInfo();
  EXPECT_EQ(ProductName, savedName);
}

}  // namespace

namespace {

std::string gUnitTrace;
const TUnitRegistrar kFirstUnit([] { gUnitTrace += "a+"; }, [] { gUnitTrace += "a-"; });
const TUnitRegistrar kSecondUnit(nullptr, [] { gUnitTrace += "b-"; });

TEST(PlatformUnits, RegisteredUnitsStartInOrderAndStopInReverse) {
  TSettingsBackup backup;
  gUnitTrace.clear();
  {
    TUnitsScope units;
    EXPECT_EQ(gUnitTrace, "a+");
    InitializeUnits();  // a second start-up does nothing
    EXPECT_EQ(gUnitTrace, "a+");
    EXPECT_EQ(ProductName, "Quorvanell");
  }
  EXPECT_EQ(gUnitTrace, "a+b-a-");
  FinalizeUnits();
  EXPECT_EQ(gUnitTrace, "a+b-a-");
}

}  // namespace
