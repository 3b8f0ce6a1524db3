// A new folder made from the explorer tree: a unique name in the folder of the
// given path, one node for it (also after the shell reports it), the editor
// on it; a missing folder gives nothing.
#include <gtest/gtest.h>

#include "ExplorerTestSupport.h"
#include "shell/VirtualWideStrings.h"

using namespace explorertest;

namespace {

using ExplorerNewFolder = ExplorerFixture;

int ChildrenNamed(TVirtualExplorerTreeview* tree, PVirtualNode parent, const std::u16string& path) {
  int count = 0;
  for (PVirtualNode child = tree->GetFirstChild(parent); child != nullptr; child = child->NextSibling)
    if (vws::WideStrICompOS(tree->NodeNamespace(child)->NameForParsing().c_str(), path.c_str()) == 0) ++count;
  return count;
}

}  // namespace

TEST_F(ExplorerNewFolder, MakesAUniqueFolderAndEditsItsNode) {
  MakeFolder(folder + u"\\in");
  MakeFolder(folder + u"\\in\\New Folder");
  form->Show();
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable));
  PVirtualNode parent = NodeOf(folder + u"\\in");
  ASSERT_NE(parent, nullptr);
  tree->SetExpanded(parent, true);
  std::u16string made;
  tree->CreateNewFolder(folder + u"\\in\\", made);
  const std::u16string expected = folder + u"\\in\\New Folder (1)";
  EXPECT_EQ(vws::WideStrICompOS(made.c_str(), expected.c_str()), 0) << std::string(made.begin(), made.end());
  EXPECT_TRUE(vws::WideDirectoryExists(expected));
  PVirtualNode node = tree->FocusedNode();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Parent, parent);
  EXPECT_TRUE(tree->GetSelected(node));
  EXPECT_TRUE(tree->IsEditing());
  tree->CancelEditNode();
  // The shell's report of the new folder adds no second node.
  Application->ProcessMessages();
  Sleep(1200);
  Application->ProcessMessages();
  EXPECT_EQ(ChildrenNamed(tree, parent, expected), 1);

  std::u16string none = u"x";
  tree->CreateNewFolder(folder + u"\\missing\\", none);
  EXPECT_TRUE(none.empty());
}

namespace {

class TPropertiesCountingTree : public TVirtualExplorerTreeview {
public:
  int shown = 0;
  void SelectedFilesShowProperties() override { ++shown; }
};

}  // namespace

// Alt+Enter and an Alt+double click show the selection's property sheet;
// once a system key is released or the focus goes, a double click does not.
// (Alt itself is never released here: the default handling would open the
// window's menu loop.)
TEST_F(ExplorerNewFolder, AltEnterAndAltDoubleClickShowProperties) {
  auto* counting = New<TPropertiesCountingTree>(form);
  counting->SetParent(form);
  form->Show();
  HWND window = counting->Handle();
  const LPARAM altContext = 1 << 29;
  SendMessageW(window, WM_SYSKEYDOWN, 'A', altContext);
  SendMessageW(window, WM_SYSCHAR, VK_RETURN, altContext);
  EXPECT_EQ(counting->shown, 1);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(counting->shown, 2);
  SendMessageW(window, WM_SYSKEYUP, 'A', altContext);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(counting->shown, 2);
  SendMessageW(window, WM_SYSKEYDOWN, 'A', altContext);
  SendMessageW(window, WM_KILLFOCUS, 0, 0);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(counting->shown, 2);
}
