#include "Units.h"

#include <vector>

#include "IORoutines.h"
#include "Settings.h"
#include "Utils.h"

namespace {

struct RegisteredUnit {
  void (*initialize)();
  void (*finalize)();
};

// Function-local, so registrars in other files' static objects find it built.
std::vector<RegisteredUnit>& RegisteredUnits() {
  static std::vector<RegisteredUnit> units;
  return units;
}

bool gUnitsStarted = false;

}  // namespace

TUnitRegistrar::TUnitRegistrar(void (*initialize)(), void (*finalize)()) {
  RegisteredUnits().push_back({initialize, finalize});
}

void InitializeUnits() {
  if (gUnitsStarted) return;
  gUnitsStarted = true;
  InitializeXPTheme();
  InitializeOleStartup();
  InitializeIORoutines();
  InitializeSettings();
  InitializeUtils();
  for (const RegisteredUnit& unit : RegisteredUnits())
    if (unit.initialize != nullptr) unit.initialize();
}

void FinalizeUnits() {
  if (!gUnitsStarted) return;
  gUnitsStarted = false;
  const auto& units = RegisteredUnits();
  for (auto it = units.rbegin(); it != units.rend(); ++it)
    if (it->finalize != nullptr) it->finalize();
  // The settings are saved after the last window is gone; a failing save is
  // reported by SaveSettings' result only, never by an exception at exit.
  FinalizeSettings();
  FinalizeIORoutines();
  FinalizeOleStartup();
}
