// Common controls for the whole program: with the manifest's dependency on
// version 6 the controls take the running system's visual styles.
#include <windows.h>
#include <commctrl.h>

#include "Units.h"

void InitializeXPTheme() {
  static bool done = false;
  if (done) return;
  done = true;
  InitCommonControls();
}
