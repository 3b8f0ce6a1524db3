#include "ShellTestHelpers.h"

#include <gtest/gtest.h>

#include "shell/ShellUtilities.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace shelltest {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

namespace {

std::u16string FromW(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }

std::atomic<int> folderCounter{0};

}  // namespace

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0) throw std::runtime_error("no temporary folder");
  wchar_t longTemp[MAX_PATH + 1];
  if (GetLongPathNameW(temp, longTemp, MAX_PATH + 1) == 0) wcscpy(longTemp, temp);
  std::u16string base = FromW(longTemp);
  if (!base.empty() && base.back() == u'\\') base.pop_back();
  std::string id = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(folderCounter++) + "_" +
                   std::to_string(GetTickCount());
  path = base + u"\\qvshell_" + std::u16string(id.begin(), id.end());
  if (!CreateDirectoryW(W(path), nullptr)) throw std::runtime_error("cannot make the test folder");
}

TempFolder::~TempFolder() { RemoveTree(path); }

std::u16string TempFolder::MakeFile(const std::u16string& name, uint32_t size, DWORD attributes) {
  std::u16string full = *this / name;
  HANDLE file = CreateFileW(W(full), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot make a test file");
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  DWORD written = 0;
  if (size > 0) WriteFile(file, bytes.data(), size, &written, nullptr);
  CloseHandle(file);
  if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(W(full), attributes);
  return full;
}

std::u16string TempFolder::MakeFolder(const std::u16string& name) {
  std::u16string full = *this / name;
  CreateDirectoryW(W(full), nullptr);
  return full;
}

void RemoveTree(const std::u16string& path) {
  DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(W(path));
    return;
  }
  WIN32_FIND_DATAW data;
  std::u16string pattern = path + u"\\*";
  HANDLE find = FindFirstFileW(W(pattern), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = FromW(data.cFileName);
      if (name == u"." || name == u"..") continue;
      RemoveTree(path + u"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(W(path));
}

bool MakeShortcut(const std::u16string& linkPath, const std::u16string& target, const std::u16string& arguments,
                  const std::u16string& description, WORD hotKey, int showCmd) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  link->SetPath(W(target));
  link->SetArguments(W(arguments));
  link->SetDescription(W(description));
  std::u16string dir = target.substr(0, target.rfind(u'\\'));
  link->SetWorkingDirectory(W(dir));
  link->SetHotkey(hotKey);
  link->SetShowCmd(showCmd);
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  if (ok) {
    ok = SUCCEEDED(file->Save(W(linkPath), TRUE));
    file->Release();
  }
  link->Release();
  return ok;
}

}  // namespace shelltest

namespace {
struct ShellEnvironment : ::testing::Environment {
  void SetUp() override { InitializeShellToolkit(); }
};
const auto* const kShellEnvironment = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);
}  // namespace
