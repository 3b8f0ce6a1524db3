// OLE on the main thread, for drag and drop and the clipboard.
#include <windows.h>
#include <ole2.h>

#include "Units.h"

namespace {

bool gOleStarted = false;

}  // namespace

void InitializeOleStartup() {
  if (gOleStarted) return;
  // S_FALSE (already initialised on this thread) also needs its uninitialise.
  HRESULT hr = OleInitialize(nullptr);
  gOleStarted = SUCCEEDED(hr);
}

void FinalizeOleStartup() {
  if (!gOleStarted) return;
  gOleStarted = false;
  OleUninitialize();
}
