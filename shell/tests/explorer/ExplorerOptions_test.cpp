// The explorer tree's option setters and what they apply: the context-menu
// switch, the selection and sorting rules, the notifier options that pull
// each other, and the shell's create-shortcut entry kept out of the file
// tree's menu.
#include <algorithm>

#include "ExplorerTestSupport.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ShellUtilities.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

using ExplorerOptions = ExplorerFixture;

std::vector<std::u16string> gMenuVerbs;
int gMenusShown = 0;

// The verbs of every command of the menu about to show; the menu is not shown.
void CollectVerbs(TNamespace* ns, HMENU menu, bool& allow) {
  ++gMenusShown;
  gMenuVerbs.clear();
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    UINT id = GetMenuItemID(menu, i);
    if (id == 0 || id == UINT(-1)) continue;
    std::u16string verb = ns->ContextMenuVerb(id);
    for (char16_t& c : verb)
      if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    gMenuVerbs.push_back(verb);
  }
  allow = false;
}

bool Has(const std::vector<std::u16string>& verbs, const std::u16string& verb) {
  return std::find(verbs.begin(), verbs.end(), verb) != verbs.end();
}

}  // namespace

TEST_F(ExplorerOptions, TheShellMenuFollowsItsOptionAndTheFileTreeLeavesOutShortcuts) {
  MakeFile(folder + u"\\menu.txt");
  PVirtualNode file = NodeOf(folder + u"\\menu.txt");
  ASSERT_NE(file, nullptr);
  for (PVirtualNode run = file->Parent; run != nullptr && run != tree->RootNode(); run = run->Parent)
    tree->SetExpanded(run, true);
  form->Show();
  SelectOnly(tree, file);
  tree->OnContextMenuShow = CollectVerbs;
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  TContextMenuManager* manager = tree->ContextMenuManager();
  // The file tree's defaults: menus on, the create-shortcut entry removed.
  ASSERT_TRUE(o->VETShellOptions().Contains(toContextMenus));
  ASSERT_TRUE(o->VETMiscOptions().Contains(toRemoveContextMenuShortCut));
  EXPECT_TRUE(manager->Enabled);
  gMenusShown = 0;
  EXPECT_TRUE(manager->ShowMenuForSelection());
  ASSERT_EQ(gMenusShown, 1);
  EXPECT_FALSE(gMenuVerbs.empty());
  EXPECT_FALSE(Has(gMenuVerbs, u"link"));
  // Without the option the shell's entry stays.
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toRemoveContextMenuShortCut));
  manager->ShowMenuForSelection();
  EXPECT_TRUE(Has(gMenuVerbs, u"link"));
  // Menus switched off: the manager shows none.
  o->SetVETShellOptions(o->VETShellOptions().Exclude(toContextMenus));
  EXPECT_FALSE(manager->Enabled);
  gMenusShown = 0;
  EXPECT_FALSE(manager->ShowMenuForSelection());
  EXPECT_EQ(gMenusShown, 0);
  o->SetVETShellOptions(o->VETShellOptions().Include(toContextMenus));
  EXPECT_TRUE(manager->Enabled);
  tree->OnContextMenuShow = {};
}

TEST_F(ExplorerOptions, TheSettersKeepTheirRules) {
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  // The explorer never sorts by the base mechanism.
  o->SetAutoOptions(o->AutoOptions().Include(toAutoSort).Include(toAutoScroll));
  EXPECT_FALSE(o->AutoOptions().Contains(toAutoSort));
  EXPECT_TRUE(o->AutoOptions().Contains(toAutoScroll));
  // Several selected items are always siblings.
  o->SetSelectionOptions(TVTSelectionOptions{toMultiSelect, toLevelSelectConstraint});
  EXPECT_TRUE(o->SelectionOptions().Contains(toMultiSelect));
  EXPECT_FALSE(o->SelectionOptions().Contains(toLevelSelectConstraint));
  EXPECT_TRUE(o->SelectionOptions().Contains(toSiblingSelectConstraint));
  o->SetSelectionOptions(TVTSelectionOptions{toLevelSelectConstraint});
  EXPECT_TRUE(o->SelectionOptions().Contains(toLevelSelectConstraint));
  EXPECT_FALSE(o->SelectionOptions().Contains(toSiblingSelectConstraint));
  // Following mapped drives needs the notifier; leaving the notifier ends it.
  form->Show();
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread).Exclude(toTrackChangesInMappedDrives));
  EXPECT_FALSE(tree->ChangeNotifierRegistered());
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toTrackChangesInMappedDrives));
  EXPECT_TRUE(o->VETMiscOptions().Contains(toChangeNotifierThread));
  EXPECT_TRUE(tree->ChangeNotifierRegistered());
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread));
  EXPECT_FALSE(o->VETMiscOptions().Contains(toTrackChangesInMappedDrives));
  EXPECT_FALSE(tree->ChangeNotifierRegistered());
  // Switching the notifier on alone leaves mapped drives alone.
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toChangeNotifierThread));
  EXPECT_FALSE(o->VETMiscOptions().Contains(toTrackChangesInMappedDrives));
  EXPECT_TRUE(tree->ChangeNotifierRegistered());
}

TEST_F(ExplorerOptions, AFormDefinitionMeetsTheSameRules) {
  TForm* defined = qvtest::NewFormFromText<TForm>(
      "TForm Defined { Left = 10; Top = 10; Width = 200; Height = 200;\n"
      "  TVirtualExplorerTreeview Files {\n"
      "    TreeOptions.AutoOptions = [toAutoScroll, toAutoSort];\n"
      "    TreeOptions.SelectionOptions = [toLevelSelectConstraint, toMultiSelect];\n"
      "  }\n"
      "}");
  auto* files = qvtest::Find<TVirtualExplorerTreeview>(defined, "Files");
  ASSERT_NE(files, nullptr);
  TCustomVirtualExplorerTreeOptions* o = files->TreeOptions();
  EXPECT_EQ(o->AutoOptions(), TVTAutoOptions{toAutoScroll});
  EXPECT_EQ(o->SelectionOptions(), (TVTSelectionOptions{toMultiSelect, toSiblingSelectConstraint}));
  defined->Free();
}
