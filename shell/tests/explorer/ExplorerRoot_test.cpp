// The root folder's item: a tree read from a form definition asks the shell
// for it only when it is first used, and then gets the item a tree made in
// code gets at once, for every special root folder.
#include <gtest/gtest.h>

#include "../ImportPatch.h"
#include "shell/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "win/ClassInfo.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

namespace {

// Lookups of this CSIDL (the node storage looks up the desktop's empty list: not counted).
int gCountedFolder = -1;
int gFolderLookups = 0;
using TLookup = HRESULT(WINAPI*)(HWND, int, LPITEMIDLIST*);
// The shell's own function: the program's import of it is patched.
const TLookup kLookup =
    reinterpret_cast<TLookup>(GetProcAddress(GetModuleHandleA("shell32.dll"), "SHGetSpecialFolderLocation"));

HRESULT WINAPI CountedLookup(HWND owner, int csidl, LPITEMIDLIST* pidl) {
  if (csidl == gCountedFolder && csidl != CSIDL_DESKTOP) ++gFolderLookups;
  return kLookup(owner, csidl, pidl);
}

bool SameItem(TNamespace* a, TNamespace* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return vst::ILIsEqual(a->AbsolutePIDL(), b->AbsolutePIDL()) && a->NameNormal() == b->NameNormal();
}

}  // namespace

TEST(ExplorerRoot, ARootReadFromADefinitionIsMadeOnFirstUseAsInCode) {
  Application->Initialize();
  InitializeShellToolkit();
  TImportPatch patch("shell32.dll", "SHGetSpecialFolderLocation", reinterpret_cast<void*>(&CountedLookup));
  ASSERT_TRUE(patch.Active());
  auto* probe = New<TVirtualExplorerTreeview>(nullptr);
  const TEnumNames& names = *GetPropInfo(probe, "RootFolder")->enumNames;
  probe->Free();
  for (int value = 0; value < rfCustom; ++value) {
    SCOPED_TRACE(names[value]);
    auto* form = New<TForm>(Application);
    gFolderLookups = 0;
    gCountedFolder = RootFolderCSIDL(static_cast<TRootFolder>(value));
    ReadFormDefinition(form, "TForm Form { TVirtualExplorerTreeview Read { Left = 0; Top = 0; Width = 200; "
                             "Height = 200; RootFolder = " + names[value] + "; } }");
    auto* read = qvtest::Find<TVirtualExplorerTreeview>(form, "Read");
    EXPECT_EQ(gFolderLookups, 0);
    EXPECT_EQ(read->RootFolder(), value);

    auto* made = New<TVirtualExplorerTreeview>(form);
    made->SetParent(form);
    made->SetRootFolder(static_cast<TRootFolder>(value));
    EXPECT_TRUE(SameItem(read->RootNamespace(), made->RootNamespace()));
    EXPECT_EQ(read->RootNamespace(), read->RootNamespace());  // made once
    if (gCountedFolder != CSIDL_DESKTOP) EXPECT_GT(gFolderLookups, 0);

    // Built, both trees show the same top item.
    read->SetActive(true);
    made->SetActive(true);
    ASSERT_EQ(read->GetFirst() == nullptr, made->GetFirst() == nullptr);
    if (read->GetFirst() != nullptr) {
      EXPECT_TRUE(SameItem(read->NodeNamespace(read->GetFirst()), made->NodeNamespace(made->GetFirst())));
      EXPECT_EQ(read->GetText(read->GetFirst(), NoColumn), made->GetText(made->GetFirst(), NoColumn));
    }
    form->Free();
  }
}

// A tree made in code (no definition) that is made active builds its
// desktop root as before.
TEST(ExplorerRoot, ATreeMadeInCodeBuildsTheDesktop) {
  Application->Initialize();
  auto* form = New<TForm>(Application);
  auto* tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  ASSERT_NE(tree->RootNamespace(), nullptr);
  EXPECT_TRUE(tree->RootNamespace()->IsDesktop());
  tree->SetActive(true);
  ASSERT_NE(tree->GetFirst(), nullptr);
  EXPECT_TRUE(tree->NodeNamespace(tree->GetFirst())->IsDesktop());
  form->Free();
}

// The one top node stands for the root folder even when it is set up before
// anything else asked for the root's item: it is the root, not an empty item.
TEST(ExplorerRoot, ATopNodeSetUpFirstStandsForAWaitingRoot) {
  Application->Initialize();
  InitializeShellToolkit();
  auto* form = New<TForm>(Application);
  ReadFormDefinition(form, "TForm Form { TVirtualExplorerTreeview Read { Left = 0; Top = 0; Width = 200; "
                           "Height = 200; RootFolder = rfDrives; } }");
  auto* read = qvtest::Find<TVirtualExplorerTreeview>(form, "Read");
  read->SetRootNodeCount(1);
  PVirtualNode top = read->GetFirst();
  ASSERT_NE(top, nullptr);
  TNamespace* ns = read->NodeNamespace(top);
  ASSERT_NE(ns, nullptr);
  EXPECT_TRUE(ns->IsMyComputer());
  EXPECT_TRUE(SameItem(ns, read->RootNamespace()));
  form->Free();
}
