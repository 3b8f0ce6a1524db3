// Entry points of the engine; the work itself comes with the engine proper.
#include "QuorvanellEngine.h"

extern "C" {

HANDLE __cdecl FileWipe(void*) { return nullptr; }

void __cdecl DriveWipeStart(void*, void*) {}

void __cdecl DriveCleanFreeSpace(void*) {}

}
