// Node streams: the format, edge cases, and untrusted input (every truncated
// prefix and random byte flips give EVirtualTreeError or a consistent tree).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"

namespace {

std::vector<uint8_t> Bytes(TMemoryStream& stream) {
  const uint8_t* p = static_cast<const uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(p, p + stream.Size());
}

void Load(TTestTree& tree, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
  tree.LoadFromStream(&stream);
}

// A tree with several levels, states, checks and user data written by OnSaveNode.
std::vector<uint8_t> SampleStream() {
  TTestTree tree;
  tree.SetNodeDataSize(4);
  tree.OnSaveNode = [](TBaseVirtualTree*, PVirtualNode node, TStream* s) {
    if (node->Index % 2 == 0) s->WriteBuffer(&node->Index, 4);
  };
  tree.SetRootNodeCount(3);
  for (PVirtualNode top = tree.GetFirst(); top != nullptr; top = tree.GetNextSibling(top)) {
    tree.SetChildCount(top, 2);
    tree.SetExpanded(top, top->Index != 1);
    for (PVirtualNode c = tree.GetFirstChild(top); c != nullptr; c = tree.GetNextSibling(c)) tree.SetChildCount(c, 1);
  }
  tree.GetFirst()->CheckType = ctTriStateCheckBox;
  tree.GetFirst()->CheckState = csMixedNormal;
  tree.SetNodeHeight(tree.GetFirst(), 30);
  tree.FullExpand();
  TMemoryStream stream;
  tree.SaveToStream(&stream);
  return Bytes(stream);
}

}  // namespace

TEST(Stream, EmptyTreeWritesHeaderAndZeroCount) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  TMemoryStream stream;
  tree.SaveToStream(&stream);
  std::vector<uint8_t> bytes = Bytes(stream);
  const uint8_t expected[16] = {0x45, 0x20, 'V', 0, 'T', 0, 2, 0, 0x20, 0, 0x46, 0x20, 0, 0, 0, 0};
  ASSERT_EQ(bytes.size(), 16u);
  EXPECT_EQ(std::memcmp(bytes.data(), expected, 16), 0);
  TTestTree copy;
  copy.SetNodeDataSize(0);
  Load(copy, bytes);
  EXPECT_EQ(copy.GetRootNodeCount(), 0u);
}

TEST(Stream, ExpandedNodesComeBackInitialisedWithoutEvents) {
  std::vector<uint8_t> bytes = SampleStream();
  TTestTree copy;
  copy.SetNodeDataSize(4);
  static int loads = 0;
  loads = 0;
  copy.OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream* s) {
    uint8_t b;
    s->Read(&b, 1);  // reads less than was written
    ++loads;
  };
  Load(copy, bytes);
  EXPECT_EQ(CheckTreeInvariants(copy), "");
  EXPECT_EQ(copy.RootNode()->TotalCount, 1u + 3 + 6 + 6);
  EXPECT_EQ(copy.initCount, 0);
  PVirtualNode first = copy.GetFirst();
  EXPECT_TRUE(first->States & vsExpanded);
  EXPECT_EQ(first->NodeHeight, 30);
  EXPECT_EQ(first->CheckState, csMixedNormal);
  EXPECT_EQ(loads, 11);  // only nodes whose handler wrote something (even indexes) have a user chunk
  EXPECT_EQ(copy.VisibleCount(), ShownNodes(copy).size());
}

TEST(Stream, TransientStatesAreNeverStored) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  PVirtualNode node = tree.AddChild(nullptr);
  tree.InitNode(node);
  node->States |= vsCutOrCopy | vsHeightMeasured | vsInitialUserData;
  TMemoryStream stream;
  tree.SaveToStream(&stream);
  std::vector<uint8_t> bytes = Bytes(stream);
  uint16_t stored = uint16_t(bytes[16 + 16 + 8] | (bytes[16 + 16 + 9] << 8));
  EXPECT_EQ(stored & ~kStoredNodeStates, 0);
  EXPECT_EQ(stored, vsInitialized | vsVisible);
  node->States &= ~(vsCutOrCopy | vsHeightMeasured | vsInitialUserData);
}

TEST(Stream, UninitialisedNodeIsWrittenWithTheChildrenItHas) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  TTreeOptionValues values = tree.OptionValues();
  values.misc.Exclude(toInitOnSave);
  tree.SetOptions(values);
  PVirtualNode node = tree.AddChild(nullptr);
  tree.SetChildCount(node, 4);
  TMemoryStream stream;
  tree.SaveToStream(&stream);
  TTestTree copy;
  copy.SetNodeDataSize(0);
  Load(copy, Bytes(stream));
  EXPECT_EQ(CheckTreeInvariants(copy), "");
  EXPECT_EQ(copy.RootNode()->TotalCount, 2u);
}

TEST(Stream, HeaderErrorsLeaveTheTreeAlone) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(5);
  std::vector<uint8_t> bytes = SampleStream();
  struct Case {
    std::vector<uint8_t> data;
    int helpContext;
  };
  std::vector<uint8_t> wrongMark = bytes;
  wrongMark[2] = 'X';
  std::vector<uint8_t> version3 = bytes;
  version3[6] = 3;
  std::vector<uint8_t> version0 = bytes;
  version0[6] = 0;
  const Case cases[] = {
      {{}, 2004}, {std::vector<uint8_t>(bytes.begin(), bytes.begin() + 11), 2004}, {wrongMark, 2002},
      {version3, 2003}, {version0, 2003}};
  for (const Case& c : cases) {
    try {
      Load(tree, c.data);
      FAIL();
    } catch (const EVirtualTreeError& e) {
      EXPECT_EQ(e.HelpContext(), c.helpContext);
    }
    EXPECT_EQ(tree.GetRootNodeCount(), 5u);
  }
}

TEST(Stream, CorruptChunksRaiseTheirErrors) {
  std::vector<uint8_t> bytes = SampleStream();
  std::vector<uint8_t> noAnchor = bytes;
  noAnchor[16] = 7;
  std::vector<uint8_t> negative = bytes;
  negative[20] = negative[21] = negative[22] = negative[23] = 0xFF;
  std::vector<uint8_t> hugeChildren = bytes;
  // ChildCount of the first node's base record.
  hugeChildren[32] = hugeChildren[33] = hugeChildren[34] = 0xFF;
  const std::pair<std::vector<uint8_t>, int> cases[] = {{noAnchor, 2005}, {negative, 2002}, {hugeChildren, 2002}};
  for (const auto& c : cases) {
    TTestTree tree;
    tree.SetNodeDataSize(0);
    tree.SetRootNodeCount(2);
    tree.SetChildCount(tree.GetFirst(), 3);
    std::string before = DescribeTree(tree);
    try {
      Load(tree, c.first);
      FAIL();
    } catch (const EVirtualTreeError& e) {
      EXPECT_EQ(e.HelpContext(), c.second);
    }
    // A refused stream changes nothing.
    EXPECT_EQ(DescribeTree(tree), before);
    EXPECT_EQ(CheckTreeInvariants(tree), "");
    EXPECT_EQ(tree.UpdateCount(), 0u);
  }
}

TEST(Stream, VersionOneStreamsAreRead) {
  // One node: base record of 12 bytes with state byte 0x21 (initialised, expanded), no children.
  std::vector<uint8_t> bytes = {0x45, 0x20, 'V', 0, 'T', 0, 1, 0, 0x20, 0, 0x46, 0x20};
  const uint8_t node[] = {1, 0, 0, 0, 20, 0, 0, 0, 2, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0,
                          20, 0, 0, 0, 0x21, 50, 2, 1};
  bytes.insert(bytes.end(), node, node + sizeof(node));
  TTestTree tree;
  tree.SetNodeDataSize(0);
  Load(tree, bytes);
  ASSERT_EQ(tree.GetRootNodeCount(), 1u);
  PVirtualNode first = tree.GetFirstNoInit();
  EXPECT_EQ(first->NodeHeight, 20);
  EXPECT_TRUE(first->States & vsVisible);
  EXPECT_EQ(first->CheckState, csCheckedNormal);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}

TEST(Stream, LoadedSelectionFollowsMultiSelect) {
  TTestTree source;
  source.SetNodeDataSize(0);
  TTreeOptionValues multi = source.OptionValues();
  multi.selection.Include(toMultiSelect);
  source.SetOptions(multi);
  source.SetRootNodeCount(3);
  source.AddToSelection(source.GetFirst());
  source.AddToSelection(source.GetLast());
  TMemoryStream stream;
  source.SaveToStream(&stream);
  TTestTree plain;
  plain.SetNodeDataSize(0);
  Load(plain, Bytes(stream));
  EXPECT_EQ(plain.SelectedCount(), 0u);
  EXPECT_EQ(CheckTreeInvariants(plain), "");
  TTestTree selecting;
  selecting.SetNodeDataSize(0);
  selecting.SetOptions(multi);
  Load(selecting, Bytes(stream));
  EXPECT_EQ(selecting.SelectedCount(), 2u);
  EXPECT_EQ(CheckTreeInvariants(selecting), "");
}

TEST(Stream, EveryPrefixAndRandomFlipsFailCleanly) {
  std::vector<uint8_t> bytes = SampleStream();
  auto tryLoad = [](const std::vector<uint8_t>& data) {
    TTestTree tree;
    tree.SetNodeDataSize(4);
    tree.OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream* s) {
      uint8_t b[8];
      s->Read(b, sizeof(b));
    };
    tree.SetRootNodeCount(1);
    std::string before = DescribeTree(tree);
    try {
      Load(tree, data);
    } catch (const EVirtualTreeError&) {
      EXPECT_EQ(DescribeTree(tree), before);
    }
    EXPECT_EQ(CheckTreeInvariants(tree), "");
    EXPECT_EQ(tree.UpdateCount(), 0u);
  };
  for (size_t length = 0; length < bytes.size(); ++length)
    tryLoad(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> data = bytes;
    int flips = 1 + rng() % 4;
    for (int i = 0; i < flips; ++i) data[12 + rng() % (data.size() - 12)] ^= uint8_t(1 + rng() % 255);
    tryLoad(data);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

TEST(Stream, DeepNestingIsRefused) {
  std::vector<uint8_t> bytes = {0x45, 0x20, 'V', 0, 'T', 0, 2, 0, 0x20, 0, 0x46, 0x20, 1, 0, 0, 0};
  // kMaxStreamDepth + 10 nested nodes, each with one child.
  int depth = kMaxStreamDepth + 10;
  std::vector<size_t> sizePositions;
  for (int i = 0; i < depth; ++i) {
    sizePositions.push_back(bytes.size());
    const uint8_t head[] = {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), head, head + 16);
    const uint8_t record[17] = {uint8_t(i + 1 < depth ? 1 : 0), 0, 0, 0, 18, 0, 0, 0, 0x81, 0, 50, 0, 0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), record, record + 17);
  }
  for (size_t pos : sizePositions) {
    uint32_t nodeSize = uint32_t(bytes.size() - pos - 8);
    uint32_t baseSize = nodeSize - 8;
    std::memcpy(&bytes[pos + 4], &nodeSize, 4);
    std::memcpy(&bytes[pos + 12], &baseSize, 4);
  }
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  std::string before = DescribeTree(tree);
  TTestTree copyOfBefore;
  copyOfBefore.SetNodeDataSize(0);
  copyOfBefore.SetRootNodeCount(2);
  int freed = 0;
  tree.onFree = [&](PVirtualNode) { ++freed; };
  EXPECT_THROW(Load(tree, bytes), EVirtualTreeError);
  // The levels read before the refusal are freed, never linked in; the tree
  // can still be saved and loaded again.
  EXPECT_EQ(DescribeTree(tree), before);
  EXPECT_EQ(freed, kMaxStreamDepth + 1);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  TMemoryStream again;
  tree.SaveToStream(&again);
  again.SetPosition(0);
  tree.LoadFromStream(&again);
  EXPECT_EQ(DescribeTree(tree, /*withStates=*/false), DescribeTree(copyOfBefore, /*withStates=*/false));
}

TEST(Stream, RefusedAddFromStreamLeavesTheNodeAsItWas) {
  std::vector<uint8_t> bytes = SampleStream();
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  PVirtualNode target = tree.GetFirst();
  tree.SetChildCount(target, 2);
  std::string before = DescribeTree(tree);
  // The first node chunk with a child count its chunk cannot hold.
  bytes[32] = 0xFF;
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(16);
  EXPECT_THROW(tree.InternalAddFromStream(&stream, 2, target), EVirtualTreeError);
  EXPECT_EQ(DescribeTree(tree), before);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
  // Read into the root, with the first node's user chunk (after its
  // children) claiming more than its node holds: the children read before
  // are dropped again.
  std::vector<uint8_t> good = SampleStream();
  uint32_t firstSize = 0;
  std::memcpy(&firstSize, &good[20], 4);
  size_t userChunk = 16 + 8 + firstSize - 12;
  ASSERT_EQ(good[userChunk], 4);
  good[userChunk + 4] = 0x40;
  TMemoryStream cut;
  cut.WriteBuffer(good.data(), static_cast<int32_t>(good.size()));
  cut.SetPosition(16);
  EXPECT_THROW(tree.InternalAddFromStream(&cut, 2, nullptr), EVirtualTreeError);
  EXPECT_EQ(DescribeTree(tree), before);
  EXPECT_EQ(CheckTreeInvariants(tree), "");
}
