// The engine library waits for the first run: the units started and the main
// form shown on its welcome page have not loaded it; asking for the engine
// loads it from the program's folder, leaving the process's error mode (shared
// by every thread) as it is while the library loads. In a child process: no
// earlier test has loaded it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "Units.h"
#include "Utils.h"
#include "WipeDLL.h"
#include "WizardFixture.h"

namespace {

bool EngineInProcess() {
  return GetModuleHandleA((GetApplicationPath() + "Quorvanell.DLL").c_str()) != nullptr;
}

// The loader's report of each library it loads, read while the loader holds it.
struct TLoadNotice {
  ULONG flags;
  const void* fullName;
  const void* baseName;
  void* base;
  ULONG size;
};
using TLoadCallback = void(CALLBACK*)(ULONG reason, const TLoadNotice* notice, void* context);
using TRegisterLoadCallback = LONG(NTAPI*)(ULONG flags, TLoadCallback callback, void* context, void** cookie);
using TGetErrorMode = UINT(WINAPI*)();

TGetErrorMode ErrorModeProc() {
  return reinterpret_cast<TGetErrorMode>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetErrorMode")));
}

// The process's error mode as each library loaded (-1: none loaded).
LONG gModeWhileLoading = -1;

void CALLBACK NoteErrorMode(ULONG reason, const TLoadNotice*, void*) {
  if (reason == 1) gModeWhileLoading = static_cast<LONG>(ErrorModeProc()());
}

}  // namespace

TEST_F(WizardTest, TheEngineWaitsForTheFirstRun) {
  EXPECT_EXIT(
      {
        int failures = 0;
        {
          TWizardUnits units;
          LinkPageParts();
          MakeForm();
          if (EngineInProcess() || WipeEngineLoaded()) failures |= 1;
          TWipeEngine engine;
          std::string error;
          if (!LoadWipeEngine(engine, error) || !error.empty()) failures |= 2;
          if (!EngineInProcess() || engine.FileWipe == nullptr || engine.DriveWipeStart == nullptr ||
              engine.DriveCleanFreeSpace == nullptr)
            failures |= 4;
          form->Free();
          form = nullptr;
        }
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}

// The form sets the run's error mode (no box for drives without media); the
// engine's first load must not put the start-up mode back meanwhile, not even
// for a moment: another thread touching an empty drive then would raise a box.
TEST_F(WizardTest, TheEngineLoadsInTheRunsErrorMode) {
  EXPECT_EXIT(
      {
        int failures = 0;
        auto registerCallback = reinterpret_cast<TRegisterLoadCallback>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification")));
        if (registerCallback == nullptr || ErrorModeProc() == nullptr) std::exit(99);
        SetErrorMode(0);
        {
          TWizardUnits units;
          LinkPageParts();
          MakeForm();
          const UINT runMode = ErrorModeProc()();
          if ((runMode & SEM_FAILCRITICALERRORS) == 0) failures |= 1;
          void* cookie = nullptr;
          if (registerCallback(0, NoteErrorMode, nullptr, &cookie) != 0) failures |= 2;
          TWipeEngine engine;
          std::string error;
          if (!LoadWipeEngine(engine, error)) failures |= 4;
          if (gModeWhileLoading != static_cast<LONG>(runMode)) failures |= 8;
          if (ErrorModeProc()() != runMode) failures |= 16;
          form->Free();
          form = nullptr;
        }
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}
