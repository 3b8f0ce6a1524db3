// Formatting through the system's formatting service (fmifs.dll, FormatEx),
// present on Windows and absent under Wine. Its progress callback carries no
// context, so one format runs at a time.
#include <windows.h>
#include <winioctl.h>

#include <mutex>
#include <string>

#include "Formatter.h"
#include "Text.h"

namespace qv::engine {
namespace {

// The service's callback commands that matter here.
constexpr int kCommandProgress = 0;
constexpr int kCommandDone = 11;
constexpr DWORD kMediaRemovable = 0x0B;
constexpr DWORD kMediaFixed = 0x0C;

using FormatCallback = BOOLEAN(__stdcall*)(int command, DWORD subAction, void* info);
using FormatExFn = void(__stdcall*)(const wchar_t* root, DWORD media, const wchar_t* fileSystem,
                                    const wchar_t* label, BOOL quick, DWORD clusterBytes, FormatCallback callback);

std::mutex gFormatLock;
Reporter* gReporter = nullptr;  // the running format's reporter, under gFormatLock
bool gSucceeded = false;

FormatExFn LoadFormatEx() {
  HMODULE module = LoadSystemFormatLibrary();
  if (!module) return nullptr;
  return reinterpret_cast<FormatExFn>(reinterpret_cast<void*>(GetProcAddress(module, "FormatEx")));
}

BOOLEAN __stdcall OnFormatEvent(int command, DWORD, void* info) {
  if (command == kCommandProgress && info) gReporter->FormatProgress(int(*static_cast<DWORD*>(info)), false);
  if (command == kCommandDone && info) gSucceeded = *static_cast<BOOLEAN*>(info) != 0;
  return TRUE;  // a format once begun is finished: a half-written file system helps no one
}

void EnableCompression(const wchar_t* root, Reporter& reporter) {
  HANDLE folder = CreateFileW(root, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  USHORT format = COMPRESSION_FORMAT_DEFAULT;
  DWORD returned = 0;
  if (folder == INVALID_HANDLE_VALUE ||
      !DeviceIoControl(folder, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr)) {
    reporter.Log(u"Compression could not be switched on: " + ErrorText(GetLastError()));
  }
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
}

}  // namespace

HMODULE LoadSystemFormatLibrary() {
  // By its full path in the system folder, never through the search order
  // (which would take a library of that name from the program's folder).
  wchar_t folder[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path = std::wstring(folder, length) + L"\\fmifs.dll";
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool SystemFormatAvailable() { return LoadFormatEx() != nullptr; }

FormatEnd SystemFormat(const FormatRequest& request, Reporter& reporter) {
  FormatExFn formatEx = LoadFormatEx();
  if (!formatEx) {
    reporter.Failure(u"The system's formatting service is not available; the drive was not formatted");
    return FormatEnd::Failed;
  }
  wchar_t root[] = L"X:\\";
  root[0] = wchar_t(request.drive);
  DWORD media = GetDriveTypeW(root) == DRIVE_REMOVABLE ? kMediaRemovable : kMediaFixed;
  reporter.Log(u"Formatting as " + request.fileSystem + (request.quick ? u" (quick)" : u""));
  std::lock_guard<std::mutex> hold(gFormatLock);
  gReporter = &reporter;
  gSucceeded = false;
  reporter.FormatProgress(0, true);
  formatEx(root, media, W(request.fileSystem), W(request.label), request.quick ? TRUE : FALSE,
           request.ClusterBytes(), &OnFormatEvent);
  gReporter = nullptr;
  if (!gSucceeded) {
    reporter.Failure(u"The system could not format the drive as " + request.fileSystem);
    return FormatEnd::Failed;
  }
  if (request.compression && SamePath(request.fileSystem, u"NTFS")) EnableCompression(root, reporter);
  reporter.FormatProgress(100, true);
  reporter.Log(u"Formatting complete");
  return FormatEnd::Formatted;
}

}  // namespace qv::engine
