// The dispatch thread's waiting changes and their duplicate test.
#include "shell/PendingEvents.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ChangeNotifierThreads.h"
#include "shell/ExactNames.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"

namespace {

// Free space and icon updates carry no item: their values tell them apart.
bool ByValue(TShellEventKind kind) { return kind == sekFreeSpace || kind == sekUpdateImage; }

size_t Mix(size_t seed, size_t value) { return seed ^ (value + 0x9e3779b9u + (seed << 6) + (seed >> 2)); }

size_t Head(TShellEventKind kind, uint32_t dword, bool refreshParent) {
  return Mix(static_cast<size_t>(kind) * 2 + (refreshParent ? 1 : 0), ByValue(kind) ? dword : 0);
}

// Bytes of pidl with its terminator; 0 for none.
uint32_t SizeOf(LPCITEMIDLIST pidl) { return NotifierPIDLs()->PIDLSize(pidl); }

bool SameBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (a == nullptr || b == nullptr) return a == b;
  uint32_t size = SizeOf(a);
  return size == SizeOf(b) && std::memcmp(a, b, size) == 0;
}

}  // namespace

bool LikeShellEvent(const TVirtualShellEvent* event, TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword,
                    bool refreshParent) {
  if (event->Kind != kind || event->RefreshParent != refreshParent) return false;
  if (ByValue(kind) && event->DWordItem1 != dword) return false;
  if (pidl == nullptr || event->PIDL1 == nullptr) return pidl == event->PIDL1;
  return vst::ILIsEqual(event->PIDL1, pidl);
}

size_t TPendingEvents::BytesKey(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, bool refreshParent) {
  size_t key = Head(kind, dword, refreshParent);
  if (pidl == nullptr) return Mix(key, 1);
  auto bytes = std::string_view(reinterpret_cast<const char*>(pidl), SizeOf(pidl));
  return Mix(key, std::hash<std::string_view>{}(bytes));
}

namespace {

// name in capitals (folded more widely than the shell folds names, so that
// equal items always share a key) hashed; none for no name.
std::optional<size_t> FoldedKey(const std::u16string& name) {
  if (name.empty()) return std::nullopt;
  std::u16string upper(name.size(), u'\0');
  int length = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<LPCWSTR>(name.data()),
                            static_cast<int>(name.size()), reinterpret_cast<LPWSTR>(upper.data()),
                            static_cast<int>(upper.size()));
  if (length <= 0) return std::nullopt;
  upper.resize(static_cast<size_t>(length));
  return std::hash<std::u16string>{}(upper);
}

// The last ID of pidl and the length of what comes before it.
LPCITEMIDLIST LastID(LPCITEMIDLIST pidl, uint32_t& before) {
  auto* bytes = reinterpret_cast<const uint8_t*>(pidl);
  uint32_t at = 0, last = 0;
  for (;;) {
    uint16_t cb;
    std::memcpy(&cb, bytes + at, sizeof cb);
    if (cb == 0) break;
    last = at;
    at += cb;
  }
  before = last;
  return reinterpret_cast<LPCITEMIDLIST>(bytes + last);
}

constexpr size_t kFoldersKept = 32;

}  // namespace

TPendingEvents::TPendingEvents() { InitializeCriticalSection(&folderLock); }

TPendingEvents::~TPendingEvents() {
  for (auto& entry : folders)
    if (entry.second.folder != nullptr) entry.second.folder->Release();
  DeleteCriticalSection(&folderLock);
}

std::optional<size_t> TPendingEvents::NameKey(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword,
                                              bool refreshParent) {
  if (pidl == nullptr) return std::nullopt;
  std::optional<size_t> item = ItemKey(pidl);
  if (!item) return std::nullopt;
  return Mix(Head(kind, dword, refreshParent), *item);
}

std::optional<size_t> TPendingEvents::ItemKey(LPCITEMIDLIST pidl) {
  uint32_t before = 0;
  LPCITEMIDLIST last = LastID(pidl, before);
  // The desktop itself, or an item whose folder will not bind: the whole parsing name.
  auto whole = [&]() -> std::optional<size_t> {
    std::optional<size_t> key = FoldedKey(exactnames::ParsingName(pidl));
    return key ? std::optional<size_t>(Mix(*key, 1)) : std::nullopt;
  };
  if (last->mkid.cb == 0) return whole();
  std::string parentBytes(reinterpret_cast<const char*>(pidl), before);
  EnterCriticalSection(&folderLock);
  auto found = folders.find(parentBytes);
  if (found == folders.end()) {
    if (folders.size() >= kFoldersKept) {
      for (auto& entry : folders)
        if (entry.second.folder != nullptr) entry.second.folder->Release();
      folders.clear();
    }
    Folder entry;
    std::vector<uint8_t> parent(parentBytes.begin(), parentBytes.end());
    parent.resize(parent.size() + 2, 0);
    auto parentPIDL = reinterpret_cast<LPCITEMIDLIST>(parent.data());
    IShellFolder* desktop = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != nullptr) {
      if (before == 0) {
        entry.folder = desktop;
        desktop = nullptr;
      } else {
        std::optional<size_t> key = FoldedKey(exactnames::ParsingName(parentPIDL));
        void* bound = nullptr;
        if (key && SUCCEEDED(desktop->BindToObject(parentPIDL, nullptr, IID_IShellFolder, &bound)) && bound != nullptr)
          entry = Folder{static_cast<IShellFolder*>(bound), *key};
      }
      if (desktop != nullptr) desktop->Release();
    }
    found = folders.emplace(std::move(parentBytes), entry).first;
  }
  std::optional<size_t> key;
  if (found->second.folder != nullptr) {
    std::vector<uint8_t> one = exactnames::FirstIDOnly(last);
    key = FoldedKey(exactnames::InFolderName(found->second.folder, reinterpret_cast<LPCITEMIDLIST>(one.data())));
    if (key) key = Mix(found->second.key, *key);
  }
  bool bound = found->second.folder != nullptr;
  LeaveCriticalSection(&folderLock);
  return bound ? key : whole();
}

bool TPendingEvents::WaitsExactly(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, size_t bytesKey,
                                  bool refreshParent) const {
  auto [from, to] = byBytes.equal_range(bytesKey);
  return std::any_of(from, to, [&](const auto& entry) {
    const TVirtualShellEvent* e = entry.second;
    return e->Kind == kind && e->RefreshParent == refreshParent && (!ByValue(kind) || e->DWordItem1 == dword) &&
           SameBytes(e->PIDL1, pidl);
  });
}

bool TPendingEvents::Waits(TShellEventKind kind, LPCITEMIDLIST pidl, uint32_t dword, const Keys& keys,
                           bool refreshParent) const {
  if (WaitsExactly(kind, pidl, dword, keys.bytes, refreshParent)) return true;
  // No PIDL is like only no PIDL, which the bytes found.
  if (pidl == nullptr) return false;
  auto like = [&](const TVirtualShellEvent* e) { return LikeShellEvent(e, kind, pidl, dword, refreshParent); };
  if (!keys.name) return std::any_of(events.begin(), events.end(), like);
  auto [from, to] = byName.equal_range(*keys.name);
  if (std::any_of(from, to, [&](const auto& entry) { return like(entry.second); })) return true;
  return std::any_of(unnamed.begin(), unnamed.end(), like);
}

void TPendingEvents::Add(TVirtualShellEvent* event, const Keys& keys) {
  events.push_back(event);
  byBytes.emplace(keys.bytes, event);
  if (keys.name)
    byName.emplace(*keys.name, event);
  else if (event->PIDL1 != nullptr)
    unnamed.push_back(event);
}

std::vector<TVirtualShellEvent*> TPendingEvents::TakeAll() {
  std::vector<TVirtualShellEvent*> all;
  all.swap(events);
  byBytes.clear();
  byName.clear();
  unnamed.clear();
  return all;
}
