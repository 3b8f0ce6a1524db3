// The file task's confirm list for a checked folder of 50,000 files (100
// folders of 500; 240 under QV_BENCH_SMALL), filled and painted in its
// owner-data list view, beside a plain recursive FindFirstFileW walk of the
// same folder, in alternated rounds; the rows carry their keys, as the
// confirm step makes them.
// For scale: a list holding every row (the framework's, and the system list
// view alone) adding and deleting as many rows, which the owner-data list
// never pays, and every row's texts asked of the confirm list once.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "BenchFolders.h"
#include "BenchSize.h"
#include "FileConfirmList.h"
#include "FileListing.h"
#include "NeededFolders.h"
#include "PairedRounds.h"
#include "shell/ShellUtilities.h"
#include "win/Forms.h"
#include "win/controls/ComCtrls.h"

namespace {

// At least 11 folders of 10 files: the cases below check items of the first 11.
const int kFolders = BenchSize(100, 12);
const int kFilesPerFolder = BenchSize(500, 20);

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

std::u16string Number(int n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// Files and folders below folder, with their sizes summed: the reference.
struct TWalk {
  int64_t files = 0, folders = 0, bytes = 0;
  void Walk(const std::u16string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(folder + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      if (data.cFileName[0] == L'.' && (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0)))
        continue;
      std::u16string path = folder + u"\\" + reinterpret_cast<const char16_t*>(data.cFileName);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ++folders;
        Walk(path);
        continue;
      }
      ++files;
      bytes += (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
};

}  // namespace

int main() {
  InitializeShellToolkit();
  Application->Initialize();
  const char16_t* extensions[] = {u".txt", u".bin", u".doc", u".jpg"};
  std::u16string root = KeptBenchFolder(u"qvbench_confirm_" + Number(kFolders * kFilesPerFolder), [&](const std::u16string& root) {
    for (int f = 0; f < kFolders; ++f) {
      std::u16string folder = root + u"\\folder" + Number(f);
      CreateDirectoryW(W(folder), nullptr);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        std::u16string name = folder + u"\\file" + Number(i) + extensions[i % 4];
        HANDLE file = CreateFileW(W(name), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, "0123456789", static_cast<DWORD>(i % 11), &written, nullptr);
        CloseHandle(file);
      }
    }
  });

  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 500, 300);
  auto makeList = [&](bool ownerData) {
    TListView* list = New<TListView>(form);
    list->SetParent(form);
    list->SetBounds(0, 0, 480, 260);
    list->SetViewStyle(vsReport);
    list->SetOwnerData(ownerData);
    const char* captions[] = {"Name", "Size", "Date", "Type"};
    for (const char* caption : captions) list->Columns()->Add()->SetCaption(caption);
    return list;
  };
  TListView* list = makeList(false);
  form->Show();

  {
    // A list holding its rows: what it costs per row, with fixed texts.
    list->Items()->BeginUpdate();
    list->Items()->Clear();
    auto start = Clock::now();
    for (int i = 0; i < kFolders * kFilesPerFolder; ++i) {
      TListItem* row = list->Items()->Add();
      row->SetWideCaption(u"C:\\some\\folder\\file.txt");
      row->SubItems()->Add("1 KB");
      row->SubItems()->Add("12/7/2026 10:00:00");
      row->SubItems()->Add("Text file");
      row->SetImageIndex(3);
    }
    double addSeconds = Seconds(start);
    start = Clock::now();
    list->Items()->Clear();
    double clearSeconds = Seconds(start);
    list->Items()->EndUpdate();
    std::printf("for scale, a list holding its rows: %d added %8.1f ms, cleared %8.1f ms\n", kFolders * kFilesPerFolder,
                addSeconds * 1e3, clearSeconds * 1e3);
    list->Free();
    list = makeList(true);
  }
  {
    // The system's list view alone inserting as many rows whose texts it
    // asks for when painting, and deleting them: what any list holding every
    // row pays, whatever fills it.
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 500, 300, nullptr, nullptr, nullptr, nullptr);
    HWND raw = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 480, 260, host, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.iImage = I_IMAGECALLBACK;
    auto start = Clock::now();
    for (int i = 0; i < kFolders * kFilesPerFolder; ++i) {
      item.iItem = i;
      SendMessageW(raw, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    double insertSeconds = Seconds(start);
    start = Clock::now();
    SendMessageW(raw, LVM_DELETEALLITEMS, 0, 0);
    double deleteSeconds = Seconds(start);
    DestroyWindow(host);
    std::printf("for scale, the system list view alone: %d rows inserted %8.1f ms, deleted %8.1f ms\n",
                kFolders * kFilesPerFolder, insertSeconds * 1e3, deleteSeconds * 1e3);
  }
  // The checked items as the tree hands them: the folder alone, the folder
  // with ten of its subfolders and ten files of another, which the tree
  // reports checked too once they were shown, and the folder with every item
  // in it, each folder before its content.
  std::vector<std::u16string> withShown = {root};
  for (int f = 0; f < 10; ++f) withShown.push_back(root + u"\\folder" + Number(f));
  for (int i = 0; i < 10; ++i) withShown.push_back(root + u"\\folder10\\file" + Number(i) + extensions[i % 4]);
  std::vector<std::u16string> everyItem = {root};
  for (int f = 0; f < kFolders; ++f) {
    const std::u16string folder = root + u"\\folder" + Number(f);
    everyItem.push_back(folder);
    for (int i = 0; i < kFilesPerFolder; ++i) everyItem.push_back(folder + u"\\file" + Number(i) + extensions[i % 4]);
  }
  const std::pair<const char*, std::vector<std::u16string>> cases[] = {
      {"the folder checked", {root}},
      {"the folder and 20 items in it checked", withShown},
      {"the folder and every item in it checked", everyItem},
  };
  const int rounds = BenchSize(7, 2);
  std::printf("%d alternated rounds of the walk and the list, %s\n", rounds, MachineLoad().c_str());
  int status = 0;
  for (const auto& [name, checked] : cases) {
    std::printf("%s:\n", name);
    TWalk walk;
    TConfirmTotals totals;
    TPairedRounds fill;
    fill.Run(rounds, [&] {
      const auto start = Clock::now();
      // As the confirm step does it: every row with its key, the needed folders looked up.
      const TNeededFolders needed = TNeededFolders::OfThisSystem();
      TConfirmListing listing;
      totals = FillFileConfirmList(list, checked, &listing, &needed);
      UpdateWindow(list->Handle());
      return Seconds(start);
    }, [&] {
      const auto start = Clock::now();
      walk = TWalk();
      walk.Walk(root);
      return Seconds(start);
    });
    const int rows = static_cast<int>(SendMessageW(list->Handle(), LVM_GETITEMCOUNT, 0, 0));
    std::printf("  %d rows (%lld files, %lld folders, %lld bytes; walk %lld files, %lld folders, %lld bytes)\n", rows,
                static_cast<long long>(totals.files), static_cast<long long>(totals.folders),
                static_cast<long long>(totals.bytes), static_cast<long long>(walk.files),
                static_cast<long long>(walk.folders), static_cast<long long>(walk.bytes));
    // The folder's own row besides what the walk counts.
    if (totals.files != walk.files || totals.folders != walk.folders + 1 || totals.bytes != walk.bytes ||
        rows != totals.files + totals.folders || walk.files != kFolders * kFilesPerFolder) {
      std::printf("  the list does not hold what the walk found\n");
      status = 1;
    }
    std::printf("  plain FindFirstFileW walk     %8.1f ms median\n", fill.Reference().median * 1e3);
    std::printf("  confirm list filled and shown %8.1f ms median, over the walk %s (goal 1.2x)\n",
                fill.Work().median * 1e3, fill.RatioText().c_str());
  }

  // Where the list's time goes, for scale: the listing alone, the dates of
  // every row, and every row's texts asked of the list as painting them all would.
  auto start = Clock::now();
  std::vector<FILETIME> times;
  ListCheckedItems({root}, [&](const TListedItem& item) { times.push_back(item.lastWrite); });
  const double listSeconds = Seconds(start);
  start = Clock::now();
  size_t dateChars = 0;
  for (const FILETIME& time : times) dateChars += FormatListDate(time).size();
  const double dateSeconds = Seconds(start);
  FillFileConfirmList(list, {root});
  start = Clock::now();
  wchar_t text[512];
  size_t chars = 0;
  const int rows = static_cast<int>(SendMessageW(list->Handle(), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < 4; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 512;
      chars += static_cast<size_t>(SendMessageW(list->Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                                reinterpret_cast<LPARAM>(&item)));
    }
  }
  const double textSeconds = Seconds(start);
  std::printf("for scale: the listing alone %.1f ms, every row's date %.1f ms (%zu characters), every row's texts read "
              "%.1f ms (%zu characters)\n",
              listSeconds * 1e3, dateSeconds * 1e3, dateChars, textSeconds * 1e3, chars);
  form->Free();
  return status;
}
