#include "Units.h"

#include "IORoutines.h"
#include "Settings.h"
#include "Utils.h"

void InitializeUnits() {
  InitializeXPTheme();
  InitializeOleStartup();
  InitializeIORoutines();
  InitializeSettings();
  InitializeUtils();
}

void FinalizeUnits() {
  // The settings are saved after the last window is gone; a failing save is
  // reported by SaveSettings' result only, never by an exception at exit.
  FinalizeSettings();
  FinalizeIORoutines();
  FinalizeOleStartup();
}
