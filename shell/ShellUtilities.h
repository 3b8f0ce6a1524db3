#pragma once
// Free routines of the shell toolkit: paths to PIDLs and back, enumeration
// flags, special-folder items, default icons, the shell's icon cache and
// Windows 9x drive geometry; the special-folder items every view compares
// against; and the toolkit's start-up.
#include <string>
#include <vector>

#include "shell/Namespace.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualShellTypes.h"

// The PIDL manager of the toolkit; made first at start-up, freed last.
extern TPIDLManager* NamespacePIDLManager;

// Special folders; each null when the shell has no such folder. All eleven
// are made on the main thread (the one that started the toolkit) the first
// time one is asked for there (the toolkit is started first if it is not
// yet), and freed at shut-down; after shut-down every one is null. Another
// thread asking before they stand has the main thread make them while it
// handles messages, and gets null when it does not within a second.
TNamespace* DesktopFolder();            // CSIDL 0
TNamespace* RecycleBinFolder();         // CSIDL 10
TNamespace* DesktopDirectoryFolder();   // CSIDL 16, the folder behind the desktop
TNamespace* DrivesFolder();             // CSIDL 17, My Computer
TNamespace* PrintersFolder();           // CSIDL 4
TNamespace* HistoryFolder();            // CSIDL 34
TNamespace* ControlPanelFolder();       // CSIDL 3
TNamespace* NetworkFolder();            // CSIDL 18
TNamespace* TemplatesFolder();          // CSIDL 21
TNamespace* PersonalFolder();           // CSIDL 5
TNamespace* FavoritesFolder();          // CSIDL 6

// How many of the eleven special items have been made.
int SpecialFoldersMade();

// Entry points bound at start-up; null when missing.
using TAnimateWindow = BOOL(WINAPI*)(HWND, DWORD, DWORD);
extern TAnimateWindow AnimateWindowProc;
extern FARPROC ShellILIsEqualProc;   // shell32 ordinal 21
extern FARPROC ShellILIsParentProc;  // shell32 ordinal 23
extern FARPROC Shell747Proc;         // shell32 ordinal 747

// The absolute PIDL of path (caller owns it); null when it cannot be parsed.
LPITEMIDLIST PathToPIDL(const std::u16string& path);
// The parsing name of an absolute PIDL; "" for null.
std::u16string PIDLToPath(LPCITEMIDLIST pidl);
// True for a shell link and for a file-system link or junction (asked by the
// exact name); false for a drive root and for a file system mounted on a
// folder (IsMountedFolder, MountedFolder.h), which is opened as the folder. What lies behind a
// link is not inside the folder that holds it: views show it but never open it.
bool IsLinkOrReparsePoint(TNamespace* ns);
// Appends folder's items (EnumObjects with flags, no error box) to ids, which
// the caller frees through the PIDL manager. False when the listing did not
// succeed to its end; a folder answering S_FALSE without a list has no items.
bool ListFolderIDs(IShellFolder* folder, HWND window, DWORD flags, std::vector<LPITEMIDLIST>& ids);
// SHCONTF flags of a file-object set (shareable and network printers only on NT 5 and later).
DWORD FileObjectsToFlags(TFileObjects fileObjects);
// The same for given platform facts.
DWORD FileObjectsToFlagsFor(TFileObjects fileObjects, bool nt5OrLater);
// An item owning the special folder's PIDL, or null.
TNamespace* CreateSpecialNamespace(int csidl);
// The items' PIDLs in array order (not copied).
TPIDLArray NamespaceToRelativePIDLArray(const TNamespaceArray& items);
TPIDLArray NamespaceToAbsolutePIDLArray(const TNamespaceArray& items);
// System image-list index of a default icon: 0 closed folder, 1 open folder,
// 2 unknown document, 3 fixed 29, 4 documents folder; -1 for other kinds.
int DefaultSystemImageIndex(int kind);
// Windows 9x drive geometry through the DOS extension; false on failure.
bool Win9xExtFreeSpace(const std::u16string& rootPath, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                       DWORD& freeClusters, DWORD& totalClusters);
// Binds the entry points above; true when ordinals 21 and 23 are both there.
bool BindShellFunctions();

namespace vst {
// The shell's icon-cache initialisation (shell32 ordinal 660) on the NT
// platform; false elsewhere or when the ordinal is missing.
bool FileIconInit(bool restore);
}  // namespace vst

// Start-up of the toolkit (idempotent): the program calls it at start on its
// main thread, before any form; otherwise the first shell item made runs it.
// It initialises COM on this thread, binds the wide functions and the shell
// functions (a missing ordinal 21 or 23 ends the program with a message and
// exit code 3), makes the PIDL managers and registers the shut-down with
// atexit; the special-folder items wait for their first use. After the
// shut-down it does nothing.
void InitializeShellToolkit();
// Frees the special items and the managers (at exit); the toolkit is not
// started again afterwards.
void FinalizeShellToolkit();
// True once FinalizeShellToolkit has run.
bool ShellToolkitFinished();
// The shell functions the toolkit needs; when missing, the program is ended.
void ShellFunctionsMissing();
