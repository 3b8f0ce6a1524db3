// Exact names: where the shell's comparisons ignore case, the parsing names
// decide; where the plain file calls rewrite a name, the extended form keeps it.
#include "shell/ExactNames.h"

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

bool SameFirstIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  uint16_t size = FirstIDSize(a);
  return size == FirstIDSize(b) && std::memcmp(a, b, size) == 0;
}

std::u16string NameOf(IShellFolder* folder, LPCITEMIDLIST pidl, DWORD flags) {
  STRRET name{};
  if (folder == nullptr || FAILED(folder->GetDisplayNameOf(pidl, flags, &name))) return {};
  return vws::StrRetToWideStr(name, pidl);
}

// The first n IDs of pidl as a list of their own.
LPITEMIDLIST Head(LPCITEMIDLIST pidl, uint32_t n) {
  LPITEMIDLIST copy = NamespacePIDLManager->CopyPIDL(pidl);
  if (copy == nullptr) return nullptr;
  LPITEMIDLIST cut = copy;
  for (uint32_t i = 0; i < n && cut->mkid.cb != 0; ++i) cut = TPIDLManager::NextID(cut);
  cut->mkid.cb = 0;
  return copy;
}

}  // namespace

std::u16string InFolderName(IShellFolder* folder, LPCITEMIDLIST id) {
  return NameOf(folder, id, SHGDN_INFOLDER | SHGDN_FORPARSING);
}

bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order) {
  if (folder == nullptr) return false;
  HRESULT hr = folder->CompareIDs(0, a, b);
  if (FAILED(hr)) return false;
  order = static_cast<int16_t>(HRESULT_CODE(hr));
  if (order != 0 || SameFirstIDBytes(a, b)) return true;
  // One-ID lists: the folder names only its own children.
  std::vector<uint8_t> one(FirstIDSize(a) + 2u, 0), two(FirstIDSize(b) + 2u, 0);
  std::memcpy(one.data(), a, FirstIDSize(a));
  std::memcpy(two.data(), b, FirstIDSize(b));
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
  LPITEMIDLIST head = Head(child, NamespacePIDLManager->IDCount(parent));
  if (head == nullptr) return false;
  bool same = SameItem(parent, head);
  NamespacePIDLManager->FreePIDL(head);
  return same;
}

std::u16string ExtendedPath(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return u"\\\\?\\" + path;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.')
    return u"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

}  // namespace exactnames
