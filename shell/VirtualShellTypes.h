#pragma once
// Shell declarations shared by the toolkit: the COM interfaces it talks to
// and the small value types of its public routines.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shellapi.h>

#include <cstdint>
#include <vector>

#include "core/Set.h"

class TNamespace;

// What an explorer view enumerates.
enum TFileObject { foFolders, foNonFolders, foHidden, foShareable, foNetworkPrinters };
using TFileObjects = TSet<TFileObject, 8>;

// How file types sort: by type name or by extension.
enum TFileSort { fsFileType, fsFileExtension };

using TPIDLArray = std::vector<LPITEMIDLIST>;
using TNamespaceArray = std::vector<TNamespace*>;

// The state of a detail column (SHCOLSTATE) as a set.
enum TColumnStateItem {
  csTypeString, csTypeInteger, csTypeDate, csOnByDefault, csSlow, csExtended, csSecondaryUI, csHidden
};
using TColumnStates = TSet<TColumnStateItem, 8>;

// Releases a COM pointer and clears it.
template <class I>
void ReleaseAndNil(I*& p) {
  I* doomed = p;
  p = nullptr;
  if (doomed != nullptr) doomed->Release();
}
