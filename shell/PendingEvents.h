#pragma once
// The changes the dispatch thread holds until the next batch, indexed so that
// telling whether a like change waits (same kind, the same item by ILIsEqual,
// for free space and icons the same value, and the same word on whether the
// item's parent is to be refreshed instead: a report that a folder is gone is
// no duplicate of an update of it) costs about as much with thousands
// waiting as with one: an exact copy of the PIDL is found by its bytes, and
// any other PIDL the shell calls equal among those whose item has the same
// parsing name without case (which equal items share); a PIDL the shell
// names not is compared with every waiting change of its kind. Names are
// asked of the item's folder, kept bound for the next change in it: asking
// the desktop for a whole path binds every folder on it each time.
#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "shell/ShellNotifier.h"

class TPendingEvents {
public:
  struct Keys {
    size_t bytes = 0;
    std::optional<size_t> name;  // none when the shell gives the item no name
  };
  // The key of the exact PIDL (cheap: no shell call).
  static size_t BytesKey(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, bool refreshParent = false);
  // The key of the item's parsing name without case; none for no PIDL or no
  // name. Asks the shell; may be called from any thread, and not under the
  // caller's lock.
  std::optional<size_t> NameKey(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, bool refreshParent = false);

  TPendingEvents();
  ~TPendingEvents();
  TPendingEvents(const TPendingEvents&) = delete;
  TPendingEvents& operator=(const TPendingEvents&) = delete;

  // A change waits whose PIDL has the very bytes of pidl.
  bool WaitsExactly(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, size_t bytesKey,
                    bool refreshParent = false) const;
  // A like change waits (the full test; keys as made for these arguments).
  bool Waits(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, const Keys& keys,
             bool refreshParent = false) const;
  // Queues event; keys.name none also for a change queued without the test
  // (later changes then compare with it in full).
  void Add(TVirtualShellEvent* event, const Keys& keys);
  // Every change in the order queued; the index is empty afterwards.
  std::vector<TVirtualShellEvent*> TakeAll();
  bool Empty() const { return events.empty(); }

private:
  std::vector<TVirtualShellEvent*> events;  // in order
  std::unordered_multimap<size_t, TVirtualShellEvent*> byBytes;
  std::unordered_multimap<size_t, TVirtualShellEvent*> byName;
  std::vector<TVirtualShellEvent*> unnamed;  // compared in full with every change of their kind

  // Folders the names were last asked of, by the bytes of their PIDLs.
  struct Folder {
    IShellFolder* folder = nullptr;
    size_t key = 0;  // of the folder's own parsing name without case
  };
  // The key of the item pidl ends in, from its folder's answer; none when the folder gives no name.
  std::optional<size_t> ItemKey(LPCITEMIDLIST pidl);
  CRITICAL_SECTION folderLock;
  std::unordered_map<std::string, Folder> folders;  // under folderLock
};

// The duplicate test itself: kind, (for free space and icons) value and
// RefreshParent alike, and the PIDLs ILIsEqual or both none.
bool LikeShellEvent(const TVirtualShellEvent* event, TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword,
                    bool refreshParent = false);
