#include "FileListing.h"

#include <unordered_set>

namespace {

bool EndsWithBackslash(const std::u16string& path) { return !path.empty() && path.back() == u'\\'; }

std::u16string WithBackslash(const std::u16string& path) {
  return EndsWithBackslash(path) ? path : path + u'\\';
}

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

TListedItem ItemOf(const std::u16string& path, DWORD attributes, DWORD sizeHigh, DWORD sizeLow, FILETIME lastWrite) {
  TListedItem item;
  item.found = true;
  item.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  item.path = item.folder ? WithBackslash(path) : path;
  if (!item.folder) item.size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  item.lastWrite = lastWrite;
  return item;
}

class TItemLister {
public:
  explicit TItemLister(const TListedItemSink& sink_) : sink(sink_) {}

  void ListChecked(const std::u16string& path) {
    if (path.empty()) return;
    if (IsDriveRootPath(path)) {
      // The root is wiped through its content; it has no row of its own.
      if (seen.insert(path).second) ScanTree(path);
      return;
    }
    std::u16string bare = EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(reinterpret_cast<LPCWSTR>(LongPathForm(bare).c_str()), GetFileExInfoStandard, &data)) {
      // Listed without details; the engine is still handed it.
      TListedItem missing;
      missing.path = path;
      Emit(missing);
      return;
    }
    TListedItem item = ItemOf(bare, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
    // A folder already listed was entered then (or is a link): its content is listed.
    if (!Emit(item) || !item.folder || item.link) return;
    ScanTree(item.path);
  }

private:
  struct TFolderFrame {
    std::u16string folder;            // with a trailing backslash
    std::vector<TListedItem> subfolders;
    size_t next = 0;
  };

  // False when the path was given before.
  bool Emit(const TListedItem& item) {
    if (!seen.insert(item.path).second) return false;
    sink(item);
    return true;
  }

  // Files first, each subfolder then followed by its content. The walk keeps
  // its own stack: a deep tree costs memory, not the thread's stack.
  void ScanTree(const std::u16string& root) {
    std::vector<TFolderFrame> stack;
    stack.push_back(ReadFolder(root));
    while (!stack.empty()) {
      TFolderFrame& top = stack.back();
      if (top.next == top.subfolders.size()) {
        stack.pop_back();
        continue;
      }
      const TListedItem sub = std::move(top.subfolders[top.next++]);
      if (!Emit(sub) || sub.link) continue;
      stack.push_back(ReadFolder(sub.path));
    }
  }

  // Gives the folder's files and returns its subfolders.
  TFolderFrame ReadFolder(const std::u16string& folder) {
    TFolderFrame frame;
    frame.folder = folder;
    WIN32_FIND_DATAW data;
    const std::u16string pattern = LongPathForm(folder + u"*");
    HANDLE find = FindFirstFileExW(reinterpret_cast<LPCWSTR>(pattern.c_str()), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return frame;
    do {
      if (IsDots(data.cFileName)) continue;
      std::u16string path = folder + reinterpret_cast<const char16_t*>(data.cFileName);
      TListedItem item = ItemOf(path, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
      if (item.folder) frame.subfolders.push_back(std::move(item));
      else Emit(item);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return frame;
  }

  const TListedItemSink& sink;
  std::unordered_set<std::u16string> seen;
};

}  // namespace

bool IsDriveRootPath(const std::u16string& path) { return path.size() == 3 && path[1] == u':' && path[2] == u'\\'; }

std::u16string LongPathForm(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return u"\\\\?\\" + path;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.')
    return u"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

void ListCheckedItems(const std::vector<std::u16string>& checked, const TListedItemSink& sink) {
  TItemLister lister(sink);
  for (const std::u16string& path : checked) lister.ListChecked(path);
}
