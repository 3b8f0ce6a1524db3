#pragma once
// The folders the wipe never touches, known by key so that any name that
// reaches them (another drive letter, a short name, another case) is
// recognised: the Windows folder and the program's own, and every folder
// holding one of them. The engine refuses them at wipe time; the confirm
// step names them beforehand and leaves them out of the list and totals.
#include <string>
#include <utility>
#include <vector>

#include "QuorvanellListed.h"

class TNeededFolders {
public:
  // The folders of this system: the Windows folder and the program's folder.
  static TNeededFolders OfThisSystem();
  // The given folders (paths with a drive, without a trailing backslash
  // except a root); folders that cannot be opened are left out.
  explicit TNeededFolders(const std::vector<std::u16string>& folders);
  TNeededFolders() = default;

  // The needed folder that key is (the item is that folder), or null.
  const std::u16string* Is(const TItemKey& key) const;
  // The needed folder that the folder with key holds, or null.
  const std::u16string* HeldBy(const TItemKey& key) const;
  // The needed folder whose files a file directly in the folder with key
  // goes with, or null: under Wine a folder of the host above the drive
  // holding a needed folder (the prefix keeps the registry's files there).
  const std::u16string* KeepsFilesOf(const TItemKey& key) const;

private:
  // Under Wine, the folders of the host above the drive root that holds folder.
  void AddHostHolders(const std::u16string& folder);

  std::vector<std::pair<TItemKey, std::u16string>> own;          // each needed folder
  std::vector<std::pair<TItemKey, std::u16string>> holders;      // each folder holding one, with the folder held
  std::vector<std::pair<TItemKey, std::u16string>> hostHolders;  // those of them above the drive's root
};
