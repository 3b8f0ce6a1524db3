#include "shell/ShellSortHelper.h"

#include "shell/VirtualWideStrings.h"

namespace {

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

}  // namespace

int TShellSortHelper::CompareIDSort(int column, TNamespace* a, TNamespace* b) {
  if (a->ParentShellFolder() == nullptr) return 0;
  int result = b->ComparePIDL(a->RelativePIDL(), /*siblingCheck=*/false, column);
  if (column >= 1 && result == 0) result = vws::WideStrICompOS(a->NameNormal().c_str(), b->NameNormal().c_str());
  return result;
}

int TShellSortHelper::DiscriminateFolders(TNamespace* a, TNamespace* b) {
  bool folderA = a->Folder();
  bool folderB = b->Folder();
  if (folderA == folderB) return 0;
  return folderA ? -1 : 1;
}

int TShellSortHelper::SortFileSize(TNamespace* a, TNamespace* b) {
  int result = DiscriminateFolders(a, b);
  if (result != 0) return result;
  int64_t sizeA = a->SizeOfFileInt64();
  int64_t sizeB = b->SizeOfFileInt64();
  if (sizeA != sizeB) return sizeA > sizeB ? 1 : -1;
  return CompareIDSort(0, a, b);
}

int TShellSortHelper::SortFileTime(FILETIME timeA, FILETIME timeB, TNamespace* a, TNamespace* b) {
  int result = DiscriminateFolders(a, b);
  if (result != 0) return result;
  result = CompareFileTime(&timeA, &timeB);
  if (result != 0) return result;
  return CompareIDSort(0, a, b);
}

int TShellSortHelper::SortString(const std::u16string& textA, const std::u16string& textB, TNamespace* a,
                                 TNamespace* b) {
  int result = DiscriminateFolders(a, b);
  if (result != 0) return result;
  result = Sign(vws::WideStrICompOS(textA.c_str(), textB.c_str()));
  if (result != 0) return result;
  return CompareIDSort(0, a, b);
}

int TShellSortHelper::SortType(TNamespace* a, TNamespace* b) {
  if (fileSort == fsFileType) return SortString(a->FileType(), b->FileType(), a, b);
  int result = DiscriminateFolders(a, b);
  if (result != 0) return result;
  if (a->FileSystem() && b->FileSystem()) {
    result = SortString(vws::WideExtractFileExt(a->NameParseAddress()), vws::WideExtractFileExt(b->NameParseAddress()),
                        a, b);
  }
  if (result != 0) return result;
  return CompareIDSort(0, a, b);
}
