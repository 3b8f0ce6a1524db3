#pragma once
// TShellSortHelper: the rules by which the explorer views order the children
// of a folder. Every comparison answers <0 when the first item sorts first,
// 0 when equal, >0 otherwise. Folders come before files; names and
// extensions compare without regard to case.
#include <string>

#include "shell/Namespace.h"

class TShellSortHelper {
public:
  virtual ~TShellSortHelper() = default;

  // The shell's order of a and b in column; 0 without a's parent folder; for
  // column >= 1 a tie is broken by the normal names.
  virtual int CompareIDSort(int column, TNamespace* a, TNamespace* b);
  // -1 when only a is a folder, 1 when only b is, else 0.
  virtual int DiscriminateFolders(TNamespace* a, TNamespace* b);
  // Folders first, then by size, then by the shell's order.
  virtual int SortFileSize(TNamespace* a, TNamespace* b);
  // Folders first, then by time, then by the shell's order.
  virtual int SortFileTime(FILETIME timeA, FILETIME timeB, TNamespace* a, TNamespace* b);
  // Folders first, then by text (case-insensitive), then by the shell's order.
  virtual int SortString(const std::u16string& textA, const std::u16string& textB, TNamespace* a, TNamespace* b);
  // By type name or by extension (FileSort).
  virtual int SortType(TNamespace* a, TNamespace* b);

  TFileSort FileSort() const { return fileSort; }
  void SetFileSort(TFileSort value) { fileSort = value; }

private:
  TFileSort fileSort = fsFileType;
};
