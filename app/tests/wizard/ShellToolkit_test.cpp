// The shell toolkit starts with the program's units on the main thread (COM
// included) and, once shut down with them, is not started again by a shell
// item freed afterwards. In a child process: the toolkit stays down.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "Units.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

TEST(ShellToolkitUnit, StartsWithTheUnitsAndStaysDownAfterThem) {
  EXPECT_EXIT(
      {
        int failures = 0;
        TNamespace* late = nullptr;
        {
          TUnitsScope units;
          if (NamespacePIDLManager == nullptr || DesktopFolder == nullptr) failures |= 1;
          // COM is initialised on this thread: a second initialisation says so.
          HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
          if (hr != S_FALSE) failures |= 2;
          if (SUCCEEDED(hr)) CoUninitialize();
          if (DesktopFolder != nullptr) late = DesktopFolder->Clone(/*freePIDLOnDestroy=*/true);
        }
        if (!ShellToolkitFinished() || NamespacePIDLManager != nullptr) failures |= 4;
        late->Free();
        // Freeing the item did not bring the toolkit back.
        if (NamespacePIDLManager != nullptr || DesktopFolder != nullptr) failures |= 8;
        InitializeShellToolkit();
        if (NamespacePIDLManager != nullptr) failures |= 16;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}
