// The string tree without painting: texts through events, the width cache of
// the main column, caption chunks in node streams, shortening with an
// ellipsis (right-to-left keeps the start), search, form definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/MemoryStream.h"
#include "tree/VirtualTrees.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

namespace {

// Texts by node index and column; counts how often each column was asked.
struct Texts {
  static inline std::map<int, int> asked;
  static inline std::map<uint32_t, std::u16string> received;
  static void Get(TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType type, std::u16string& text) {
    ++asked[column];
    if (type == ttStatic) return;
    text = u"node " + std::u16string(1, char16_t(u'0' + node->Index % 10)) + u" col " +
           std::u16string(1, char16_t(u'0' + (column + 1)));
  }
  static void New(TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::u16string& text) {
    received[node->Index] = text;
  }
};

struct StringTreeTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Texts::asked.clear();
    Texts::received.clear();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 400, 300);
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 380, 250);
    form->Show();
  }
  void TearDown() override { form->Free(); }
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
};

TEST_F(StringTreeTest, TextsComeFromTheEventWithDefaultText) {
  tree->SetRootNodeCount(3);
  PVirtualNode first = tree->GetFirst();
  EXPECT_EQ(tree->GetText(first, NoColumn), u"Node");
  tree->SetDefaultText(u"\u2014");
  EXPECT_EQ(tree->GetText(first, NoColumn), u"\u2014");
  tree->OnGetText = Texts::Get;
  EXPECT_EQ(tree->GetText(tree->GetNext(first), 1), u"node 1 col 2");
  EXPECT_FALSE(tree->DoGetCellIsEmpty(first, 0));
  EXPECT_EQ((SetToMask<TVTStringOptions, TVTStringOption>(tree->TreeOptions()->StringOptions(), kStringOptionCount)),
            5u);
  EXPECT_THROW(tree->GetText(nullptr, 0), EAssertionFailed);
}

TEST_F(StringTreeTest, MainColumnWidthIsCachedUntilSomethingClearsIt) {
  for (int i = 0; i < 3; ++i) tree->Header()->Columns()->Add();
  tree->Header()->SetMainColumn(1);
  tree->SetRootNodeCount(2);
  tree->OnGetText = Texts::Get;
  PVirtualNode node = tree->GetFirst();
  int width = tree->DoGetNodeWidth(node, 1);
  EXPECT_GT(width, 2 * tree->TextMargin());
  EXPECT_EQ(tree->CachedTextWidth(node), width);
  Texts::asked.clear();
  tree->DoGetNodeWidth(node, 1);
  tree->DoGetNodeWidth(node, 1);
  EXPECT_EQ(Texts::asked[1], 0);  // cached
  tree->DoGetNodeWidth(node, 2);
  tree->DoGetNodeWidth(node, 2);
  EXPECT_EQ(Texts::asked[2], 2);  // other columns every time
  tree->InvalidateNode(node);
  EXPECT_EQ(tree->CachedTextWidth(node), 0);
  tree->DoGetNodeWidth(node, 1);
  tree->ReinitNode(node, false);
  EXPECT_EQ(tree->CachedTextWidth(node), 0);
  tree->DoGetNodeWidth(node, 1);
  tree->Header()->SetMainColumn(0);
  EXPECT_EQ(tree->CachedTextWidth(node), 0);
  tree->DoGetNodeWidth(node, 0);
  EXPECT_NE(tree->CachedTextWidth(node), 0);
  TFont* big = New<TFont>();
  big->SetHeight(-30);
  tree->Font()->Assign(big);
  big->Free();
  SendMessageW(tree->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(tree->Font()->Handle()), 0);
  EXPECT_EQ(tree->CachedTextWidth(node), 0);
  EXPECT_GT(tree->TextHeight(), 25);
  EXPECT_EQ(tree->CachedTextWidth(tree->RootNode()), 0);
}

TEST_F(StringTreeTest, CaptionChunksCarryTheMainColumnText) {
  // Without a window nothing measures (and so initialises) nodes behind the test's back.
  TVirtualStringTree* tree = New<TVirtualStringTree>(form);
  tree->SetRootNodeCount(4);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
    text = node->Index == 2 ? u"" : u"caption \u00e9" + std::u16string(1, char16_t(u'0' + node->Index));
  };
  // Node 3 stays uninitialised: no caption.
  tree->TreeOptions()->SetMiscOptions(tree->TreeOptions()->MiscOptions().Exclude(toInitOnSave));
  tree->InitNode(tree->GetFirstNoInit());
  tree->InitNode(tree->GetNextNoInit(tree->GetFirstNoInit()));
  tree->InitNode(tree->GetNextNoInit(tree->GetNextNoInit(tree->GetFirstNoInit())));
  TMemoryStream* stream = New<TMemoryStream>();
  tree->SaveToStream(stream);

  TVirtualStringTree* other = New<TVirtualStringTree>(form);
  other->OnNewText = Texts::New;
  stream->SetPosition(0);
  other->LoadFromStream(stream);
  EXPECT_EQ(other->GetRootNodeCount(), 4u);
  EXPECT_EQ(Texts::received.size(), 2u);
  EXPECT_EQ(Texts::received[0], u"caption \u00e90");
  EXPECT_EQ(Texts::received[1], u"caption \u00e91");

  // Without toSaveCaptions nothing is written.
  tree->TreeOptions()->SetStringOptions({});
  TMemoryStream* plain = New<TMemoryStream>();
  tree->SaveToStream(plain);
  EXPECT_LT(plain->Size(), stream->Size());
  Texts::received.clear();
  plain->SetPosition(0);
  other->LoadFromStream(plain);
  EXPECT_TRUE(Texts::received.empty());
  stream->Free();
  plain->Free();
  other->Free();
}

// Reads node chunks onto the root, as a paste does.
class TStreamTree : public TVirtualStringTree {
public:
  using TVirtualTreeCore::InternalAddFromStream;
  using TVirtualTreeCore::WriteNode;
};

TEST_F(StringTreeTest, NodesBeingReadAreTopLevelNodesOfTheTreeToTheirHandlers) {
  // Two levels with captions; the handlers of the reading tree ask level,
  // ancestry and owner of the nodes they are handed.
  TStreamTree* source = New<TStreamTree>(form);
  source->SetRootNodeCount(2);
  for (PVirtualNode top = source->GetFirst(); top != nullptr; top = source->GetNextSibling(top))
    source->SetChildCount(top, 2);
  for (PVirtualNode run = source->GetFirst(); run != nullptr; run = source->GetNext(run)) source->InitNode(run);
  source->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::u16string& text) {
    text = u"t";
  };
  TMemoryStream* stream = New<TMemoryStream>();
  source->SaveToStream(stream);

  static std::vector<std::string> seen;
  static TStreamTree* reader;
  seen.clear();
  reader = New<TStreamTree>(form);
  reader->OnNewText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::u16string&) {
    PVirtualNode top = node;
    while (reader->GetNodeLevel(top) > 0) top = top->Parent;
    seen.push_back(std::to_string(reader->GetNodeLevel(node)) + (reader->HasAsParent(node, top) ? " under" : " top") +
                   (TreeOfNode(node) == reader ? " mine" : " foreign"));
  };
  stream->SetPosition(0);
  reader->LoadFromStream(stream);
  std::vector<std::string> expected{"0 top mine", "0 top mine",   "1 under mine",
                                    "1 under mine", "1 under mine", "1 under mine"};
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(reader->GetRootNodeCount(), 2u);

  // The root's chunk read onto the root: the same, and four top-level nodes.
  TMemoryStream* rootChunk = New<TMemoryStream>();
  source->WriteNode(rootChunk, source->RootNode());
  rootChunk->SetPosition(0);
  seen.clear();
  reader->InternalAddFromStream(rootChunk, kVTTreeStreamVersion, nullptr);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(reader->GetRootNodeCount(), 4u);
  for (PVirtualNode top = reader->GetFirst(); top != nullptr; top = reader->GetNextSibling(top))
    EXPECT_EQ(reader->GetNodeLevel(top), 0u);
  rootChunk->Free();
  stream->Free();
  source->Free();
  reader->Free();
}

TEST_F(StringTreeTest, ShortenStringEdges) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, tree->Font()->Handle());
  auto width = [&](const std::u16string& s) {
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(s.data()), static_cast<int>(s.size()), &size);
    return static_cast<int>(size.cx);
  };
  const std::u16string text = u"Shortening keeps the start";
  int ellipsis = width(u"...");
  EXPECT_EQ(ShortenString(dc, u"", 100, false), u"");
  EXPECT_EQ(ShortenString(dc, text, 0, false), u"");
  EXPECT_EQ(ShortenString(dc, text, ellipsis, false), u"");
  EXPECT_EQ(ShortenString(dc, text, ellipsis + 1, false), u"...");
  for (int w = ellipsis + 1; w < width(text) + 20; w += 7) {
    for (bool rtl : {false, true}) {
      std::u16string s = ShortenString(dc, text, w, rtl);
      ASSERT_GE(s.size(), 3u);
      ASSERT_EQ(s.substr(s.size() - 3), u"...");
      std::u16string kept = s.substr(0, s.size() - 3);
      ASSERT_EQ(text.compare(0, kept.size(), kept), 0) << "the start of the text is kept";
      ASSERT_LT(kept.size(), text.size());
      ASSERT_LE(width(s), w);
      // One more character would not fit.
      if (kept.size() + 1 < text.size()) ASSERT_GT(width(text.substr(0, kept.size() + 1)) + ellipsis, w);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
}

TEST_F(StringTreeTest, IncrementalSearchMatchesTheStartOfTheText) {
  tree->SetRootNodeCount(2);
  tree->OnGetText = Texts::Get;
  PVirtualNode node = tree->GetFirst();
  EXPECT_EQ(tree->DoIncrementalSearch(node, u"node 0"), 0);
  EXPECT_EQ(tree->DoIncrementalSearch(node, u"Node 0"), 1);
  EXPECT_EQ(tree->DoIncrementalSearch(node, u"col"), 1);
}

TEST_F(StringTreeTest, SortColumnAndDirectionSortTheTreeWithAutoSort) {
  tree->Header()->Columns()->Add();
  tree->SetNodeDataSize(4);
  tree->SetRootNodeCount(5);
  static const int keys[5] = {3, 1, 4, 0, 2};
  for (PVirtualNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n))
    *static_cast<int*>(tree->GetNodeData(n)) = keys[n->Index];
  tree->OnCompareNodes = [](TBaseVirtualTree* sender, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
    result = *static_cast<int*>(sender->GetNodeData(a)) - *static_cast<int*>(sender->GetNodeData(b));
  };
  TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoSort));
  auto order = [&] {
    std::vector<int> result;
    for (PVirtualNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n))
      result.push_back(*static_cast<int*>(tree->GetNodeData(n)));
    return result;
  };
  tree->Header()->SetSortColumn(0);
  EXPECT_EQ(order(), (std::vector<int>{0, 1, 2, 3, 4}));
  tree->Header()->SetSortDirection(sdDescending);
  EXPECT_EQ(order(), (std::vector<int>{4, 3, 2, 1, 0}));
  tree->Header()->SetSortColumn(7);  // clamped to the last column: no change
  EXPECT_EQ(tree->Header()->SortColumn(), 0);
}

TEST_F(StringTreeTest, FormDefinitionMakesAStringTreeWithColumns) {
  TForm* defined = qvtest::NewFormFromText<TForm>(R"(
TForm StringForm {
  ClientWidth = 300;
  ClientHeight = 200;
  TVirtualStringTree Names {
    Left = 0; Top = 0; Width = 250; Height = 180;
    WideDefaultText = "empty";
    TreeOptions.StringOptions = [toShowStaticText];
    Header.Height = 22;
    Header.Options = [hoColumnResize, hoDrag, hoVisible, hoShowSortGlyphs];
    Header.MainColumn = 1;
    Header.Columns = <
      item { Text = "Name"; Width = 120; Position = 1; }
      item { Text = "Size"; Width = 60; Alignment = taRightJustify; Position = 0; }
    >;
  }
}
)");
  auto* names = qvtest::Find<TVirtualStringTree>(defined, "Names");
  ASSERT_NE(names, nullptr);
  EXPECT_EQ(names->DefaultText(), u"empty");
  EXPECT_TRUE(names->TreeOptions()->StringOptions().Contains(toShowStaticText));
  TVTHeader* h = names->Header();
  EXPECT_EQ(h->Height(), 22u);
  ASSERT_EQ(h->Columns()->Count(), 2);
  EXPECT_EQ(h->Columns()->Items(0)->Text(), u"Name");
  EXPECT_EQ(h->Columns()->Items(1)->Alignment(), taRightJustify);
  TIndexArray expected{1, 0};
  EXPECT_EQ(h->Columns()->PositionToIndex(), expected);
  EXPECT_EQ(h->MainColumn(), 1);
  EXPECT_TRUE(h->Options().Contains(hoVisible));
  defined->Free();
}

TEST_F(StringTreeTest, OlderDefinitionsWithOneOptionSetAreRead) {
  TForm* defined = qvtest::NewFormFromText<TForm>(R"(
TForm OldForm {
  ClientWidth = 300;
  ClientHeight = 200;
  TVirtualStringTree Old {
    Left = 0; Top = 0; Width = 250; Height = 180;
    Options = [voAnimatedToggle, voAutoExpand, voMultiSelect, voShowRoot, voEditable, voGone];
    StringOptions = [soShowStaticText];
  }
}
)");
  auto* old = qvtest::Find<TVirtualStringTree>(defined, "Old");
  ASSERT_NE(old, nullptr);
  TCustomVirtualTreeOptions* options = old->TreeOptions();
  EXPECT_TRUE(options->AnimationOptions().Contains(toAnimatedToggle));
  EXPECT_TRUE(options->AutoOptions().Contains(toAutoExpand));
  EXPECT_FALSE(options->AutoOptions().Contains(toAutoScrollOnExpand)) << "the sets start empty";
  EXPECT_TRUE(options->SelectionOptions().Contains(toMultiSelect));
  EXPECT_TRUE(options->PaintOptions().Contains(toShowRoot));
  EXPECT_FALSE(options->PaintOptions().Contains(toShowButtons));
  EXPECT_TRUE(options->MiscOptions().Contains(toEditable));
  auto* stringOptions = static_cast<TCustomStringTreeOptions*>(options);
  EXPECT_TRUE(stringOptions->StringOptions().Contains(toShowStaticText));
  EXPECT_FALSE(stringOptions->StringOptions().Contains(toSaveCaptions));
  EXPECT_FALSE(stringOptions->StringOptions().Contains(toAutoAcceptEditChange));
  // Neither is written back.
  std::string text = WriteFormDefinition(defined);
  EXPECT_EQ(text.find("Options = [vo"), std::string::npos);
  EXPECT_EQ(text.find("  StringOptions"), std::string::npos);
  defined->Free();
}

TEST_F(StringTreeTest, TheBackgroundPictureTravelsThroughFormDefinitions) {
  TForm* holder = New<TForm>(Application);
  holder->SetName("Holder");
  TVirtualStringTree* pictured = New<TVirtualStringTree>(holder);
  pictured->SetName("Pictured");
  pictured->SetParent(holder);
  pictured->Background()->Bitmap()->SetSize(4, 3);
  SetPixel(pictured->Background()->Bitmap()->Canvas()->Handle(), 1, 1, RGB(255, 0, 0));
  std::string text = WriteFormDefinition(holder);
  EXPECT_NE(text.find("Background.Data = {"), std::string::npos);
  holder->Free();
  TForm* copy = qvtest::NewFormFromText<TForm>(text);
  auto* read = qvtest::Find<TVirtualStringTree>(copy, "Pictured");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Background()->Width(), 4);
  EXPECT_EQ(read->Background()->Height(), 3);
  EXPECT_EQ(read->Background()->Bitmap()->Canvas()->Pixel(1, 1), clRed);
  copy->Free();
}

TEST_F(StringTreeTest, AReadOnlyTreeGetsTheRootCountOfItsDefinition) {
  TForm* defined = qvtest::NewFormFromText<TForm>(R"(
TForm ReadOnlyForm {
  ClientWidth = 300;
  ClientHeight = 200;
  TVirtualStringTree Fixed {
    Left = 0; Top = 0; Width = 250; Height = 180;
    RootNodeCount = 7;
    TreeOptions.MiscOptions = [toReadOnly, toToggleOnDblClick];
  }
}
)");
  auto* fixed = qvtest::Find<TVirtualStringTree>(defined, "Fixed");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->GetRootNodeCount(), 7u);
  EXPECT_TRUE(fixed->TreeOptions()->MiscOptions().Contains(toReadOnly));
  // Read-only again: no more nodes.
  EXPECT_EQ(fixed->AddChild(nullptr), nullptr);
  EXPECT_EQ(fixed->GetRootNodeCount(), 7u);
  defined->Free();
}

}  // namespace
