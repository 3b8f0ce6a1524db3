// Enumerates a folder of 10,000 files through the shell item wrapper and asks
// name, size, type and modification time of each, beside a plain
// FindFirstFileW loop over the same folder in the same run doing the same
// work: the modification time written as date and time, the type name asked
// of the shell once an extension and looked up after (as the wrapper keeps
// it). What differs: the loop takes the name from the find data where the
// wrapper asks the shell for the shown name, and asks a type by path where
// the wrapper asks by PIDL. Then each query alone on fresh items, to show
// where the time goes.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "shell/Namespace.h"
#include "BenchFolders.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

const int kFiles = kFlatFolderFiles;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Totals {
  size_t nameChars = 0;
  int64_t bytes = 0;
  size_t typeChars = 0;
  size_t timeChars = 0;
  int items = 0;
};

struct Enumerator : TObject {
  Totals totals;
  bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool&) {
    TNamespace* item = New<TNamespace>(child, parent);
    totals.nameChars += item->NameInFolder().size();
    totals.bytes += item->SizeOfFileInt64();
    totals.typeChars += item->FileType().size();
    totals.timeChars += item->LastWriteTime().size();
    ++totals.items;
    item->Free();
    return true;
  }
};


}  // namespace

int main() {
  InitializeShellToolkit();
  std::u16string folder = FlatBenchFolder(3);

  // Reference: the plain find loop, writing the time and finding the type name as the wrapper does.
  Totals plain;
  auto start = Clock::now();
  WIN32_FIND_DATAW data;
  std::u16string pattern = folder + u"\\*";
  std::map<std::wstring, std::wstring> typeNames;  // by extension, without case
  HANDLE find = FindFirstFileW(vws::W(pattern), &data);
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    plain.nameChars += wcslen(data.cFileName);
    plain.bytes += (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const wchar_t* dot = wcsrchr(data.cFileName, L'.');
    std::wstring extension = dot != nullptr ? dot : L"";
    CharUpperBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    auto known = typeNames.find(extension);
    if (known == typeNames.end()) {
      SHFILEINFOW info{};
      std::wstring path = reinterpret_cast<const wchar_t*>(folder.c_str()) + std::wstring(L"\\") + data.cFileName;
      SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_TYPENAME);
      known = typeNames.emplace(extension, info.szTypeName).first;
    }
    plain.typeChars += known->second.size();
    FILETIME local;
    SYSTEMTIME system;
    wchar_t date[80], clock[80];
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &system);
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &system, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &system, nullptr, clock, 80);
    plain.timeChars += (std::wstring(date) + L" " + clock).size();
    ++plain.items;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  double plainSeconds = Seconds(start);

  TNamespace* root = TNamespace::CreateFromFileName(folder);
  Enumerator enumerator;
  start = Clock::now();
  root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&Enumerator::Child>(&enumerator), nullptr);
  double shellSeconds = Seconds(start);
  // Each query alone, on fresh items, to show where the time goes.
  struct Collect : TObject {
    std::vector<LPITEMIDLIST> pidls;
    bool Child(HWND, LPITEMIDLIST child, TNamespace*, void*, bool&) {
      pidls.push_back(child);
      return true;
    }
  } collect;
  start = Clock::now();
  root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&Collect::Child>(&collect), nullptr);
  std::printf("enumeration alone        %8.2f us/item\n", Seconds(start) * 1e6 / kFiles);
  const char* names[] = {"name", "size", "type", "time"};
  for (int query = 0; query < 4; ++query) {
    start = Clock::now();
    size_t sink = 0;
    for (LPITEMIDLIST pidl : collect.pidls) {
      TNamespace* item = New<TNamespace>(NamespacePIDLManager->CopyPIDL(pidl), root);
      switch (query) {
        case 0: sink += item->NameInFolder().size(); break;
        case 1: sink += static_cast<size_t>(item->SizeOfFileInt64()); break;
        case 2: sink += item->FileType().size(); break;
        default: sink += item->LastWriteTime().size(); break;
      }
      item->Free();
    }
    std::printf("%-24s %8.2f us/item (%zu)\n", names[query], Seconds(start) * 1e6 / kFiles, sink);
  }
  for (LPITEMIDLIST pidl : collect.pidls) NamespacePIDLManager->FreePIDL(pidl);
  root->Free();

  std::printf("items            plain %d   shell %d\n", plain.items, enumerator.totals.items);
  std::printf("bytes            plain %lld   shell %lld\n", static_cast<long long>(plain.bytes),
              static_cast<long long>(enumerator.totals.bytes));
  std::printf("type chars       plain %zu   shell %zu\n", plain.typeChars, enumerator.totals.typeChars);
  std::printf("time chars       plain %zu   shell %zu\n", plain.timeChars, enumerator.totals.timeChars);
  std::printf("FindFirstFileW loop      %8.3f s  %8.2f us/item  (names from the find data, types by path)\n",
              plainSeconds, plainSeconds * 1e6 / kFiles);
  std::printf("TNamespace name/size/type/time %8.3f s  %8.2f us/item\n", shellSeconds, shellSeconds * 1e6 / kFiles);
  std::printf("ratio shell/plain        %8.1f\n", plainSeconds > 0 ? shellSeconds / plainSeconds : 0.0);
  // Both sides read every file and its size (names, types and times may be
  // written differently: shown or found, by PIDL or by path).
  const bool right = enumerator.totals.items == kFiles && plain.items == kFiles && enumerator.totals.bytes == plain.bytes;
  if (!right) std::printf("FAILED: the two sides did not read the same files\n");
  return right ? 0 : 1;
}
