// The node buffer: as a stream it behaves like the library's memory stream
// (random operations on both), and the tree's direct writer and reader over
// it give the same bytes and the same trees as the stream-based ones, for
// random trees with random user data and for damaged streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <typeinfo>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"
#include "tree/NodeBuffer.h"

namespace {

std::vector<uint8_t> BytesOf(TStream& stream) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
  int64_t at = stream.Position();
  stream.SetPosition(0);
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(at);
  return bytes;
}

void Fill(TStream& stream, const std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
}

// User data of a node: a length byte (0-11) and that many bytes, kept in the
// node's data; written by OnSaveNode, read back by OnLoadNode.
constexpr int kDataSize = 12;

// The tree whose handlers run (events take no captures).
TTestTree* gTree = nullptr;

void WriteUserData(TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
  auto* data = static_cast<const uint8_t*>(gTree->GetNodeData(node));
  if (data[0] == 0) return;
  stream->WriteBuffer(data, 1 + data[0] % kDataSize);
}

void ReadUserData(TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
  auto* data = static_cast<uint8_t*>(gTree->GetNodeData(node));
  if (stream->Read(data, 1) != 1) return;
  // A damaged length reads what is there; the tree puts the position right.
  stream->Read(data + 1, data[0] % kDataSize);
}

// A random tree of up to about count nodes: random shape, heights, states,
// checks and user data.
void BuildRandomTree(TTestTree& tree, std::mt19937& rng, int count) {
  tree.SetNodeDataSize(kDataSize);
  tree.SetRootNodeCount(1 + rng() % 4);
  std::vector<PVirtualNode> nodes;
  for (PVirtualNode run = tree.GetFirstNoInit(); run != nullptr; run = run->NextSibling) nodes.push_back(run);
  for (size_t i = 0; i < nodes.size() && int(nodes.size()) < count; ++i) {
    PVirtualNode node = nodes[i];
    if (rng() % 3 != 0) {
      tree.InitNode(node);
      tree.SetChildCount(node, rng() % 5);
      for (PVirtualNode c = node->FirstChild; c != nullptr; c = c->NextSibling) nodes.push_back(c);
      if (rng() % 2) tree.SetExpanded(node, true);
    }
  }
  for (PVirtualNode node : nodes) {
    auto* data = static_cast<uint8_t*>(tree.GetNodeData(node));
    data[0] = uint8_t(rng() % 3 == 0 ? 0 : 1 + rng() % 200);
    for (int i = 1; i < kDataSize; ++i) data[i] = uint8_t(rng());
    if (rng() % 4 == 0) tree.SetNodeHeight(node, 1 + rng() % 300);
    node->CheckType = TCheckType(rng() % 4);
    node->CheckState = TCheckState(rng() % 6);
    node->Align = uint8_t(rng());
    if (rng() % 5 == 0) node->States |= vsSelected;
    if (rng() % 7 == 0) node->States &= ~vsVisible;
  }
}

// A random tree as BuildRandomTree makes it, saved with its user data.
void BuildSavableTree(TTestTree& tree, std::mt19937& rng, int count) {
  BuildRandomTree(tree, rng, count);
  tree.OnSaveNode = WriteUserData;
  gTree = &tree;
}

// The bytes a tree saves to a memory stream.
std::vector<uint8_t> SavedBytes(TTestTree& tree) {
  TMemoryStream saved;
  tree.SaveToStream(&saved);
  return BytesOf(saved);
}

// The stored data of every node in tree order.
std::string DescribeData(TTestTree& tree) {
  std::string out;
  for (PVirtualNode node : AllNodes(tree)) {
    auto* data = static_cast<const uint8_t*>(tree.GetNodeData(node));
    out.append(reinterpret_cast<const char*>(data), data[0] == 0 ? 1 : 1 + data[0] % kDataSize);
    out += '|';
  }
  return out;
}

// What loading bytes through stream gives: the tree and its data, or the error.
std::string LoadThrough(TStream& stream, const std::vector<uint8_t>& bytes, bool intoNode) {
  TTestTree tree;
  tree.SetNodeDataSize(kDataSize);
  tree.OnLoadNode = ReadUserData;
  gTree = &tree;
  tree.SetRootNodeCount(2);
  Fill(stream, bytes);
  try {
    if (intoNode) {
      stream.SetPosition(16);
      tree.InternalAddFromStream(&stream, kVTTreeStreamVersion, tree.GetFirstNoInit());
    } else {
      tree.LoadFromStream(&stream);
    }
  } catch (const EVirtualTreeError& e) {
    return "error " + e.Message() + " " + DescribeTree(tree) + CheckTreeInvariants(tree);
  }
  return DescribeTree(tree) + DescribeData(tree) + CheckTreeInvariants(tree);
}

}  // namespace

TEST(NodeBuffer, RandomOperationsMatchTheMemoryStream) {
  std::mt19937 rng(77);
  for (int round = 0; round < 200; ++round) {
    TNodeBuffer buffer;
    TMemoryStream model;
    TStream* streams[2] = {&buffer, &model};
    for (int step = 0; step < 60; ++step) {
      int op = rng() % 6;
      // Handlers mostly move a few bytes at a time.
      int32_t count = rng() % 2 ? int32_t(rng() % 24) - 2 : int32_t(rng() % 9000) - 50;
      uint32_t from = uint32_t(rng());
      int64_t offset = int64_t(rng() % 12000) - 3000;
      TSeekOrigin origin = TSeekOrigin(rng() % 3);
      std::vector<uint8_t> data(9000);
      for (auto& b : data) b = uint8_t(rng());
      int64_t results[2];
      std::vector<uint8_t> read[2];
      for (int i = 0; i < 2; ++i) {
        TStream* s = streams[i];
        switch (op) {
          case 0:
          case 1:
            results[i] = s->Write(data.data(), count);
            break;
          case 2:
            read[i].assign(9000, 0);
            results[i] = s->Read(read[i].data(), count);
            break;
          case 3:
            results[i] = s->Seek(offset, origin);
            break;
          case 4:
            s->SetSize(offset);
            results[i] = s->Size();
            break;
          default: {
            // Writing from the stream's own bytes (all of them, or a few that
            // may overlap the target), which a growth may move.
            int64_t size = s->Size();
            // Half of the time the bytes lie just before the position.
            int64_t justBefore = std::clamp<int64_t>(s->Position() - int64_t(from % 24), 0, std::max<int64_t>(size - 1, 0));
            int64_t at = size == 0 ? 0 : from % 2 ? justBefore : from % size;
            int32_t n = count >= 0 && count <= 16 ? int32_t(std::min<int64_t>(count, size - at)) : int32_t(size - at);
            if (size == 0)
              results[i] = 0;
            else if (i == 0)
              results[i] = buffer.Write(buffer.Bytes() + at, n);
            else
              results[i] = model.Write(static_cast<const uint8_t*>(model.Memory()) + at, n);
            break;
          }
        }
      }
      ASSERT_EQ(results[0], results[1]) << "round " << round << " step " << step << " op " << op;
      ASSERT_EQ(read[0], read[1]);
      ASSERT_EQ(buffer.Position(), model.Position());
      ASSERT_EQ(BytesOf(buffer), BytesOf(model)) << "round " << round << " step " << step << " op " << op;
    }
  }
}

TEST(NodeBuffer, ExactReadsAndWritesRaiseLikeTheStream) {
  TNodeBuffer buffer;
  uint8_t bytes[4] = {1, 2, 3, 4};
  buffer.WriteBuffer(bytes, 4);
  buffer.WriteBuffer(bytes, 0);
  EXPECT_THROW(buffer.WriteBuffer(bytes, -1), EWriteError);
  buffer.SetPosition(1);
  uint8_t back[4] = {};
  buffer.ReadBuffer(back, 3);
  EXPECT_EQ(back[2], 4);
  EXPECT_THROW(buffer.ReadBuffer(back, 1), EReadError);
  buffer.Reset();
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Position(), 0);
}

TEST(NodeBuffer, DirectWriterGivesTheStreamWritersBytes) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 150; ++round) {
    TTestTree tree;
    BuildSavableTree(tree, rng, 1 + rng() % 300);
    TMemoryStream stream;
    TNodeBuffer buffer;
    tree.SaveToStream(&stream);
    tree.SaveToStream(&buffer);
    ASSERT_EQ(BytesOf(buffer), BytesOf(stream)) << "round " << round;
    // One node with its subtree, written after what is there already.
    std::vector<PVirtualNode> all = AllNodes(tree);
    PVirtualNode node = all[rng() % all.size()];
    tree.SaveToStream(&stream, node);
    tree.SaveToStream(&buffer, node);
    ASSERT_EQ(BytesOf(buffer), BytesOf(stream)) << "round " << round;
  }
}

TEST(NodeBuffer, DirectReaderGivesTheStreamReadersTrees) {
  std::mt19937 rng(99);
  for (int round = 0; round < 150; ++round) {
    TTestTree tree;
    BuildSavableTree(tree, rng, 1 + rng() % 200);
    std::vector<uint8_t> bytes = SavedBytes(tree);
    std::string original = DescribeTree(tree, /*withStates=*/false) + DescribeData(tree);
    for (bool intoNode : {false, true}) {
      TMemoryStream stream;
      TNodeBuffer buffer;
      std::string expected = LoadThrough(stream, bytes, intoNode);
      ASSERT_EQ(LoadThrough(buffer, bytes, intoNode), expected) << "round " << round;
      ASSERT_EQ(expected.find("error"), std::string::npos) << expected;
    }
    // The whole tree read back is the tree saved.
    TTestTree copy;
    copy.SetNodeDataSize(kDataSize);
    copy.OnLoadNode = ReadUserData;
    TNodeBuffer buffer;
    Fill(buffer, bytes);
    gTree = &copy;
    copy.LoadFromStream(&buffer);
    ASSERT_EQ(DescribeTree(copy, /*withStates=*/false) + DescribeData(copy), original) << "round " << round;
  }
}

TEST(NodeBuffer, DamagedStreamsFailAlikeThroughBothReaders) {
  std::mt19937 rng(5150);
  for (int round = 0; round < 300; ++round) {
    TTestTree tree;
    BuildSavableTree(tree, rng, 1 + rng() % 40);
    std::vector<uint8_t> bytes = SavedBytes(tree);
    if (rng() % 3 == 0) bytes.resize(12 + rng() % (bytes.size() - 11));
    int flips = rng() % 5;
    for (int i = 0; i < flips && bytes.size() > 16; ++i) bytes[16 + rng() % (bytes.size() - 16)] ^= uint8_t(1 + rng() % 255);
    bool intoNode = rng() % 2 == 0 && bytes.size() > 16;
    TMemoryStream stream;
    TNodeBuffer buffer;
    ASSERT_EQ(LoadThrough(buffer, bytes, intoNode), LoadThrough(stream, bytes, intoNode)) << "round " << round;
  }
}

// The tree knows its own buffer behind a stream pointer by the address of the
// buffer's type description: the program must hold one such description.
TEST(NodeBuffer, IsKnownBehindAStreamPointerByItsTypeAlone) {
  TNodeBuffer buffer;
  TMemoryStream other;
  TStream* streams[2] = {&buffer, &other};
  EXPECT_EQ(&typeid(*streams[0]), &typeid(TNodeBuffer));
  EXPECT_NE(&typeid(*streams[1]), &typeid(TNodeBuffer));
}

namespace {

// A save handler that does what a careless one may: writes its data, seeks
// back over what it (or the tree) wrote, cuts the stream short, seeks past
// the end and writes there, or leaves the position anywhere. What it does
// follows from the node's data and the stream's size and position only, so
// two streams that behave alike see the same steps.
void HostileSave(TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
  auto* data = static_cast<const uint8_t*>(gTree->GetNodeData(node));
  std::mt19937 rng(data[0] * 131u + data[1] + uint32_t(stream->Position()) * 7u + uint32_t(stream->Size()));
  int steps = 1 + rng() % 3;
  for (int i = 0; i < steps; ++i) {
    int64_t size = stream->Size();
    int64_t position = stream->Position();
    switch (rng() % 6) {
      case 0:
      case 1:
        stream->WriteBuffer(data, 1 + int32_t(rng() % kDataSize));
        break;
      case 2:
        stream->Seek(-int64_t(rng() % 24), soCurrent);
        break;
      case 3:
        stream->SetSize(std::max<int64_t>(size - int64_t(rng() % 30), 0));
        break;
      case 4:
        stream->Seek(int64_t(rng() % 20), soEnd);
        stream->WriteBuffer(data, 1 + int32_t(rng() % 4));
        break;
      default:
        stream->Seek(std::max<int64_t>(position - int64_t(rng() % 40), 0), soBeginning);
        break;
    }
  }
}

}  // namespace

// Save handlers that seek back, cut the stream short or write past its end
// before the tree writes its next headers: the node buffer (headers and
// records written in place where they fit) gives the library stream's bytes.
TEST(NodeBuffer, HostileSaveHandlersGiveTheSameBytesThroughBothWriters) {
  std::mt19937 rng(777);
  for (int round = 0; round < 300; ++round) {
    TTestTree tree;
    BuildSavableTree(tree, rng, 1 + rng() % 60);
    tree.OnSaveNode = HostileSave;
    TMemoryStream stream;
    TNodeBuffer buffer;
    // Sometimes bytes before the run, as a handler's earlier run leaves them.
    std::vector<uint8_t> lead(rng() % 40, uint8_t(round));
    for (TStream* s : {static_cast<TStream*>(&stream), static_cast<TStream*>(&buffer)}) {
      if (!lead.empty()) s->WriteBuffer(lead.data(), int32_t(lead.size()));
      std::vector<PVirtualNode> all = AllNodes(tree);
      tree.SaveToStream(s, round % 2 ? nullptr : all[size_t(round) % all.size()]);
    }
    ASSERT_EQ(buffer.Position(), stream.Position()) << "round " << round;
    ASSERT_EQ(BytesOf(buffer), BytesOf(stream)) << "round " << round;
  }
}

namespace {
// The first node's save handler writes gWrite bytes and leaves the position
// at gLeaveAt (anywhere: inside what it wrote, before it, past the end).
PVirtualNode gFirst = nullptr;
int gWrite = 0;
int64_t gLeaveAt = 0;

void SaveAndLeave(TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
  if (node != gFirst) return;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < gWrite; ++i) bytes.push_back(uint8_t(0xA0 + i));
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), gWrite);
  stream->Seek(gLeaveAt, soBeginning);
}
}  // namespace

// Two leaves; the first one's handler leaves the position short of the end
// (or past it), so the second node's headers and base record are written
// over what is there (or after a gap): the bytes, through the library stream
// and the node buffer, are those the chunks' steps give, each at its place,
// the base record the same as in a plain save.
TEST(NodeBuffer, ChunksWrittenWhereAHandlerLeftThePosition) {
  TTestTree tree;
  tree.SetNodeDataSize(0);
  tree.SetRootNodeCount(2);
  gFirst = tree.GetFirstNoInit();
  TMemoryStream plainStream;
  tree.SaveToStream(&plainStream);
  std::vector<uint8_t> plain = BytesOf(plainStream);
  // Header and count, then per node: node chunk header, base chunk header and record.
  ASSERT_EQ(plain.size(), 16u + 2 * 33u);
  tree.OnSaveNode = SaveAndLeave;
  int cases = 0;
  for (int write : {1, 6, 20, 40}) {
    int64_t end = 57 + write;  // the first node's user data ends there
    for (int64_t at = 50; at <= end + 5; ++at) {
      if (at == 57) continue;  // no user data: the chunk is dropped, another path
      gWrite = write;
      gLeaveAt = at;
      std::vector<uint8_t> expected(plain.begin(), plain.begin() + 49);
      auto put = [&](int64_t offset, const uint8_t* bytes, size_t count) {
        if (expected.size() < size_t(offset) + count) expected.resize(size_t(offset) + count);
        std::memcpy(expected.data() + offset, bytes, count);
      };
      auto put32 = [&](int64_t offset, uint32_t value) { put(offset, reinterpret_cast<uint8_t*>(&value), 4); };
      put32(49, 4);  // the user chunk
      put32(53, 0);
      for (int i = 0; i < write; ++i) expected.push_back(uint8_t(0xA0 + i));
      put32(53, uint32_t(at - 57));  // its size, up to where the handler left
      put32(20, uint32_t(at - 24));  // the first node chunk's size
      put32(at, 1);                  // the second node chunk, 25 bytes long
      put32(at + 4, 25);
      put(at + 8, plain.data() + 57, 25);  // its base chunk header and record
      put32(at + 33, 4);                   // its user chunk, empty: dropped at the end
      put32(at + 37, 0);
      if (expected.size() == size_t(at + 41)) expected.resize(size_t(at + 33));
      TMemoryStream stream;
      TNodeBuffer buffer;
      tree.SaveToStream(&stream);
      tree.SaveToStream(&buffer);
      ASSERT_EQ(BytesOf(stream), expected) << "write " << write << ", left at " << at;
      ASSERT_EQ(BytesOf(buffer), expected) << "write " << write << ", left at " << at;
      ++cases;
    }
  }
  EXPECT_GT(cases, 100);
}
