#include "PathNames.h"

#include <windows.h>

#include <vector>

#include "SystemRandom.h"
#include "Text.h"

namespace qv::engine {
namespace {

const std::u16string kLongPrefix = u"\\\\?\\";
const std::u16string kLongUncPrefix = u"\\\\?\\UNC\\";

bool StartsWith(const std::u16string& s, const std::u16string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

std::u16string WithoutTrailingSlashes(std::u16string s) {
  while (!s.empty() && (s.back() == u'\\' || s.back() == u'/')) s.pop_back();
  return s;
}

bool IsReservedName(const std::u16string& name) {
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3",
                                          "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1",
                                          "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8",
                                          "LPT9"};
  for (const char* reserved : kReserved) {
    if (name == Ascii(reserved)) return true;
  }
  return false;
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

std::u16string ToLongPath(const std::u16string& given, std::u16string* why) {
  auto refuse = [&](const char* reason) {
    if (why) *why = Ascii(reason);
    return std::u16string();
  };
  if (given.empty()) return refuse("the path is empty");
  std::u16string path = given;
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  // The name is used exactly as given: the system's own path rewriting would
  // strip trailing dots and spaces ("dir." would become its sibling "dir")
  // and resolve "." and "..", so it is never asked.
  std::u16string head;
  std::u16string rest;
  if (StartsWith(path, kLongUncPrefix)) {
    head = kLongUncPrefix;
    rest = path.substr(kLongUncPrefix.size());
  } else if (StartsWith(path, kLongPrefix)) {
    head = kLongPrefix;
    rest = path.substr(kLongPrefix.size());
    if (!(rest.size() >= 2 && IsLetter(rest[0]) && rest[1] == u':' && (rest.size() == 2 || rest[2] == u'\\')))
      return refuse("it names no drive");
  } else if (StartsWith(path, u"\\\\.\\") || StartsWith(path, u"\\??\\")) {
    return refuse("it names a device, not a file or folder");
  } else if (path.size() >= 2 && IsLetter(path[0]) && path[1] == u':') {
    // "D:" is the drive, not the current folder of the drive.
    if (path.size() > 2 && path[2] != u'\\') return refuse("it is relative to the drive's current folder");
    head = kLongPrefix;
    rest = path;
  } else if (StartsWith(path, u"\\\\")) {
    head = kLongUncPrefix;
    rest = path.substr(2);
  } else {
    // A relative path would name whatever the current folder is.
    return refuse("it is not a full path");
  }
  // Names between separators: none may be "." or "..", and runs of
  // separators are one.
  std::u16string out;
  size_t names = 0;
  for (size_t at = 0; at <= rest.size();) {
    size_t next = rest.find(u'\\', at);
    if (next == std::u16string::npos) next = rest.size();
    std::u16string name = rest.substr(at, next - at);
    if (name == u"." || name == u"..") return refuse("it holds a \".\" or \"..\" part");
    if (!name.empty()) {
      if (names++ > 0) out += u'\\';
      out += name;
    }
    at = next + 1;
  }
  bool unc = head == kLongUncPrefix;
  if (unc && names < 2) return refuse("it names no share");
  if (!unc && out.size() == 2) return head + out + u"\\";  // the drive's root
  // A trailing separator is kept: "C:\Data\" still says a folder is meant.
  if (rest.back() == u'\\') out += u'\\';
  return head + out;
}

std::u16string ToDisplayPath(const std::u16string& longPath) {
  if (StartsWith(longPath, kLongUncPrefix)) return u"\\\\" + longPath.substr(kLongUncPrefix.size());
  if (StartsWith(longPath, kLongPrefix)) return longPath.substr(kLongPrefix.size());
  return longPath;
}

bool IsRootPath(const std::u16string& path) {
  std::u16string plain = WithoutTrailingSlashes(ToDisplayPath(path));
  if (plain.size() == 2 && plain[1] == u':') return true;
  if (!StartsWith(plain, u"\\\\")) return false;
  // \\server\share: exactly one separator after the server name.
  size_t server = plain.find(u'\\', 2);
  return server != std::u16string::npos && plain.find(u'\\', server + 1) == std::u16string::npos;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (!folder.empty() && folder.back() == u'\\') return folder + name;
  return folder + u"\\" + name;
}

std::u16string ParentPath(const std::u16string& path) {
  std::u16string plain = WithoutTrailingSlashes(path);
  size_t slash = plain.rfind(u'\\');
  if (slash == std::u16string::npos) return {};
  std::u16string parent = plain.substr(0, slash);
  if (parent.size() >= 2 && parent.back() == u':') parent.push_back(u'\\');  // keep "C:\" a root
  return parent;
}

std::u16string LastName(const std::u16string& path) {
  std::u16string plain = WithoutTrailingSlashes(path);
  size_t slash = plain.rfind(u'\\');
  return slash == std::u16string::npos ? plain : plain.substr(slash + 1);
}

bool RandomName(size_t length, std::u16string& name) {
  static const char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  if (length == 0) length = 1;
  std::vector<uint8_t> bytes(length);
  do {
    if (!SystemRandomBytes(bytes.data(), bytes.size())) return false;
    name.clear();
    // 252 = 7 * 36: values above it are drawn again to keep the letters even.
    for (uint8_t b : bytes) {
      while (b >= 252) {
        if (!SystemRandomBytes(&b, 1)) return false;
      }
      name.push_back(kAlphabet[b % 36]);
    }
  } while (IsReservedName(name));
  return true;
}

}  // namespace qv::engine
