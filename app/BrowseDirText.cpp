// The folder browser's text rules: the selection sent to the dialog, the
// folder test, and fitting the status text into the status line.
#include "BrowseDir.h"

#include <cctype>

namespace {

bool EndsWithBackslash(const std::string& s) { return !s.empty() && s.back() == '\\'; }

// One pass over a directory part: "\A\B\" -> "\...\B\", "\...\B\" -> "\...\",
// "\" -> "", "...\" -> "".
std::string ShortenDirectory(std::string dir) {
  if (dir == "\\") return {};
  std::string lead;
  if (!dir.empty() && dir.front() == '\\') {
    lead = "\\";
    dir.erase(0, 1);
  }
  if (!dir.empty() && dir.front() == '.') dir.erase(0, std::min<size_t>(4, dir.size()));
  size_t slash = dir.find('\\');
  if (slash == std::string::npos) return lead;
  return lead + "...\\" + dir.substr(slash + 1);
}

std::string ShortenPath(const std::string& text, const std::function<int(const std::string&)>& measure, int width) {
  std::string drive, dir, file = text;
  if (file.size() >= 2 && file[1] == ':') {
    drive = file.substr(0, 2);
    file.erase(0, 2);
  }
  size_t slash = file.rfind('\\');
  if (slash != std::string::npos) {
    dir = file.substr(0, slash + 1);
    file.erase(0, slash + 1);
  }
  std::string shown = drive + dir + file;
  while (measure(shown) > width && (!drive.empty() || !dir.empty())) {
    if (dir == "\\...\\") {
      drive.clear();
      dir = "...\\";
    } else if (!dir.empty()) {
      dir = ShortenDirectory(dir);
    } else {
      drive.clear();
    }
    shown = drive + dir + file;
  }
  return shown;
}

std::string TruncateEnd(const std::string& text, const std::function<int(const std::string&)>& measure, int width) {
  std::string remaining = text, shown = text;
  while (measure(shown) > width && !remaining.empty()) {
    remaining.pop_back();
    shown = remaining + "...";
  }
  return shown;
}

}  // namespace

std::string PrepareSelection(const std::string& selection) {
  if (selection.size() < 4 && selection.size() >= 2 && selection[1] == ':')
    return selection.size() == 2 ? selection + "\\" : selection;
  if (EndsWithBackslash(selection)) return selection.substr(0, selection.size() - 1);
  return selection;
}

bool DirectoryExistsForBrowse(const std::string& path) {
  if (path.size() == 3 && path[1] == ':' && path[2] == '\\') {
    int letter = std::toupper(static_cast<unsigned char>(path[0]));
    if (letter < 'A' || letter > 'Z') return false;
    return (GetLogicalDrives() & (1u << (letter - 'A'))) != 0;
  }
  std::string name = EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
  if (name.empty()) return false;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(name.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FitTextToWidth(const std::string& text, bool isFolder, const std::function<int(const std::string&)>& measure,
                           int width) {
  if (text.empty() || measure(text) <= width) return text;
  return isFolder ? ShortenPath(text, measure, width) : TruncateEnd(text, measure, width);
}
