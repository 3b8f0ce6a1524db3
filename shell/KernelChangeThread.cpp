// The kernel thread: directory change handles on the watched special folders
// and on the folders the kernel-registered controls watch. A signalled folder
// becomes an update of that folder (of its parent when it has gone).
#include "core/Exception.h"
#include "shell/ChangeNotifierThreads.h"
#include "shell/VirtualUtilities.h"

namespace {

// WaitForMultipleObjects takes 64 handles; the first is the thread's own event.
constexpr size_t kMostWatches = MAXIMUM_WAIT_OBJECTS - 1;
constexpr DWORD kSpecialFolderFilter = 0x1F;

HANDLE OpenChangeHandle(const std::u16string& path, DWORD filter) {
  if (IsUnicode())
    return FindFirstChangeNotificationW(reinterpret_cast<LPCWSTR>(path.c_str()), /*watchSubtree=*/FALSE, filter);
  int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(path.c_str()), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(path.c_str()), -1, ansi.data(), n, nullptr, nullptr);
  return FindFirstChangeNotificationA(ansi.c_str(), FALSE, filter);
}

}  // namespace

// ---- A watched folder's item ---------------------------------------------------------

TChangeNamespace::TChangeNamespace(LPITEMIDLIST pidl) : absolutePIDL(pidl) {
  if (pidl == nullptr) return;
  if (FAILED(SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&parentFolder), &relativePIDL))) {
    parentFolder = nullptr;
    relativePIDL = nullptr;
  }
}

TChangeNamespace::~TChangeNamespace() {
  if (parentFolder != nullptr) parentFolder->Release();
  NotifierPIDLs()->FreePIDL(absolutePIDL);
}

bool TChangeNamespace::Exists() const {
  if (parentFolder == nullptr) return true;
  SFGAOF attributes = SFGAO_VALIDATE;
  LPCITEMIDLIST item = relativePIDL;
  if (FAILED(parentFolder->GetAttributesOf(1, &item, &attributes))) return false;
  // Some shells validate from the ID's own data: a folder on disk is asked of the disk too.
  wchar_t path[MAX_PATH];
  if (SHGetPathFromIDListW(absolutePIDL, path) && path[0] != 0) return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
  return true;
}

// ---- The thread ------------------------------------------------------------------------

void TVirtualKernelChangeThread::Create(TVirtualChangeNotifier* notifier_) {
  notifier = notifier_;
  eventHandle = CreateEventW(nullptr, /*manualReset=*/TRUE, FALSE, nullptr);
  extraHandle = eventHandle;
  if (eventHandle == nullptr) throw Exception("Cannot create the kernel thread's event");
  TVirtualThread::Create(/*createSuspended=*/true);
}

TVirtualKernelChangeThread::~TVirtualKernelChangeThread() = default;

void TVirtualKernelChangeThread::Terminate() {
  TVirtualThread::Terminate();
  SetEvent(eventHandle);
}

void TVirtualKernelChangeThread::AddSpecialFolder(const std::u16string& path, LPITEMIDLIST fileSystemPIDL,
                                                  LPITEMIDLIST namespacePIDL) {
  specialPaths.push_back(path);
  specialFileSystemPIDLs.Add(fileSystemPIDL);
  specialNamespacePIDLs.Add(namespacePIDL);
}

void TVirtualKernelChangeThread::BuildWatchList(std::vector<Watch>& watches, bool& anyRegistered) {
  struct Wanted {
    std::u16string path;
    DWORD filter;
    LPITEMIDLIST pidl;  // owned; null: parse the path
  };
  std::vector<Wanted> wanted;
  anyRegistered = false;
  EnterCriticalSection(&notifier->lock);
  TList* records = notifier->LockControlList();
  for (size_t i = 0; i < specialPaths.size(); ++i)
    wanted.push_back({specialPaths[i], kSpecialFolderFilter, NotifierPIDLs()->CopyPIDL(specialFileSystemPIDLs.Items(i))});
  for (int i = 0; i < records->Count(); ++i) {
    auto* record = static_cast<TVirtualChangeControl*>(records->Get(i));
    if (!record->KernelRegistered) continue;
    anyRegistered = true;
    if (!record->WatchFolder.empty())
      wanted.push_back({record->WatchFolder, KernelNotifyFilterToFlags(record->NotifyFilter, IsUnicode()), nullptr});
  }
  notifier->UnlockControlList();
  LeaveCriticalSection(&notifier->lock);

  for (Wanted& w : wanted) {
    if (watches.size() >= kMostWatches) {
      NotifierPIDLs()->FreePIDL(w.pidl);
      continue;
    }
    if (w.pidl == nullptr) w.pidl = ParseFolderPath(w.path);
    HANDLE change = w.pidl != nullptr ? OpenChangeHandle(w.path, w.filter) : INVALID_HANDLE_VALUE;
    if (change == INVALID_HANDLE_VALUE || change == nullptr) {
      NotifierPIDLs()->FreePIDL(w.pidl);
      continue;
    }
    watches.push_back({change, new TChangeNamespace(w.pidl)});
  }
}

void TVirtualKernelChangeThread::Signalled(std::vector<Watch>& watches, size_t index) {
  TVirtualChangeDispatchThread* dispatch = notifier->DispatchThread();
  Watch& watch = watches[index];
  bool gone = !watch.ns->Exists();
  LPCITEMIDLIST pidl = watch.ns->absolutePIDL;
  if (dispatch != nullptr) {
    dispatch->AddEvent(sekUpdateDir, pidl, nullptr, 0, 0, gone);
    // A folder inside a watched special folder is also reported under the special folder's own item.
    std::vector<LPITEMIDLIST> mapped;
    EnterCriticalSection(&notifier->lock);
    TPIDLManager* pidls = NotifierPIDLs();
    for (int i = 0; i < specialFileSystemPIDLs.Count(); ++i) {
      LPCITEMIDLIST fileSystem = specialFileSystemPIDLs.Items(i);
      if (!vst::ILIsParent(fileSystem, pidl, false) && !vst::ILIsEqual(fileSystem, pidl)) continue;
      LPCITEMIDLIST rest = pidl;
      for (uint32_t n = pidls->IDCount(fileSystem); n > 0; --n) rest = TPIDLManager::NextID(rest);
      mapped.push_back(pidls->AppendPIDL(specialNamespacePIDLs.Items(i), rest));
    }
    LeaveCriticalSection(&notifier->lock);
    for (LPITEMIDLIST m : mapped) {
      if (!vst::ILIsEqual(m, pidl)) dispatch->AddEvent(sekUpdateDir, m, nullptr, 0, 0, gone);
      pidls->FreePIDL(m);
    }
  }
  if (gone) {
    FindCloseChangeNotification(watch.change);
    delete watch.ns;
    watches.erase(watches.begin() + static_cast<ptrdiff_t>(index));
    return;
  }
  FindNextChangeNotification(watch.change);
}

void TVirtualKernelChangeThread::Execute() {
  HRESULT ole = OleInitialize(nullptr);
  std::vector<Watch> watches;
  auto closeAll = [&watches] {
    for (Watch& w : watches) {
      FindCloseChangeNotification(w.change);
      delete w.ns;
    }
    watches.clear();
  };
  while (!Terminated()) {
    try {
      ResetEvent(eventHandle);
      bool anyRegistered = false;
      BuildWatchList(watches, anyRegistered);
      InterlockedIncrement(&watchGeneration);
      if (!anyRegistered) {
        // Nothing to watch: sleep until a registration or the stop wakes the thread.
        WaitForSingleObject(eventHandle, INFINITE);
      } else {
        for (;;) {
          std::vector<HANDLE> handles{eventHandle};
          for (const Watch& w : watches) handles.push_back(w.change);
          DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
          if (Terminated() || result == WAIT_OBJECT_0 || result >= WAIT_OBJECT_0 + handles.size()) break;
          Signalled(watches, result - WAIT_OBJECT_0 - 1);
        }
      }
    } catch (...) {
      // One failed round (memory, the shell) loses its changes; the next round watches again.
    }
    closeAll();
  }
  closeAll();
  if (SUCCEEDED(ole)) OleUninitialize();
}
