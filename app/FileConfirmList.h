#pragma once
// The file task's confirm list: one row per item a wipe of the checked paths
// reaches (FileListing.h), with size, date and type, and the totals.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FileListing.h"

class TListView;
class TNeededFolders;

struct TConfirmTotals {
  int64_t bytes = 0;  // the listed files' sizes
  int64_t files = 0;
  int64_t folders = 0;
};

// What the confirm step found besides its rows: the keys of every item it
// listed and of every folder the wipe passes (sorted, without repeats: what
// the wipe may take), and the checked items it left out because the system
// or this program needs them.
struct TConfirmListing {
  std::vector<TItemKey> keys;
  std::vector<TFolderTime> folderTimes;  // of the folders entered, sorted by key, one per key
  std::vector<TNeededTick> needed;
};

// Clears list (an owner-data list view) and fills it from checked (every
// checked item, each folder before its content) inside one update. The rows
// are kept by a component the list owns, which answers its OnData: texts are
// made as rows are shown. Row icons are indices into the shell's small system
// image list, which becomes the list's image list. Returns the totals of the
// rows. With listing, the keys and the needed items found go there; with
// needed, checked items that are, lie in or hold its folders are left out.
TConfirmTotals FillFileConfirmList(TListView* list, const std::vector<std::u16string>& checked,
                                   TConfirmListing* listing = nullptr, const TNeededFolders* needed = nullptr);

// The rows list shows, as FillFileConfirmList made them (none before it ran).
const std::vector<TListedItem>& FileConfirmRows(TListView* list);

// A last-write time as the list shows it: local time, to two seconds, as the
// user's short date and time ("" when it cannot be converted). Midnight shows
// the date alone.
std::string FormatListDate(const FILETIME& lastWrite);

// The confirm page's note on checked items that are not there: how many,
// then each path; then those the system or this program needs, each with its
// folder; then those reached through a link, each with the link; then those
// holding a folder that could not be read, each with it and why; "" for none.
std::u16string AbsentTicksText(const std::vector<std::u16string>& absent,
                               const std::vector<TNeededTick>& needed = {});
// The key of the text that names tick left out: on the confirm page (a
// heading with a count) or in the run's log (before each path).
const char* NeededTickTextKey(const TNeededTick& tick, bool confirmPage);
// tick's path with its folder, and why that could not be read: "P (F)", "P (F: why)".
std::u16string NeededTickNamed(const TNeededTick& tick);

// Links the wizard's confirm step to TMainForm::TransferFileListFromTree.
void LinkFileTask();
