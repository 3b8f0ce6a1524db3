// Shell utilities: enumeration flags, special-folder items, PIDL arrays,
// text extents and the bindings made at start-up.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "shell/AutoComplete.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"

TEST(ShellUtilities, FileObjectsToFlagsTable) {
  TFileObjects explorer{foFolders, foNonFolders, foHidden};
  TFileObjects withShareable{foFolders, foNonFolders, foHidden, foShareable};
  EXPECT_EQ(FileObjectsToFlagsFor(explorer, /*nt5OrLater=*/true), 0xE0u);
  EXPECT_EQ(FileObjectsToFlagsFor(withShareable, /*nt5OrLater=*/false), 0xE0u);
  EXPECT_EQ(FileObjectsToFlagsFor(withShareable, /*nt5OrLater=*/true), 0x4E0u);
  EXPECT_EQ(FileObjectsToFlagsFor({foNetworkPrinters}, true), 0x200u);
  EXPECT_EQ(FileObjectsToFlagsFor({foNetworkPrinters}, false), 0u);
  EXPECT_EQ(FileObjectsToFlagsFor({}, true), 0u);
  EXPECT_EQ(FileObjectsToFlags(withShareable), 0x4E0u);  // Wine reports a later NT
}

TEST(ShellUtilities, SpecialItemsAndBindings) {
  InitializeShellToolkit();  // a second call changes nothing
  ASSERT_NE(NamespacePIDLManager, nullptr);
  ASSERT_NE(GlobalPIDLManager, nullptr);
  EXPECT_TRUE(BindShellFunctions());
  EXPECT_NE(ShellILIsEqualProc, nullptr);
  EXPECT_NE(ShellILIsParentProc, nullptr);
  EXPECT_NE(AnimateWindowProc, nullptr);
  ASSERT_NE(DesktopDirectoryFolder(), nullptr);
  EXPECT_TRUE(DesktopDirectoryFolder()->FileSystem());
  EXPECT_TRUE(vws::WideDirectoryExists(DesktopDirectoryFolder()->NameForParsing()));
  // Every special item that exists was made with its parent item ready.
  for (TNamespace* item : {DesktopFolder(), RecycleBinFolder(), DesktopDirectoryFolder(), DrivesFolder(), PrintersFolder(),
                           HistoryFolder(), ControlPanelFolder(), NetworkFolder(), TemplatesFolder(), PersonalFolder(),
                           FavoritesFolder()}) {
    if (item == nullptr) continue;
    EXPECT_TRUE(item->IsDesktop() || item->Parent() != nullptr);
  }
  if (RecycleBinFolder() != nullptr) {
    EXPECT_TRUE(RecycleBinFolder()->IsRecycleBin());
    EXPECT_TRUE(RecycleBinFolder()->SubItems());  // the recycle bin always says it has items
    TNamespace* copy = RecycleBinFolder()->Clone(/*freePIDLOnDestroy=*/true);
    EXPECT_TRUE(copy->IsRecycleBin());  // the same item under another list
    copy->Free();
  }
  TNamespace* deep = TNamespace::CreateFromFileName(DesktopDirectoryFolder()->NameForParsing());
  ASSERT_NE(deep, nullptr);
  EXPECT_FALSE(deep->IsRecycleBin());
  deep->Free();
  EXPECT_FALSE(DrivesFolder()->IsRecycleBin());
  if (ControlPanelFolder() != nullptr) EXPECT_TRUE(ControlPanelFolder()->IsControlPanel());
  if (NetworkFolder() != nullptr) EXPECT_TRUE(NetworkFolder()->IsNetworkNeighborhood());
  EXPECT_FALSE(DrivesFolder()->IsNetworkNeighborhoodChild());
  EXPECT_EQ(CreateSpecialNamespace(0x7FFF), nullptr);
}

TEST(ShellUtilities, PIDLArraysKeepTheItemsPIDLs) {
  TNamespaceArray items{DesktopFolder(), DrivesFolder()};
  TPIDLArray relative = NamespaceToRelativePIDLArray(items);
  TPIDLArray absolute = NamespaceToAbsolutePIDLArray(items);
  ASSERT_EQ(relative.size(), 2u);
  EXPECT_EQ(absolute[0], DesktopFolder()->AbsolutePIDL());
  EXPECT_EQ(relative[1], DrivesFolder()->RelativePIDL());
  EXPECT_TRUE(NamespaceToAbsolutePIDLArray({}).empty());
}

TEST(ShellUtilities, IconsOfFoldersAndFiles) {
  shelltest::TempFolder folder;
  TNamespace* dir = TNamespace::CreateFromFileName(folder.MakeFolder(u"d"));
  EXPECT_GE(dir->GetIconIndex(/*openIcon=*/false, 0, false), 0);
  EXPECT_GE(dir->GetIconIndex(/*openIcon=*/true, 0, false), 0);
  EXPECT_GE(dir->GetIconIndex(/*openIcon=*/false, 1, /*force=*/true), 0);
  EXPECT_GE(dir->GetOverlayIndex(), -1);
  EXPECT_TRUE(dir->IsValid());
  dir->Free();
}

TEST(WideText, ExtentGrowsWithTheText) {
  TFont* font = New<TFont>();
  SIZE one = vws::WideTextExtent(font, u"W");
  SIZE three = vws::WideTextExtent(font, u"WWW");
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(one.cy, 0);
  EXPECT_GT(three.cx, one.cx);
  EXPECT_EQ(three.cy, one.cy);
  EXPECT_EQ(vws::WideTextExtent(font, u"").cx, 0);
  EXPECT_EQ(vws::WideTextExtent(nullptr, u"W").cx, 0);
  vws::SetForceAnsiPath(true);
  EXPECT_EQ(vws::WideTextExtent(font, u"WWW").cx, three.cx);
  vws::SetForceAnsiPath(false);
  font->Free();
}

TEST(AutoComplete, CurrentDirTravelsAsAPropertyInBothTextForms) {
  shelltest::TempFolder folder;
  TVirtualShellAutoComplete* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  const TPropInfo* prop = GetPropInfo(complete, "CurrentDir");
  ASSERT_NE(prop, nullptr);
  EXPECT_EQ(prop->kind, pkWideString);
  prop->setWide(complete, folder.Path());
  EXPECT_EQ(prop->getWide(complete), folder.Path());
  std::u16string sub = folder.MakeFolder(u"ansi");
  prop->setStr(complete, vws::ToAnsi(sub));
  EXPECT_EQ(complete->CurrentDir(), sub);
  EXPECT_NE(GetPropInfo(complete, "Contents"), nullptr);
  complete->Free();
}
