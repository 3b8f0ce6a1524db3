// The global view manager: a view shown again brings back its check marks;
// its stream always carries version 3.
#include <cstring>

#include "ExplorerTestSupport.h"
#include "core/MemoryStream.h"
#include "shell/GlobalViewManager.h"

using namespace explorertest;

namespace {

using GlobalViews = ExplorerFixture;

TEST_F(GlobalViews, AShownViewBringsBackItsChecksAndItsStreamIsVersion3) {
  MakeFolder(folder + u"\\sub");
  MakeFile(folder + u"\\sub\\a.txt");
  MakeFile(folder + u"\\sub\\c.txt");
  MakeFile(folder + u"\\b.txt");
  TGlobalViewManager* views = GlobalViewManager();
  ASSERT_EQ(views, GlobalViewManager());
  views->Clear();
  Click(folder + u"\\sub\\a.txt");
  views->StoreView(u"Picked", tree);
  ASSERT_EQ(views->Views()->Count(), 1);
  // Stored again under the same name (any case): the view is replaced, not added.
  views->StoreView(u"PICKED", tree);
  ASSERT_EQ(views->Views()->Count(), 1);
  Click(folder + u"\\sub\\a.txt");
  Click(folder + u"\\b.txt");
  ASSERT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b.txt"});

  views->ShowView(u"nothing of that name", tree);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\b.txt"});
  views->ShowView(u"picked", tree);
  EXPECT_EQ(Topmost(), std::vector<std::u16string>{folder + u"\\sub\\a.txt"});
  PVirtualNode node = NodeOf(folder + u"\\sub\\a.txt");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->CheckState, csCheckedNormal);
  EXPECT_NE(NodeOf(folder + u"\\b.txt")->CheckState, csCheckedNormal);

  // Saved with another version and no version word: version 3 first all the same.
  TMemoryStream stream;
  views->SaveToStream(&stream, 1, false);
  ASSERT_GE(stream.Size(), 4);
  int32_t version = 0;
  std::memcpy(&version, stream.Memory(), 4);
  EXPECT_EQ(version, 3);
  // Loading replaces what the manager holds.
  views->StoreView(u"Other", tree);
  ASSERT_EQ(views->Views()->Count(), 2);
  stream.SetPosition(0);
  views->LoadFromStream(&stream, 0, false);
  ASSERT_EQ(views->Views()->Count(), 1);
  EXPECT_EQ(views->Views()->Items(0)->ViewName, u"Picked");
  views->Clear();
}

}  // namespace
