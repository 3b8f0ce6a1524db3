// Program entry: the units' start-ups, the splash, the wizard's main form and
// the message loop; on the way out the main form is freed and the units shut
// down in reverse order (the settings are written back to the registry).
#include <exception>

#include "MainForm.h"
#include "SplashScreen.h"
#include "Settings.h"
#include "StartupTrace.h"
#include "Units.h"
#include "win/Forms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (StartupStopAtEntry()) return 0;
  StartupMark("static initialisers");
  TUnitsScope units;
  try {
    // The application registers the window classes that every form needs,
    // so it is initialised before the first form.
    Application->Initialize();
    StartupMark("application (its first window)");
    // The splash is read (its picture decoded) only when it is to show.
    if (GlobalSplashShow) {
      New<TSplashForm>(Application)->ShowOnTop();
      StartupMark("splash");
    }
    Application->SetHelpFile("Quorvanell.chm");
    Application->SetTitle("Quorvanell");
    Application->CreateForm<TMainForm>();
    StartupMark("main form: the rest of its creation");
    // The form's own window now, its controls' as it shows: the start-up
    // trace tells the two apart.
    if (Application->MainForm() != nullptr) Application->MainForm()->HandleNeeded();
    StartupMark("main form: its own window made");
    StartupTraceWatchLoop();
    Application->Run();
  } catch (const std::exception& e) {
    Application->ShowException(e);
    // The forms made so far (the splash among them) go before the units shut
    // down, as after a normal run.
    try {
      Application->DestroyForms();
    } catch (const std::exception&) {
    }
    return kExitStartRefused;
  }
  // Not 0 when the main form's creation refused the start.
  return Application->ExitCode();
}
