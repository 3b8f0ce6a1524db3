// A new folder made from the explorer tree: created with a unique name in the
// folder of a path, looked for until the shell lists it, added as a node and
// opened for renaming.
#include <windows.h>

#include "shell/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualWideStrings.h"

namespace {

// The child of folderNs whose parsing name is path, as a new namespace owned
// by the caller; null when the shell does not list it.
TNamespace* ListedChild(TNamespace* folderNs, const std::u16string& path, HWND window, TFileObjects fileObjects) {
  IShellFolder* folder = folderNs->GetShellFolder();
  if (folder == nullptr) return nullptr;
  IEnumIDList* list = nullptr;
  TNamespace* found = nullptr;
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (folder->EnumObjects(window, FileObjectsToFlags(fileObjects), &list) == S_OK && list != nullptr) {
    LPITEMIDLIST id = nullptr;
    ULONG fetched = 0;
    while (found == nullptr && list->Next(1, &id, &fetched) == S_OK) {
      TNamespace* ns = New<TNamespace>(id, folderNs);
      if (vws::WideStrICompOS(ns->NameForParsing().c_str(), path.c_str()) == 0)
        found = ns;
      else
        ns->Free();
      id = nullptr;
    }
    list->Release();
  }
  SetErrorMode(oldMode);
  return found;
}

}  // namespace

void TCustomVirtualExplorerTree::CreateNewFolder(const std::u16string& path, std::u16string& newPath) {
  VT_ASSERT(TreeOptions()->MiscOptions().Contains(toEditable), "You must set the toEditable option to Edit paths");
  newPath.clear();
  std::u16string folderPath = vws::WideStripTrailingBackslash(vws::WideExtractFileDir(path));
  if (folderPath.empty() || !vws::WideDirectoryExists(folderPath)) return;
  // Every step below reaches handlers, which may free the folder's node, the
  // new one or the tree: the folder made stays, the rest is left undone.
  THandlerWatch watch(*this);
  LPITEMIDLIST folderPIDL = PathToPIDL(folderPath);
  if (folderPIDL == nullptr) return;
  PVirtualNode folderNode = WalkPIDLToNode(folderPIDL, /*select=*/false, /*expandPath=*/true, /*reinit=*/false,
                                           /*init=*/true);
  NamespacePIDLManager->FreePIDL(folderPIDL);
  TNamespace* folderNs = nullptr;
  if (folderNode == nullptr || !ValidateNamespace(folderNode, folderNs)) return;
  std::u16string created = vws::UniqueDirName(folderPath);
  if (created.empty() || !vws::WideCreateDirectory(created)) return;
  // The shell may list the new folder a little later than it exists.
  TNamespace* ns = nullptr;
  HWND window = HandleAllocated() ? Handle() : nullptr;
  for (int attempt = 0; attempt < 200 && ns == nullptr; ++attempt) {
    ns = ListedChild(folderNs, created, window, FileObjects());
    if (ns == nullptr) Sleep(10);
  }
  if (ns == nullptr) return;
  newPath = ns->NameForParsing();
  ClearSelection();
  if (!watch.Gone(folderNode)) SetFocusedNode(nullptr);
  if (watch.Gone(folderNode)) {
    ns->Free();
    return;
  }
  PVirtualNode node = AddNodeToTree(folderNode, ns, ctTriStateCheckBox,
                                    TreeOptions()->MiscOptions().Contains(toCheckSupport));
  if (node == nullptr) return;
  SetFocusedNode(node);
  if (!watch.Gone(node)) SetSelected(node, true);
  if (!watch.Gone(node)) EditNode(node, HeaderColumnCount() > 0 ? 0 : NoColumn);
}
