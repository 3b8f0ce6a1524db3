#include <windows.h>
#include <shellapi.h>

#include "FileConfirmList.h"

#include <unordered_map>

#include "FileListing.h"
#include "MiscTexts.h"
#include "Utils.h"
#include "shell/SysImages.h"
#include "win/TextConvert.h"
#include "win/controls/ComCtrls.h"

namespace {

// The shell's type name and small icon of a kind of file, asked once per
// extension: both follow from the name alone for a path taken as a normal file.
struct TFileKind {
  std::string typeName;
  int iconIndex = -1;
};

class TFileKinds {
public:
  const TFileKind& OfFile(const std::u16string& path) { return Lookup(ExtensionOf(path), FILE_ATTRIBUTE_NORMAL); }
  const TFileKind& OfFolder() {
    if (!folderKnown) {
      folder = Ask(u"folder", FILE_ATTRIBUTE_DIRECTORY);
      folder.typeName = MiscText("strFolder");
      folderKnown = true;
    }
    return folder;
  }

private:
  // The lower-case extension with its dot ("" for none); the name part only.
  static std::u16string ExtensionOf(const std::u16string& path) {
    size_t slash = path.find_last_of(u'\\');
    size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return u"";
    std::u16string ext = path.substr(dot);
    CharLowerBuffW(reinterpret_cast<LPWSTR>(ext.data()), static_cast<DWORD>(ext.size()));
    return ext;
  }

  const TFileKind& Lookup(const std::u16string& ext, DWORD attributes) {
    auto found = kinds.find(ext);
    if (found != kinds.end()) return found->second;
    return kinds.emplace(ext, Ask(u"file" + ext, attributes)).first->second;
  }

  static TFileKind Ask(const std::u16string& name, DWORD attributes) {
    TFileKind kind;
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(name.c_str()), attributes, &info, sizeof(info),
                       SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
      kind.typeName = WideToAnsi(reinterpret_cast<const char16_t*>(info.szTypeName));
      kind.iconIndex = info.iIcon;
    }
    return kind;
  }

  std::unordered_map<std::u16string, TFileKind> kinds;
  TFileKind folder;
  bool folderKnown = false;
};

}  // namespace

std::string FormatListDate(const FILETIME& lastWrite) {
  FILETIME local{}, rounded{};
  WORD dosDate = 0, dosTime = 0;
  SYSTEMTIME time{};
  if (!FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime) ||
      !DosDateTimeToFileTime(dosDate, dosTime, &rounded) || !FileTimeToSystemTime(&rounded, &time))
    return "";
  wchar_t date[80] = {}, clock[80] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 80) == 0) return "";
  std::u16string text = reinterpret_cast<const char16_t*>(date);
  if (time.wHour != 0 || time.wMinute != 0 || time.wSecond != 0) {
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, 80) == 0) return "";
    text += u' ';
    text += reinterpret_cast<const char16_t*>(clock);
  }
  return WideToAnsi(text);
}

TConfirmTotals FillFileConfirmList(TListView* list, const std::vector<std::u16string>& checked) {
  TConfirmTotals totals;
  TFileKinds kinds;
  list->SetSmallImages(SmallSysImages());
  TListItems* rows = list->Items();
  rows->BeginUpdate();
  rows->Clear();
  try {
    ListCheckedItems(checked, [&](const TListedItem& item) {
      TListItem* row = rows->Add();
      row->SetWideCaption(item.path);
      if (!item.found) {
        row->SetImageIndex(kinds.OfFile(item.path).iconIndex);
        return;
      }
      const TFileKind& kind = item.folder ? kinds.OfFolder() : kinds.OfFile(item.path);
      TStrings* columns = row->SubItems();
      columns->Add(item.folder ? "" : FormatSize(static_cast<int64_t>(item.size)));
      columns->Add(FormatListDate(item.lastWrite));
      columns->Add(kind.typeName);
      row->SetImageIndex(kind.iconIndex);
      if (item.folder) {
        ++totals.folders;
        return;
      }
      totals.bytes += static_cast<int64_t>(item.size);
      ++totals.files;
    });
  } catch (...) {
    rows->EndUpdate();
    throw;
  }
  rows->EndUpdate();
  if (rows->Count() > 0) rows->Item(rows->Count() - 1)->MakeVisible();
  return totals;
}
