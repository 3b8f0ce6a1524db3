#pragma once
// The program's unit start-ups and shut-downs in their order: common controls,
// OLE, the device checks, the settings (read from the registry) and the
// version strings; the shut-downs run in reverse (the settings are saved).
// The main block makes one TUnitsScope before any window.

// Start-ups of the platform units (each runs once; later calls do nothing).
void InitializeXPTheme();       // InitCommonControls
void InitializeOleStartup();    // OleInitialize
void FinalizeOleStartup();      // OleUninitialize

// Runs the platform units, the settings and the version strings, then the
// start-ups registered with TUnitRegistrar in registration order. Once only.
void InitializeUnits();
// Frees the forms the application still owns, then runs the registered
// shut-downs in reverse order, then the settings (saved), the devices and OLE.
// Only after InitializeUnits; once only.
void FinalizeUnits();

// Adds a unit of the program (help, shell services...) to the start-up
// sequence: a static TUnitRegistrar in the unit's .cpp. Either function may be
// null; name (a literal) names its start-up in the start-up trace.
struct TUnitRegistrar {
  TUnitRegistrar(void (*initialize)(), void (*finalize)(), const char* name = "a program unit");
};

struct TUnitsScope {
  TUnitsScope() { InitializeUnits(); }
  ~TUnitsScope() { FinalizeUnits(); }
  TUnitsScope(const TUnitsScope&) = delete;
  TUnitsScope& operator=(const TUnitsScope&) = delete;
};
