// Exact names: where the shell's comparisons ignore case, the parsing names
// decide; where the plain file calls rewrite a name, the extended form keeps it.
#include "shell/ExactNames.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace exactnames {

namespace {

uint16_t FirstIDSize(LPCITEMIDLIST id) {
  uint16_t cb;
  std::memcpy(&cb, id, sizeof cb);
  return cb;
}

std::u16string NameOf(IShellFolder* folder, LPCITEMIDLIST pidl, DWORD flags) {
  STRRET name{};
  if (folder == nullptr || FAILED(folder->GetDisplayNameOf(pidl, flags, &name))) return {};
  return vws::StrRetToWideStr(name, pidl);
}

}  // namespace

bool SameIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  uint16_t size = FirstIDSize(a);
  return size == FirstIDSize(b) && std::memcmp(a, b, size) == 0;
}

std::vector<uint8_t> FirstIDOnly(LPCITEMIDLIST id) {
  std::vector<uint8_t> one(FirstIDSize(id) + 2u, 0);
  std::memcpy(one.data(), id, FirstIDSize(id));
  return one;
}

LPITEMIDLIST FirstIDs(LPCITEMIDLIST pidl, uint32_t n) {
  LPITEMIDLIST copy = NamespacePIDLManager->CopyPIDL(pidl);
  if (copy == nullptr) return nullptr;
  LPITEMIDLIST cut = copy;
  for (uint32_t i = 0; i < n && cut->mkid.cb != 0; ++i) cut = TPIDLManager::NextID(cut);
  cut->mkid.cb = 0;
  return copy;
}

int CompareIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  uint16_t sizeA = FirstIDSize(a);
  uint16_t sizeB = FirstIDSize(b);
  int common = std::memcmp(a, b, std::min(sizeA, sizeB));
  if (common != 0) return common < 0 ? -1 : 1;
  return sizeA == sizeB ? 0 : (sizeA < sizeB ? -1 : 1);
}

int OrderInFolder(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  int order = 0;
  if (!CompareIDs(folder, a, b, order)) return CompareIDBytes(a, b);
  return order;
}

std::u16string InFolderName(IShellFolder* folder, LPCITEMIDLIST id) {
  return NameOf(folder, id, SHGDN_INFOLDER | SHGDN_FORPARSING);
}

std::u16string Folded(const std::u16string& name) {
  if (name.empty()) return {};
  std::u16string upper(name.size(), u'\0');
  int length = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<LPCWSTR>(name.data()),
                            static_cast<int>(name.size()), reinterpret_cast<LPWSTR>(upper.data()),
                            static_cast<int>(upper.size()));
  if (length <= 0) return {};
  upper.resize(static_cast<size_t>(length));
  return upper;
}

LPITEMIDLIST ParseInFolder(IShellFolder* folder, const std::u16string& name) {
  if (folder == nullptr || name.empty()) return nullptr;
  std::u16string text = name;  // the call may write to it
  LPITEMIDLIST id = nullptr;
  ULONG eaten = 0;
  HRESULT hr = folder->ParseDisplayName(nullptr, nullptr, reinterpret_cast<LPWSTR>(text.data()), &eaten, &id, nullptr);
  if (FAILED(hr) || id == nullptr) return nullptr;
  // A name that leads further down is not a child of this folder.
  if (NamespacePIDLManager->IDCount(id) != 1) {
    CoTaskMemFree(id);
    return nullptr;
  }
  LPITEMIDLIST copy = NamespacePIDLManager->CopyPIDL(id);
  CoTaskMemFree(id);
  return copy;
}

bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order) {
  if (folder == nullptr) return false;
  HRESULT hr = folder->CompareIDs(0, a, b);
  if (FAILED(hr)) return false;
  order = static_cast<int16_t>(HRESULT_CODE(hr));
  if (order != 0 || SameIDBytes(a, b)) return true;
  // One-ID lists: the folder names only its own children.
  std::vector<uint8_t> one = FirstIDOnly(a), two = FirstIDOnly(b);
  std::u16string nameA = InFolderName(folder, reinterpret_cast<LPCITEMIDLIST>(one.data()));
  std::u16string nameB = InFolderName(folder, reinterpret_cast<LPCITEMIDLIST>(two.data()));
  // Without names nothing tells them apart: the shell's answer stands.
  if (nameA.empty() || nameB.empty()) return true;
  int cmp = nameA.compare(nameB);
  order = cmp < 0 ? -1 : cmp > 0 ? 1 : 0;
  return true;
}

std::u16string ParsingName(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return {};
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return {};
  std::u16string name = NameOf(desktop, pidl, SHGDN_FORPARSING);
  desktop->Release();
  return name;
}

bool SameItem(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (!vst::ILIsEqual(a, b)) return false;
  uint32_t size = NamespacePIDLManager->PIDLSize(a);
  if (size == NamespacePIDLManager->PIDLSize(b) && std::memcmp(a, b, size) == 0) return true;
  return ParsingName(a) == ParsingName(b);
}

bool IsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate) {
  if (!vst::ILIsParent(parent, child, immediate)) return false;
  LPITEMIDLIST head = FirstIDs(child, NamespacePIDLManager->IDCount(parent));
  if (head == nullptr) return false;
  bool same = SameItem(parent, head);
  NamespacePIDLManager->FreePIDL(head);
  return same;
}

bool IsRootedPath(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return true;
  return path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.';
}

bool JoinName(std::u16string& path, const std::u16string& name) {
  if (name.empty() || name == u"." || name == u".." || name.find_first_of(u"\\/:") != std::u16string::npos)
    return false;
  if (path.empty() || path.back() != u'\\') path += u'\\';
  path += name;
  return true;
}

std::u16string WholeParsingName(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return {};
  std::u16string name = ParsingName(pidl);
  if (name.size() < kMayBeCutLength) return IsRootedPath(name) ? name : std::u16string();
  // The nearest folder on the way whose name is whole and a path.
  const uint32_t count = NamespacePIDLManager->IDCount(pidl);
  uint32_t whole = count;
  std::u16string path;
  while (whole > 1) {
    --whole;
    LPITEMIDLIST head = FirstIDs(pidl, whole);
    if (head == nullptr) return {};
    path = ParsingName(head);
    NamespacePIDLManager->FreePIDL(head);
    if (path.size() < kMayBeCutLength) break;
  }
  if (!IsRootedPath(path) || path.size() >= kMayBeCutLength) return {};
  // Down from there, one in-folder name at a time.
  LPITEMIDLIST head = FirstIDs(pidl, whole);
  IShellFolder* desktop = nullptr;
  IShellFolder* folder = nullptr;
  if (head != nullptr && SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != nullptr) {
    if (FAILED(desktop->BindToObject(head, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))))
      folder = nullptr;
    desktop->Release();
  }
  if (head != nullptr) NamespacePIDLManager->FreePIDL(head);
  LPCITEMIDLIST id = pidl;
  for (uint32_t i = 0; i < whole; ++i) id = TPIDLManager::NextID(id);
  for (uint32_t i = whole; folder != nullptr && i < count; ++i, id = TPIDLManager::NextID(id)) {
    std::vector<uint8_t> one = FirstIDOnly(id);
    LPCITEMIDLIST child = reinterpret_cast<LPCITEMIDLIST>(one.data());
    if (!JoinName(path, InFolderName(folder, child))) break;
    if (i + 1 == count) {
      folder->Release();
      return path;
    }
    IShellFolder* next = nullptr;
    if (FAILED(folder->BindToObject(child, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&next)))) next = nullptr;
    folder->Release();
    folder = next;
  }
  if (folder != nullptr) folder->Release();
  return {};
}

bool ListsItself(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return true;
  std::u16string name = ParsingName(pidl);
  if (name.size() < kMayBeCutLength || !IsRootedPath(name)) return true;
  return WholeParsingName(pidl) == name;
}

std::u16string ExtendedPath(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return u"\\\\?\\" + path;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.')
    return u"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

}  // namespace exactnames
