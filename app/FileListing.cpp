#include "FileListing.h"

#include <unordered_set>

namespace {

bool EndsWithBackslash(const std::u16string& path) { return !path.empty() && path.back() == u'\\'; }

// A checked path without its trailing backslashes ("C:" for "C:\\").
std::u16string Trimmed(const std::u16string& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] == u'\\') --end;
  return path.substr(0, end);
}

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Beyond this many checked paths every listed item is looked up.
constexpr size_t kMostPathsCompared = 64;

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

TListedItem ItemOf(std::u16string path, DWORD attributes, DWORD sizeHigh, DWORD sizeLow, FILETIME lastWrite) {
  TListedItem item;
  item.found = true;
  item.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  item.path = std::move(path);
  if (item.folder && !EndsWithBackslash(item.path)) item.path += u'\\';
  if (!item.folder) item.size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  item.lastWrite = lastWrite;
  return item;
}

// An item is listed once however many checked paths reach it; since the
// items one checked path reaches are all different, only those that another
// checked path can reach are looked up among the items listed: the checked
// paths themselves, and what lies in folders on the way to or below another
// checked path.
class TItemLister {
public:
  TItemLister(const std::vector<std::u16string>& checked, const TListedItemSink& sink_) : sink(sink_) {
    if (checked.size() > kMostPathsCompared) {
      lookUpAll = true;
      return;
    }
    for (const std::u16string& path : checked) keys.push_back(Trimmed(path));
  }

  void ListChecked(size_t index, const std::u16string& path) {
    if (path.empty()) return;
    current = index;
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
      Emit(std::move(missing), /*lookUp=*/true);
      return;
    }
    TListedItem item = ItemOf(bare, data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
    const std::u16string folder = item.folder && !item.link ? item.path : u"";
    // A folder already listed was entered then (or is a link): its content is listed.
    if (!Emit(std::move(item), /*lookUp=*/true) || folder.empty()) return;
    ScanTree(folder);
  }

private:
  struct TFolderFrame {
    std::u16string folder;            // with a trailing backslash
    std::vector<TListedItem> subfolders;
    bool lookUp = true;               // its items may be reached from another checked path
    size_t next = 0;
  };

  // False when the path was given before.
  bool Emit(TListedItem&& item, bool lookUp) {
    if (lookUp && !seen.insert(item.path).second) return false;
    sink(std::move(item));
    return true;
  }

  // Whether an item in folder can be reached from a checked path other than
  // the current one: the folder lies in that path, or that path in it.
  bool ReachedFromAnother(const std::u16string& folder) const {
    if (lookUpAll) return true;
    for (size_t i = 0; i < keys.size(); ++i)
      if (i != current && (StartsWith(folder, keys[i]) || StartsWith(keys[i], folder))) return true;
    return false;
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
      TListedItem sub = std::move(top.subfolders[top.next++]);
      const bool enter = !sub.link;
      std::u16string folder = sub.path;
      if (!Emit(std::move(sub), top.lookUp) || !enter) continue;
      stack.push_back(ReadFolder(folder));
    }
  }

  // Gives the folder's files and returns its subfolders.
  TFolderFrame ReadFolder(const std::u16string& folder) {
    TFolderFrame frame;
    frame.folder = folder;
    frame.lookUp = ReachedFromAnother(folder);
    WIN32_FIND_DATAW data;
    const std::u16string pattern = LongPathForm(folder + u"*");
    HANDLE find = FindFirstFileExW(reinterpret_cast<LPCWSTR>(pattern.c_str()), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return frame;
    do {
      if (IsDots(data.cFileName)) continue;
      std::u16string path = folder;
      path += reinterpret_cast<const char16_t*>(data.cFileName);
      TListedItem item =
          ItemOf(std::move(path), data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
      if (item.folder) frame.subfolders.push_back(std::move(item));
      else Emit(std::move(item), frame.lookUp);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return frame;
  }

  const TListedItemSink& sink;
  std::unordered_set<std::u16string> seen;
  std::vector<std::u16string> keys;  // the checked paths, trimmed
  bool lookUpAll = false;
  size_t current = 0;  // the checked path being listed
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
  TItemLister lister(checked, sink);
  for (size_t i = 0; i < checked.size(); ++i) lister.ListChecked(i, checked[i]);
}
