// Shell events: the kinds and their codes, the event record, the
// reference-counted batch, and pruning of events that others cover.
#include "shell/ShellNotifier.h"

#include <atomic>

#include "shell/ChangeNotifierThreads.h"

namespace {

const LONG kEventCodes[kShellEventKindCount] = {
    SHCNE_ASSOCCHANGED, SHCNE_ATTRIBUTES,   SHCNE_CREATE,       SHCNE_DELETE,       SHCNE_DRIVEADD,
    SHCNE_DRIVEADDGUI,  SHCNE_DRIVEREMOVED, SHCNE_FREESPACE,    SHCNE_MEDIAINSERTED, SHCNE_MEDIAREMOVED,
    SHCNE_MKDIR,        SHCNE_NETSHARE,     SHCNE_NETUNSHARE,   SHCNE_RENAMEFOLDER, SHCNE_RENAMEITEM,
    SHCNE_RMDIR,        SHCNE_SERVERDISCONNECT, SHCNE_UPDATEDIR, SHCNE_UPDATEIMAGE, SHCNE_UPDATEITEM};

}  // namespace

const char16_t* const ShellEventKindNames[kShellEventKindCount] = {
    u"Assocciation Changed", u"Attributes",    u"Item Create",     u"Item Delete",      u"Drive Add",
    u"Drive Add GUI",        u"Drive Removed", u"Free Space",      u"Media Inserted",   u"Media Removed",
    u"Make Directory",       u"Network Share", u"Network Unshare", u"Folder Rename",    u"Item Rename",
    u"Remove Directory",     u"Server Disconnect", u"Update Directory", u"Update Image", u"Update Item"};

bool ShellEventKindOf(LONG eventCode, TShellEventKind& kind) {
  for (int i = 0; i < kShellEventKindCount; ++i) {
    if (kEventCodes[i] != eventCode) continue;
    kind = static_cast<TShellEventKind>(i);
    return true;
  }
  return false;
}

LONG ShellEventCodeOf(TShellEventKind kind) { return kEventCodes[kind]; }

DWORD KernelNotifyFilterToFlags(uint8_t filter, bool winNT) {
  static const DWORD kFlags[8] = {FILE_NOTIFY_CHANGE_FILE_NAME,  FILE_NOTIFY_CHANGE_DIR_NAME,
                                  FILE_NOTIFY_CHANGE_ATTRIBUTES, FILE_NOTIFY_CHANGE_SIZE,
                                  FILE_NOTIFY_CHANGE_LAST_WRITE, FILE_NOTIFY_CHANGE_LAST_ACCESS,
                                  FILE_NOTIFY_CHANGE_CREATION,   FILE_NOTIFY_CHANGE_SECURITY};
  DWORD flags = 0;
  int bits = winNT ? 8 : 5;
  for (int i = 0; i < bits; ++i)
    if (filter & (1u << i)) flags |= kFlags[i];
  return flags;
}

TPIDLManager* NotifierPIDLs() {
  // The shell allocator serves every thread; one manager is enough for all of them.
  static TPIDLManager* manager = New<TPIDLManager>();
  return manager;
}

// ---- Events ------------------------------------------------------------------------

void TVirtualShellEvent::Create(TShellEventKind kind_, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, uint32_t dword1,
                                uint32_t dword2, bool refreshParent) {
  TPIDLManager* pidls = NotifierPIDLs();
  Kind = kind_;
  DWordItem1 = dword1;
  DWordItem2 = dword2;
  RefreshParent = refreshParent;
  if (pidl1 != nullptr) {
    PIDL1 = pidls->CopyPIDL(pidl1);
    ParentPIDL1 = pidls->StripLastID(pidls->CopyPIDL(pidl1));
  }
  if (pidl2 != nullptr) {
    PIDL2 = pidls->CopyPIDL(pidl2);
    ParentPIDL2 = pidls->StripLastID(pidls->CopyPIDL(pidl2));
  }
}

TVirtualShellEvent::~TVirtualShellEvent() {
  if (FreePIDLsOnDestroy) FreePIDLs();
}

void TVirtualShellEvent::FreePIDLs() {
  TPIDLManager* pidls = NotifierPIDLs();
  pidls->FreeAndNilPIDL(PIDL1);
  pidls->FreeAndNilPIDL(PIDL2);
  pidls->FreeAndNilPIDL(ParentPIDL1);
  pidls->FreeAndNilPIDL(ParentPIDL2);
}

// ---- Lists ---------------------------------------------------------------------------

TVirtualReferenceCountedList::~TVirtualReferenceCountedList() = default;

LONG TVirtualReferenceCountedList::Release() {
  LONG left = InterlockedDecrement(&refCount);
  if (left < 1) {
    Clear();
    Free();
  }
  return left;
}

void TVirtualReferenceCountedList::Clear() { TThreadList::Clear(); }

namespace {
std::atomic<int> gListsAlive{0};
}  // namespace

int ShellEventListsAlive() { return gListsAlive; }

TVirtualShellEventList::TVirtualShellEventList() { ++gListsAlive; }

TVirtualShellEventList::~TVirtualShellEventList() {
  Clear();
  --gListsAlive;
}

void TVirtualShellEventList::Clear() {
  TList* list = LockList();
  for (int i = 0; i < list->Count(); ++i) {
    auto* event = static_cast<TVirtualShellEvent*>(list->Get(i));
    if (event == nullptr) continue;
    event->FreePIDLs();
    event->Free();
  }
  list->Clear();
  UnlockList();
}

std::vector<TVirtualShellEvent*> TVirtualShellEventList::Events() {
  std::vector<TVirtualShellEvent*> out;
  TList* list = LockList();
  out.reserve(list->Count());
  for (int i = 0; i < list->Count(); ++i) out.push_back(static_cast<TVirtualShellEvent*>(list->Get(i)));
  UnlockList();
  return out;
}

// ---- Pruning -----------------------------------------------------------------------

void PruneEventList(TList* list) {
  auto eventAt = [list](int i) { return static_cast<TVirtualShellEvent*>(list->Get(i)); };
  auto drop = [list, &eventAt](int i) {
    TVirtualShellEvent* event = eventAt(i);
    event->FreePIDLs();
    event->Free();
    list->Put(i, nullptr);
  };
  for (int outer = 0; outer < list->Count(); ++outer) {
    for (int inner = list->Count() - 1; inner >= 0; --inner) {
      if (inner == outer || eventAt(outer) == nullptr || eventAt(inner) == nullptr) continue;
      LPCITEMIDLIST a = eventAt(outer)->PIDL1;
      LPCITEMIDLIST b = eventAt(inner)->PIDL1;
      if (vst::ILIsEqual(a, b) || vst::ILIsParent(a, b, false)) {
        drop(inner);
      } else if (vst::ILIsParent(b, a, false)) {
        drop(outer);
      }
    }
  }
  list->Pack();
}
