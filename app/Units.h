#pragma once
// The program's unit start-ups and shut-downs in their order: common controls,
// OLE, the device checks, the settings (read from the registry) and the
// version strings; the shut-downs run in reverse (the settings are saved).
// The main block makes one TUnitsScope before any window.

// Start-ups of the platform units (each runs once; later calls do nothing).
void InitializeXPTheme();       // InitCommonControls
void InitializeOleStartup();    // OleInitialize
void FinalizeOleStartup();      // OleUninitialize

void InitializeUnits();
void FinalizeUnits();

struct TUnitsScope {
  TUnitsScope() { InitializeUnits(); }
  ~TUnitsScope() { FinalizeUnits(); }
  TUnitsScope(const TUnitsScope&) = delete;
  TUnitsScope& operator=(const TUnitsScope&) = delete;
};
