// EngineBench PATH fill|random: wipes PATH (a file or a folder) with one
// pass through FileWipeListed, the way the program drives it (within the keys
// its confirm step lists, made by the program's own listing; a window taking
// the messages, a pumping wait on the handle), and prints the seconds the wipe
// took inside the process, the bytes of file data it overwrote, the MB/s
// those give and the number of files. run.sh times the whole process.
// EngineBench FOLDER names: what the system alone costs for hiding and
// removing the names of a folder of files, without the engine: each file
// renamed three times to a fresh random name of its name's length, then
// deleted, one after the other; printed the same way (no data overwritten).
// EngineBench FOLDER floor: what the system alone costs for the engine's whole
// work on each file of a folder, without its checks and messages: through
// one handle, one random pass written and flushed, the file cut to zero, its
// times reset and flushed again, three renames to fresh random names, the
// deletion; printed the same way.
// EngineBench FILE plainfill: the Wine floor of the fill pass: zeros written
// over the file through plain calls, as dd writes them, then flushed;
// EngineBench FILE plainwipe: the same, then the file cut, renamed and deleted
// as the engine does (see FillFloor.h); printed the same way.
// EngineBench FOLDER ticks: every file of the folder wiped by a FileWipe call
// of its own, one after the other in one process with one block, as the
// program hands over files ticked one by one (one random pass); printed the
// same way. Set beside the same files wiped as their folder (`random`).
// EngineBench FOLDER chain: the same, each call also naming the path that
// follows it (after the path's terminator), as the program hands them over.
// EngineBench - start: only the process and the message window every engine
// run has (its whole time is Wine's start and end of a process).
// EngineBench PATH hold: holds a message window until PATH is gone, which
// keeps Wine's desktop process up meanwhile, as the program's window does.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FileListing.h"
#include "FillFloor.h"
#include "NeededFolders.h"
#include "QuorvanellBlockPaths.h"
#include "QuorvanellBlocks.h"
#include "QuorvanellEngine.h"
#include "QuorvanellListed.h"

namespace {

LRESULT CALLBACK BenchWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_WIPE_LOG) {
    LocalFree(reinterpret_cast<HLOCAL>(wParam));
    return 0;
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

struct DataSize {
  double bytes = 0;
  long files = 0;
};

// The file data under PATH: the file's size, or the sizes of every file in
// the folder and its subfolders (links are not followed, as the engine
// does not follow them).
DataSize MeasureData(const std::wstring& path) {
  DataSize size;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return size;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    size.bytes = double(info.nFileSizeHigh) * 4294967296.0 + double(info.nFileSizeLow);
    size.files = 1;
    return size;
  }
  std::vector<std::wstring> folders{path};
  while (!folders.empty()) {
    std::wstring folder = folders.back();
    folders.pop_back();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(folder + L"\\" + found.cFileName);
      } else {
        size.bytes += double(found.nFileSizeHigh) * 4294967296.0 + double(found.nFileSizeLow);
        ++size.files;
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  return size;
}

// The file names of a folder, without its subfolders.
std::vector<std::wstring> FileNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

// Three renames to fresh random names and the deletion of every file of the folder.
bool RenameAndDeleteAll(const std::wstring& folder, long& files) {
  std::vector<std::wstring> names = FileNames(folder);
  uint32_t state = GetTickCount() | 1;
  auto next = [&] {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    return state;
  };
  for (const std::wstring& name : names) {
    std::wstring current = folder + L"\\" + name;
    for (int round = 0; round < 3; ++round) {
      std::wstring fresh(name.size(), L'a');
      for (wchar_t& c : fresh) c = L"abcdefghijklmnopqrstuvwxyz0123456789"[next() % 36];
      std::wstring target = folder + L"\\" + fresh;
      if (!MoveFileExW(current.c_str(), target.c_str(), 0)) return false;
      current = target;
    }
    if (!DeleteFileW(current.c_str())) return false;
    ++files;
  }
  return RemoveDirectoryW(folder.c_str()) != FALSE;
}

// The system's share of the engine's work on every file of the folder (see
// the top of this file); the files' bytes are counted in `bytes`.
bool FloorWipeAll(const std::wstring& folder, long& files, double& bytes) {
  uint32_t state = GetTickCount() | 1;
  auto next = [&] {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    return state;
  };
  std::vector<uint8_t> data(1 << 16);
  SYSTEMTIME old = {1980, 1, 0, 1, 0, 0, 0, 0};
  FILETIME neutral;
  SystemTimeToFileTime(&old, &neutral);
  for (const std::wstring& name : FileNames(folder)) {
    HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {}, zero = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= LONGLONG(data.size());
    for (size_t i = 0; ok && i < size_t(size.QuadPart); ++i) data[i] = uint8_t(next());
    DWORD written = 0;
    ok = ok && WriteFile(file, data.data(), DWORD(size.QuadPart), &written, nullptr) && FlushFileBuffers(file) &&
         SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
         SetFileTime(file, &neutral, &neutral, &neutral) && FlushFileBuffers(file);
    for (int round = 0; ok && round < 3; ++round) {
      std::wstring fresh(name.size(), L'a');
      for (wchar_t& c : fresh) c = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"[next() % 36];
      ok = RenameOpen(file, folder, fresh);
    }
    FILE_DISPOSITION_INFO remove = {TRUE};
    ok = ok && SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(file);
    if (!ok) return false;
    bytes += double(size.QuadPart);
    ++files;
  }
  return RemoveDirectoryW(folder.c_str()) != FALSE;
}

// The window the engine's messages go to, as the program has one.
HWND MakeMessageWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = BenchWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"EngineBenchWindow";
  RegisterClassW(&wc);
  return CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: EngineBench PATH fill|random|ticks|chain|names|floor|plainfill|plainwipe|start|hold\n");
    return 2;
  }
  if (std::wcscmp(argv[2], L"names") == 0) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long files = 0;
    bool ok = RenameAndDeleteAll(argv[1], files);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("%.3f 0 0.0 %ld%s\n", seconds, files, ok ? "" : " FAILED");
    return ok ? 0 : 1;
  }
  if (std::wcscmp(argv[2], L"start") == 0) {  // what every engine run pays besides the wipe
    HWND wnd = MakeMessageWindow();
    std::printf("0.000 0 0.0 0\n");
    DestroyWindow(wnd);
    return 0;
  }
  if (std::wcscmp(argv[2], L"hold") == 0) {  // keeps Wine's desktop up while PATH exists
    HWND wnd = MakeMessageWindow();
    while (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) Sleep(100);
    DestroyWindow(wnd);
    return 0;
  }
  if (std::wcscmp(argv[2], L"plainfill") == 0 || std::wcscmp(argv[2], L"plainwipe") == 0) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    FloorResult floor = PlainFill(argv[1], std::wcscmp(argv[2], L"plainwipe") == 0);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("%.3f %.0f %.1f 1%s\n", seconds, floor.bytes, floor.bytes / seconds / 1e6, floor.ok ? "" : " FAILED");
    return floor.ok ? 0 : 1;
  }
  if (std::wcscmp(argv[2], L"floor") == 0) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long files = 0;
    double bytes = 0;
    bool ok = FloorWipeAll(argv[1], files, bytes);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("%.3f %.0f %.1f %ld%s\n", seconds, bytes, bytes / seconds / 1e6, files, ok ? "" : " FAILED");
    return ok ? 0 : 1;
  }
  const bool chain = std::wcscmp(argv[2], L"chain") == 0;
  const bool ticks = std::wcscmp(argv[2], L"ticks") == 0 || chain;
  bool random = std::wcscmp(argv[2], L"random") == 0 || ticks;
  if (GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "no such file or folder\n");
    return 2;
  }
  DataSize data = MeasureData(argv[1]);

  HWND wnd = MakeMessageWindow();

  auto* block = static_cast<TWipeParams*>(LocalAlloc(LPTR, sizeof(TWipeParams)));
  block->Active = 1;
  block->Wnd = uint32_t(reinterpret_cast<uintptr_t>(wnd));
  block->PassCount = 1;
  const uint8_t pass[4] = {0x00, uint8_t(random ? 0x20 : 0), uint8_t(random ? 0x20 : 0), uint8_t(random ? 0x20 : 0)};
  std::memcpy(block->Passes[0], pass, 4);
  std::wcsncpy(reinterpret_cast<wchar_t*>(block->Path), argv[1], kBlockTextChars - 1);

  std::vector<std::wstring> paths;
  if (ticks) {
    for (const std::wstring& name : FileNames(argv[1])) paths.push_back(std::wstring(argv[1]) + L"\\" + name);
  } else {
    paths.push_back(argv[1]);
  }
  // Within what the program's confirm step lists for these ticks, made by its
  // own listing before the clock starts (the confirm step pays it, not the run).
  std::vector<std::u16string> checked;
  for (const std::wstring& path : paths) checked.emplace_back(path.begin(), path.end());
  std::vector<TNeededTick> leftOut;
  const TNeededFolders needed = TNeededFolders::OfThisSystem();
  std::vector<TFolderTime> folderTimes;
  const std::vector<TItemKey> keys = ListCheckedKeys(checked, [](TListedItem&&) {}, &leftOut, &needed, &folderTimes);
  for (const TNeededTick& tick : leftOut) {
    std::fprintf(stderr, "the confirm step leaves out %ls (%ls)\n", reinterpret_cast<const wchar_t*>(tick.path.c_str()),
                 reinterpret_cast<const wchar_t*>(tick.folder.c_str()));
  }
  if (!leftOut.empty()) {
    std::printf("FAILED: the confirm step leaves out %zu of the items\n", leftOut.size());
    return 1;
  }
  const TListedItems listed = ListedItemsOf(keys, folderTimes);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (size_t i = 0; i <= paths.size(); ++i) {
    // The run ends with a call without a path, which finishes the folder's pending work.
    if (i == paths.size()) {
      std::memset(block->Path, 0, sizeof block->Path);
      HANDLE handle = FileWipeListed(block, &listed);
      if (!handle) {
        std::printf("FAILED: the engine took no call\n");
        return 1;
      }
      while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
      CloseHandle(handle);
      break;
    }
    const std::wstring& path = paths[i];
    const std::wstring next = chain && i + 1 < paths.size() ? paths[i + 1] : std::wstring();
    WriteBlockPaths(*block, reinterpret_cast<const char16_t*>(path.c_str()), path.size(),
                    reinterpret_cast<const char16_t*>(next.c_str()), next.size());
    HANDLE handle = FileWipeListed(block, &listed);
    if (!handle) {
      std::printf("FAILED: the engine took no call for %ls\n", path.c_str());
      return 1;
    }
    while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
    CloseHandle(handle);
  }
  QueryPerformanceCounter(&end);
  Pump();
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  bool failed = block->Reserved2 != 0;
  for (const std::wstring& path : paths) failed = failed || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  std::printf("%.3f %.0f %.1f %ld%s\n", seconds, data.bytes, data.bytes / seconds / 1e6, data.files,
              failed ? " FAILED" : "");
  LocalFree(block);
  DestroyWindow(wnd);
  return failed ? 1 : 0;
}
