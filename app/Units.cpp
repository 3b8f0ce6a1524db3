#include "Units.h"

#include <vector>

#include "IORoutines.h"
#include "Settings.h"
#include "StartupTrace.h"
#include "Utils.h"
#include "win/Forms.h"

namespace {

struct RegisteredUnit {
  void (*initialize)();
  void (*finalize)();
  const char* name;
};

// Function-local, so registrars in other files' static objects find it built.
std::vector<RegisteredUnit>& RegisteredUnits() {
  static std::vector<RegisteredUnit> units;
  return units;
}

bool gUnitsStarted = false;

// Frees what the application still owns (the splash, a main form whose release
// never ran) while the class library's tables are still alive: left to the
// process's static destructors, the menus would unregister from tables that
// are already gone.
void FreeApplicationComponents() {
  if (Application == nullptr) return;
  try {
    while (Application->ComponentCount() > 0) Application->Components(Application->ComponentCount() - 1)->Free();
  } catch (...) {
  }
}

}  // namespace

TUnitRegistrar::TUnitRegistrar(void (*initialize)(), void (*finalize)(), const char* name) {
  RegisteredUnits().push_back({initialize, finalize, name});
}

void InitializeUnits() {
  if (gUnitsStarted) return;
  gUnitsStarted = true;
  InitializeXPTheme();
  StartupMark("common controls");
  InitializeOleStartup();
  StartupMark("OLE");
  InitializeIORoutines();
  StartupMark("device checks");
  InitializeSettings();
  StartupMark("settings (registry)");
  InitializeUtils();
  StartupMark("version information");
  for (const RegisteredUnit& unit : RegisteredUnits()) {
    if (unit.initialize == nullptr) continue;
    unit.initialize();
    StartupMark(unit.name);
  }
}

void FinalizeUnits() {
  if (!gUnitsStarted) return;
  gUnitsStarted = false;
  FreeApplicationComponents();
  const auto& units = RegisteredUnits();
  for (auto it = units.rbegin(); it != units.rend(); ++it)
    if (it->finalize != nullptr) it->finalize();
  // The settings are saved after the last window is gone; values that could
  // not be kept are told to the user, never raised as an exception at exit.
  FinalizeSettings();
  FinalizeIORoutines();
  FinalizeOleStartup();
}
