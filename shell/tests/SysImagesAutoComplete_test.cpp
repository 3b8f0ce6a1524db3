// System image lists, the namespace list and auto-complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ShellTestHelpers.h"
#include "core/FencedObjects.h"
#include "shell/AutoComplete.h"
#include "shell/ShellUtilities.h"
#include "shell/SysImages.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

TEST(SysImages, BoundToTheSystemLists) {
  VirtualSysImages* small = SmallSysImages();
  VirtualSysImages* large = LargeSysImages();
  EXPECT_EQ(SmallSysImages(), small);
  ASSERT_TRUE(small->HandleAllocated());
  ASSERT_TRUE(large->HandleAllocated());
  EXPECT_TRUE(small->ShareImages());
  EXPECT_EQ(small->DrawingStyle(), dsTransparent);
  EXPECT_LT(small->Width(), large->Width());
  EXPECT_GT(small->Count(), 0);
  HIMAGELIST before = small->Handle();
  FlushImageLists();
  EXPECT_EQ(small->Handle(), before);  // the same system list again
  VirtualSysImages* extra = ExtraLargeSysImages();
  EXPECT_TRUE(extra->HandleAllocated());
  EXPECT_GE(extra->Width(), large->Width());
  // Icon indices of items point into the list.
  int index = DrivesFolder()->GetIconIndex(/*openIcon=*/false, 0, /*force=*/true);
  EXPECT_GE(index, 0);
  EXPECT_LT(index, small->Count());
}

TEST(SysImages, AnUnboundListAlreadyHasTheBoundListsSize) {
  VirtualSysImages* list = New<VirtualSysImages>(static_cast<TComponent*>(nullptr));
  EXPECT_FALSE(list->Bound());
  EXPECT_FALSE(list->HandleAllocated());
  const int width = list->Width(), height = list->Height();
  list->Bind();
  EXPECT_TRUE(list->Bound());
  ASSERT_TRUE(list->HandleAllocated());
  EXPECT_EQ(list->Handle(), SmallSysImages()->Handle());
  // Rows laid out before the binding stay right after it.
  EXPECT_EQ(list->Width(), width);
  EXPECT_EQ(list->Height(), height);
  list->Free();
  EXPECT_TRUE(SmallSysImagesUnbound() == SmallSysImages() && SmallSysImages()->Bound());
}

TEST(SysImages, ExtraLargeFallsBackToLargeOnWindows9x) {
  vws::SetForceAnsiPath(true);
  VirtualSysImages* list = New<VirtualSysImages>(static_cast<TComponent*>(nullptr));
  list->SetImageSize(2);
  vws::SetForceAnsiPath(false);
  EXPECT_EQ(list->Handle(), LargeSysImages()->Handle());
  EXPECT_EQ(list->Width(), LargeSysImages()->Width());
  list->Free();
}

TEST(SysImages, DefaultIndices) {
  EXPECT_EQ(DefaultSystemImageIndex(3), 29);
  EXPECT_EQ(DefaultSystemImageIndex(7), -1);
  EXPECT_EQ(DefaultSystemImageIndex(-1), -1);
  for (int kind : {0, 1, 2}) EXPECT_GE(DefaultSystemImageIndex(kind), 0);
}

TEST(NameSpaceList, OwnsItsItems) {
  TVirtualNameSpaceList list;
  list.Add(DrivesFolder()->Clone(true));
  list.Add(DesktopFolder()->Clone(true));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.Items(0)->IsMyComputer());
  EXPECT_TRUE(list.Items(1)->IsDesktop());
  list.Delete(0);  // freed by the list
  EXPECT_EQ(list.Count(), 1);
}

namespace {

struct Filter : TObject {
  std::u16string refused;
  int asked = 0;
  void AddItem(TObject*, TNamespace* item, bool& allow) {
    ++asked;
    if (item->NameInFolder() == refused) allow = false;
  }
};

}  // namespace

TEST(AutoComplete, CollectsTheCurrentFolder) {
  shelltest::TempFolder folder;
  folder.MakeFile(u"one.txt", 1);
  folder.MakeFile(u"Two.txt", 1);
  folder.MakeFile(u"secret.txt", 1, FILE_ATTRIBUTE_HIDDEN);
  std::u16string dir = folder.MakeFolder(u"dir");
  folder.MakeFile(u"dir\\inner.txt", 1);
  TVirtualShellAutoComplete* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  EXPECT_TRUE(complete->Contents().Contains(accCurrentDir));
  EXPECT_TRUE(complete->Contents().Contains(accMyComputer));
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accSortList});
  complete->SetCurrentDir(folder / u"nowhere");
  EXPECT_EQ(complete->CurrentDir(), u"");
  EXPECT_FALSE(complete->Dirty());
  complete->SetCurrentDir(folder.Path());
  EXPECT_TRUE(complete->Dirty());
  complete->Refresh();
  complete->FillStrings();
  TWideStringList* strings = complete->Strings();
  ASSERT_EQ(strings->Count(), 3);
  EXPECT_EQ(strings->Strings(0), dir);
  EXPECT_EQ(strings->Strings(1), folder / u"one.txt");
  EXPECT_EQ(strings->Strings(2), folder / u"Two.txt");

  Filter filter;
  filter.refused = u"one.txt";
  complete->OnAutoCompleteAddItem = MakeEvent<&Filter::AddItem>(&filter);
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accHidden, accRecursive});
  complete->SetDirty();
  complete->Refresh();
  complete->FillStrings();
  EXPECT_EQ(strings->IndexOf(folder / u"one.txt"), -1);
  EXPECT_NE(strings->IndexOf(folder / u"secret.txt"), -1);
  EXPECT_NE(strings->IndexOf(dir + u"\\inner.txt"), -1);
  EXPECT_EQ(strings->Count(), 4);
  EXPECT_EQ(filter.asked, 5);
  complete->Free();

  // A handler that frees the completer ends the collection at its first item;
  // nothing touches the fenced completer after its release.
  SetObjectFencing(sizeof(TVirtualShellAutoComplete));
  complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  SetObjectFencing(0);
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accMyComputer});
  complete->SetCurrentDir(folder.Path());
  static int asked;
  asked = 0;
  complete->OnAutoCompleteAddItem = [](TObject* sender, TNamespace*, bool&) {
    ++asked;
    sender->Free();
  };
  complete->Refresh();
  EXPECT_EQ(asked, 1);
  Application->ProcessMessages();
}

TEST(AutoComplete, MyComputerFileSystemOnly) {
  TVirtualShellAutoComplete* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  complete->SetContents({accMyComputer, accFileSysDirs, accFileSysFiles, accFileSysOnly});
  complete->SetDirty();
  complete->Refresh();
  complete->FillStrings();
  bool hasC = false;
  for (int i = 0; i < complete->NameSpaces()->Count(); ++i) {
    TNamespace* item = complete->NameSpaces()->Items(i);
    EXPECT_TRUE(item->FileSystem());
    EXPECT_FALSE(item->IsControlPanel());
    hasC = hasC || item->NameParseAddress() == u"C:\\";
  }
  EXPECT_TRUE(hasC);
  complete->Free();
}

TEST(AutoComplete, RecursionStopsAtItsDepthBound) {
  shelltest::TempFolder folder;
  constexpr int kLevels = TCustomVirtualShellAutoComplete::kMaxRecursionDepth + 3;
  std::u16string relative;
  for (int level = 1; level <= kLevels; ++level) {
    relative += level == 1 ? u"d" : u"\\d";
    folder.MakeFolder(relative);
  }
  TVirtualShellAutoComplete* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accRecursive});
  complete->SetCurrentDir(folder.Path());
  complete->Refresh();
  complete->FillStrings();
  // The folder's children are level 1; each level of recursion adds one.
  int deepest = 0;
  for (int i = 0; i < complete->Strings()->Count(); ++i) {
    std::u16string path = complete->Strings()->Strings(i);
    int level = static_cast<int>(std::count(path.begin() + folder.Path().size(), path.end(), u'\\'));
    deepest = std::max(deepest, level);
  }
  EXPECT_EQ(deepest, TCustomVirtualShellAutoComplete::kMaxRecursionDepth + 1);
  EXPECT_EQ(complete->Strings()->Count(), deepest);
  complete->Free();
}

// A wide folder: recursion enters only so many folders in one Refresh, in
// the order they are listed; every folder is still a candidate.
TEST(AutoComplete, RecursionEntersABoundedNumberOfFolders) {
  shelltest::TempFolder folder;
  constexpr int kFolders = TCustomVirtualShellAutoComplete::kMaxRecursiveFolders + 20;
  for (int i = 0; i < kFolders; ++i) {
    std::u16string name = u"d" + vws::FromAnsi(std::to_string(1000 + i));
    folder.MakeFolder(name);
    folder.MakeFile(name + u"\\inner.txt", 1);
  }
  TVirtualShellAutoComplete* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accRecursive});
  complete->SetCurrentDir(folder.Path());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    complete->SetDirty();
    complete->Refresh();
    complete->FillStrings();
    int folders = 0, inner = 0;
    for (int i = 0; i < complete->Strings()->Count(); ++i) {
      const std::u16string& path = complete->Strings()->Strings(i);
      if (path.size() > 10 && path.compare(path.size() - 10, 10, u"\\inner.txt") == 0) {
        ++inner;
      } else {
        ++folders;
      }
    }
    EXPECT_EQ(folders, kFolders);
    EXPECT_EQ(inner, TCustomVirtualShellAutoComplete::kMaxRecursiveFolders) << "each Refresh has the whole bound";
  }
  complete->Free();
}
