// The engine library waits for the first run: the units started and the main
// form shown on its welcome page have not loaded it; asking for the engine
// loads it from the program's folder. In a child process: no earlier test has
// loaded it.
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

}  // namespace

TEST_F(WizardTest, TheEngineWaitsForTheFirstRun) {
  EXPECT_EXIT(
      {
        int failures = 0;
        {
          TUnitsScope units;
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
