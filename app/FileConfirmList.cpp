#include <windows.h>
#include <shellapi.h>

#include "FileConfirmList.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "FileListing.h"
#include "Language.h"
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

namespace {

// The confirm list's rows, kept beside the list (which owns this) and handed
// to it as it shows them: the list costs what is on the screen, whatever the
// number of rows.
class TConfirmRows : public TComponent {
public:
  static TConfirmRows* Of(TListView* list) {
    for (int i = 0; i < list->ComponentCount(); ++i)
      if (auto* rows = dynamic_cast<TConfirmRows*>(list->Components(i))) return rows;
    auto* rows = New<TConfirmRows>(list);
    list->OnData = MakeEvent<&TConfirmRows::Data>(rows);
    return rows;
  }

  TConfirmTotals Fill(const std::vector<std::u16string>& checked, TConfirmListing* listing,
                      const TNeededFolders* needed) {
    TConfirmTotals totals;
    rows.clear();
    kinds = TFileKinds();
    auto add = [&](TListedItem&& item) {
      rows.push_back(std::move(item));
      const TListedItem& row = rows.back();
      if (!row.found) return;
      if (row.folder) {
        ++totals.folders;
        return;
      }
      totals.bytes += static_cast<int64_t>(row.size);
      ++totals.files;
    };
    if (listing != nullptr)
      listing->keys = ListCheckedKeys(checked, add, &listing->needed, needed, &listing->folderTimes);
    else ListCheckedItems(checked, add, nullptr, needed);
    // The folder's type name as the interface language gives it now.
    if (totals.folders > 0) kinds.OfFolder();
    return totals;
  }
  int Count() const { return static_cast<int>(rows.size()); }
  const std::vector<TListedItem>& Rows() const { return rows; }

private:
  void Data(TObject*, TListItem* item) {
    const TListedItem& row = rows.at(static_cast<size_t>(item->Index()));
    item->SetWideCaption(row.path);
    if (!row.found) {
      item->SetImageIndex(kinds.OfFile(row.path).iconIndex);
      return;
    }
    const TFileKind& kind = row.folder ? kinds.OfFolder() : kinds.OfFile(row.path);
    TStrings* columns = item->SubItems();
    columns->Add(row.folder ? "" : FormatSize(static_cast<int64_t>(row.size)));
    columns->Add(FormatListDate(row.lastWrite));
    columns->Add(kind.typeName);
    item->SetImageIndex(kind.iconIndex);
  }

  std::vector<TListedItem> rows;
  TFileKinds kinds;
};

}  // namespace

const char* NeededTickTextKey(const TNeededTick& tick, bool confirmPage) {
  if (!tick.unreadable.empty()) return confirmPage ? "strTicksUnreadable" : "strUnreadableNotWiped";
  if (tick.throughLink) return confirmPage ? "strTicksThroughLink" : "strThroughLinkNotWiped";
  return confirmPage ? "strTicksNeeded" : "strNeededNotWiped";
}

std::u16string NeededTickNamed(const TNeededTick& tick) {
  return tick.path + u" (" + tick.folder + (tick.unreadable.empty() ? u"" : u": " + tick.unreadable) + u")";
}

std::u16string AbsentTicksText(const std::vector<std::u16string>& absent, const std::vector<TNeededTick>& needed) {
  std::u16string text;
  if (!absent.empty()) {
    text = AnsiToWide(ReplacePlaceholder(MiscText("strTicksNotThere"), "%s", std::to_string(absent.size())));
    for (size_t i = 0; i < absent.size(); ++i) text += (i == 0 ? u" " : u"; ") + absent[i];
  }
  // Those needed, each with its folder; those reached through a link, each
  // with the link; those holding a folder that could not be read, with it and why.
  for (const char* key : {"strTicksNeeded", "strTicksThroughLink", "strTicksUnreadable"}) {
    auto ofKey = [key](const TNeededTick& tick) {
      return std::strcmp(NeededTickTextKey(tick, /*confirmPage=*/true), key) == 0;
    };
    const size_t count = static_cast<size_t>(std::count_if(needed.begin(), needed.end(), ofKey));
    if (count == 0) continue;
    if (!text.empty()) text += u"\r\n";
    text += AnsiToWide(ReplacePlaceholder(MiscText(key), "%s", std::to_string(count)));
    const char16_t* separator = u" ";
    for (const TNeededTick& tick : needed) {
      if (!ofKey(tick)) continue;
      text += separator + NeededTickNamed(tick);
      separator = u"; ";
    }
  }
  return text;
}

const std::vector<TListedItem>& FileConfirmRows(TListView* list) { return TConfirmRows::Of(list)->Rows(); }

TConfirmTotals FillFileConfirmList(TListView* list, const std::vector<std::u16string>& checked,
                                   TConfirmListing* listing, const TNeededFolders* needed) {
  TConfirmRows* rows = TConfirmRows::Of(list);
  list->SetSmallImages(SmallSysImages());
  TListItems* shown = list->Items();
  shown->BeginUpdate();
  shown->Clear();
  TConfirmTotals totals;
  try {
    totals = rows->Fill(checked, listing, needed);
  } catch (...) {
    shown->SetCount(rows->Count());
    shown->EndUpdate();
    throw;
  }
  shown->SetCount(rows->Count());
  shown->EndUpdate();
  if (shown->Count() > 0) shown->Item(shown->Count() - 1)->MakeVisible();
  return totals;
}
