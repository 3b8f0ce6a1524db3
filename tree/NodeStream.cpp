// The node stream: header, node chunks (base record, children, user data),
// written by SaveToStream and read back by LoadFromStream.
//
// Streams are untrusted (they come from the clipboard and other processes):
// every size is checked against the enclosing chunk and the bytes left, child
// counts against the room their chunks need, and nesting depth is bounded.
// Nodes are read into a detached stand-in first and join the tree only when
// the whole read succeeded, so a refused stream changes nothing. Saving holds
// to the same depth bound, so what a tree saves it can load.
#include <bit>
#include <cstring>
#include <typeinfo>

#include "core/Stream.h"
#include "tree/NodeBuffer.h"
#include "tree/TreeMath.h"
#include "tree/VirtualTreeCore.h"

namespace {
constexpr int32_t kNodeChunk = 1;
constexpr int32_t kBaseChunk = 2;
constexpr int32_t kUserChunk = 4;
constexpr int32_t kChunkHeaderSize = 8;
constexpr int32_t kBaseRecordSize = 17;
constexpr int32_t kBaseRecordSizeV1 = 12;
const uint16_t kMagic[6] = {0x2045, 'V', 'T', kVTTreeStreamVersion, 0x0020, 0x2046};

// Values are stored little-endian, as the processor holds them: whole words
// are copied (a word assembled from byte stores and read back at once stalls
// the processor on every field).
static_assert(std::endian::native == std::endian::little);

void PutU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t GetU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t GetU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// Writes N bytes that fill(bytes) puts in place: in a node buffer straight
// into the block, in any other stream through a copy.
template <int32_t N, class S, class Fill>
void WriteFilled(S& stream, Fill fill) {
  uint8_t bytes[N];
  fill(bytes);
  stream.WriteBuffer(bytes, N);
}

template <int32_t N, class Fill>
void WriteFilled(TNodeBuffer& buffer, Fill fill) {
  if (uint8_t* at = buffer.Claim(N)) {
    fill(at);
    return;
  }
  uint8_t bytes[N];
  fill(bytes);
  buffer.WriteBuffer(bytes, N);
}

template <class S>
void WriteU32(S& stream, uint32_t value) {
  WriteFilled<4>(stream, [&](uint8_t* p) { PutU32(p, value); });
}

template <class S>
void WriteChunkHeader(S& stream, int32_t type, int32_t size) {
  WriteFilled<8>(stream, [&](uint8_t* p) {
    PutU32(p, uint32_t(type));
    PutU32(p + 4, uint32_t(size));
  });
}

// Writes value over the four bytes at at (written before); the position is
// left anywhere.
template <class S>
void PatchU32(S& stream, int64_t at, uint32_t value) {
  stream.Seek(at, soBeginning);
  WriteU32(stream, value);
}

// In a node buffer the bytes are changed in place (unless a handler cut the
// buffer short meanwhile).
void PatchU32(TNodeBuffer& buffer, int64_t at, uint32_t value) {
  if (at + 4 > buffer.Size()) {
    buffer.Seek(at, soBeginning);
    WriteU32(buffer, value);
    return;
  }
  PutU32(buffer.BytesAt(at), value);
}

// Writes the size of the chunk from startPos to endPos into its header; the
// position ends at endPos.
template <class S>
void FinishChunk(S& stream, int64_t startPos, int64_t endPos) {
  PatchU32(stream, startPos + 4, static_cast<uint32_t>(endPos - startPos - kChunkHeaderSize));
  stream.Seek(endPos, soBeginning);
}

template <class S>
void ReadExact(S& stream, void* buffer, int32_t count) {
  if (stream.Read(buffer, count) != count) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
}

// The next count bytes of the stream (the tree's error when fewer are left):
// copied to spare, or in a node buffer where they lie.
template <class S>
const uint8_t* ReadView(S& stream, uint8_t* spare, int32_t count) {
  ReadExact(stream, spare, count);
  return spare;
}

const uint8_t* ReadView(TNodeBuffer& buffer, uint8_t*, int32_t count) {
  const uint8_t* bytes = buffer.Take(count);
  if (bytes == nullptr) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  return bytes;
}

// The node buffer behind stream, or null for any other stream: the tree's
// own runs are written and read without a virtual call per field. The type
// is known by the address of its description (one in the program), which
// asks no library call; a buffer not known so goes the general way.
TNodeBuffer* AsNodeBuffer(TStream* stream) {
  return &typeid(*stream) == &typeid(TNodeBuffer) ? static_cast<TNodeBuffer*>(stream) : nullptr;
}

// Restores a member on leaving a scope; not when a handler freed the tree
// meanwhile (the call-out scope given, opened before, tells).
template <class T>
struct Restore {
  T& target;
  T saved;
  const TVirtualTreeCore::TCallOutScope* scope;
  explicit Restore(T& target_, const TVirtualTreeCore::TCallOutScope* scope_ = nullptr)
      : target(target_), saved(target_), scope(scope_) {}
  ~Restore() {
    if (scope == nullptr || !scope->TreeGone()) target = saved;
  }
};
}  // namespace

void TVirtualTreeCore::ReadStreamExact(TStream* stream, void* buffer, int32_t count) { ReadExact(*stream, buffer, count); }

void TVirtualTreeCore::FinishChunkHeader(TStream* stream, int64_t startPos, int64_t endPos) {
  FinishChunk(*stream, startPos, endPos);
}

int TVirtualTreeCore::WrittenDepth(PVirtualNode node) const {
  // Children are written for initialised nodes, and with toInitOnSave for
  // every node (it is initialised on the way). Walked without recursion.
  bool initOnSave = options.misc.Contains(toInitOnSave);
  auto descends = [&](PVirtualNode run) {
    return run->FirstChild != nullptr && (initOnSave || (run->States & vsInitialized));
  };
  PVirtualNode top = node == nullptr ? root : node;
  int depth = node == nullptr ? 0 : 1;
  int deepest = depth;
  if (!descends(top) && top != root) return deepest;
  PVirtualNode run = top->FirstChild;
  ++depth;
  while (run != nullptr) {
    if (depth > deepest) deepest = depth;
    if (descends(run)) {
      run = run->FirstChild;
      ++depth;
      continue;
    }
    while (run != top && run->NextSibling == nullptr) {
      run = run->Parent;
      --depth;
    }
    if (run == top) break;
    run = run->NextSibling;
  }
  return deepest;
}

void TVirtualTreeCore::SaveToStream(TStream* stream, PVirtualNode node) {
  if (node == root) node = nullptr;
  // A stream deeper than a load accepts is refused before anything is written.
  if (WrittenDepth(node) > kMaxStreamDepth) RaiseTreeError(STreeTooDeepToSave, hcTFWrongStreamFormat);
  // The handlers asked on the way may free the whole tree: the stream then
  // ends with the nodes written so far, and the tree is touched no more.
  TCallOutScope scope(*this);
  Restore<int> keepDepth(writeDepth, &scope);
  writeDepth = 0;
  uint8_t header[12];
  for (int i = 0; i < 6; ++i) {
    header[2 * i] = uint8_t(kMagic[i]);
    header[2 * i + 1] = uint8_t(kMagic[i] >> 8);
  }
  stream->WriteBuffer(header, 12);
  int64_t countPos = stream->Position();
  if (node != nullptr) {
    WriteU32(*stream, 1);
    WriteNode(stream, node);
    return;
  }
  WriteU32(*stream, root->ChildCount);
  // The count stored is the number of chunks actually written.
  uint32_t written = 0;
  for (PVirtualNode run = root->FirstChild; run != nullptr; ++written) {
    WriteNode(stream, run);
    run = scope.TreeGone() ? nullptr : NextToWrite(root, run);
  }
  int64_t endPos = stream->Position();
  stream->Seek(countPos, soBeginning);
  WriteU32(*stream, written);
  stream->Seek(endPos, soBeginning);
}

PVirtualNode TVirtualTreeCore::NextToWrite(PVirtualNode parent, PVirtualNode written) const {
  // A child freed or moved away by a handler while it was written ends the
  // chain: its link no longer leads through parent's children.
  if (Gone(parent) || Gone(written) || written->Parent != parent) return nullptr;
  return written->NextSibling;
}

void TVirtualTreeCore::WriteNode(TStream* stream, PVirtualNode node) {
  if (TNodeBuffer* buffer = AsNodeBuffer(stream))
    WriteNodeTo(*buffer, node);
  else
    WriteNodeTo(*stream, node);
}

template <class S>
void TVirtualTreeCore::WriteNodeTo(S& out, PVirtualNode node) {
  // The depth was checked before writing; children that toInitOnSave makes
  // on the way are held to the same bound.
  // The handlers asked on the way (initialisation, saving, texts) may free
  // any node: what they freed is written as it was when it went.
  TCallOutScope scope(*this);
  Restore<int> keepDepth(writeDepth, &scope);
  if (++writeDepth > kMaxStreamDepth) RaiseTreeError(STreeTooDeepToSave, hcTFWrongStreamFormat);
  if (options.misc.Contains(toInitOnSave)) {
    if (!(node->States & vsInitialized)) InitNode(node);
    if (!Gone(node) && (node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  int64_t start = out.Position();
  WriteChunkHeader(out, kNodeChunk, 0);
  WriteChunks(&out, node);
  FinishChunk(out, start, out.Position());
}

void TVirtualTreeCore::WriteChunks(TStream* stream, PVirtualNode node) {
  if (TNodeBuffer* buffer = AsNodeBuffer(stream))
    WriteChunksTo(*buffer, node);
  else
    WriteChunksTo(*stream, node);
}

template <class S>
void TVirtualTreeCore::WriteChunksTo(S& out, PVirtualNode node) {
  int64_t start = out.Position();
  // Without children to follow, the base chunk's size is known at once.
  bool withChildren = (node->States & vsInitialized) && !Gone(node) && node->FirstChild != nullptr;
  uint16_t stored = node->States & kStoredNodeStates;
  // The chunk's header and the record, in one piece.
  WriteFilled<kChunkHeaderSize + kBaseRecordSize>(out, [&](uint8_t* header) {
    PutU32(header, uint32_t(kBaseChunk));
    PutU32(header + 4, withChildren ? 0 : uint32_t(kBaseRecordSize));
    uint8_t* record = header + kChunkHeaderSize;
    PutU32(record, 0);
    PutU32(record + 4, node->NodeHeight);
    std::memcpy(record + 8, &stored, 2);
    record[10] = node->Align;
    record[11] = node->CheckState;
    record[12] = node->CheckType;
    PutU32(record + 13, 0);
  });
  int64_t recordPos = start + kChunkHeaderSize;
  // Children follow only for initialised nodes; the count says how many did.
  uint32_t written = 0;
  if (withChildren)
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = NextToWrite(node, child), ++written)
      WriteNodeTo(out, child);
  if (withChildren) {
    int64_t end = out.Position();
    if (written > 0) PatchU32(out, recordPos, written);
    FinishChunk(out, start, end);
    start = end;
  } else {
    start += kChunkHeaderSize + kBaseRecordSize;
  }

  if (Gone(node)) return;
  WriteChunkHeader(out, kUserChunk, 0);
  DoSaveNode(node == root ? nullptr : node, &out);
  int64_t end = out.Position();
  if (end == start + kChunkHeaderSize) {
    // No empty user chunk is stored.
    out.Seek(start, soBeginning);
    if (out.Size() == end) out.SetSize(start);
    return;
  }
  FinishChunk(out, start, end);
}

void TVirtualTreeCore::LoadFromStream(TStream* stream) {
  if (options.misc.Contains(toReadOnly)) return;
  // The header is checked before anything of the tree is touched.
  uint8_t header[12];
  if (stream->Read(header, 12) != 12) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  if (GetU16(header) != kMagic[0] || GetU16(header + 2) != kMagic[1] || GetU16(header + 4) != kMagic[2] ||
      GetU16(header + 10) != kMagic[5])
    RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  uint16_t version = GetU16(header + 6);
  if (version < 1 || version > kVTTreeStreamVersion) RaiseTreeError(SWrongStreamVersion, hcTFWrongStreamVersion);
  uint32_t count = 0x7FFFFFFF;
  if (version >= 2) {
    uint8_t bytes[4];
    ReadStreamExact(stream, bytes, 4);
    count = GetU32(bytes);
  }
  // Every top-level node is read under a stand-in; the old content goes only
  // once the whole stream has been read. Nodes read are not in the tree yet:
  // the update bracket keeps handlers from painting or measuring them. A
  // load handler that frees the tree ends the read: what was read goes.
  TCallOutScope scope(*this);
  BeginUpdate();
  bool outermost = streamReads++ == 0;
  PVirtualNode standIn = nullptr;
  try {
    standIn = MakeNewNode();
    // Handlers see the nodes read as top-level nodes of this tree.
    standIn->Parent = root;
    Restore<int64_t> keepLimit(readLimit);
    Restore<uint64_t> keepBudget(loadHeightBudget);
    Restore<PVirtualNode> keepRoot(streamRootStandIn);
    readLimit = stream->Size();
    loadHeightBudget = UINT32_MAX - uint64_t(root->NodeHeight);
    streamRootStandIn = standIn;
    while (stream->Position() < readLimit && count > 0) {
      AppendStreamChild(standIn, MakeNewNode());
      ReadNode(stream, version, standIn->LastChild);
      if (scope.TreeGone()) break;
      --count;
    }
    if (!scope.TreeGone()) Clear();
  } catch (...) {
    if (scope.TreeGone()) throw;
    if (standIn != nullptr) {
      FreeStreamChildren(standIn, nullptr);
      FreeNodeRecord(standIn);
    }
    --streamReads;
    if (outermost) StreamReadFinished(/*complete=*/false);
    EndUpdate();
    throw;
  }
  if (scope.TreeGone()) {
    // The teardown freed the nodes read, telling their handlers; what a read
    // added after is freed by the tree's own override only.
    FreeStreamChildren(standIn, nullptr);
    FreeNodeRecord(standIn);
    --streamReads;
    return;
  }
  while (PVirtualNode child = standIn->FirstChild) {
    standIn->FirstChild = child->NextSibling;
    child->NextSibling = nullptr;
    child->PrevSibling = nullptr;
    InternalConnectNode(child, root, this, amAddChildLast);
  }
  FreeNodeRecord(standIn);
  AdoptLoadedSelection(root);
  InvalidateCache();
  --streamReads;
  if (outermost) StreamReadFinished(/*complete=*/true);
  if (scope.TreeGone()) return;
  DoNodeCopied(nullptr);
  if (scope.TreeGone()) return;
  EndUpdate();
}

void TVirtualTreeCore::AppendStreamChild(PVirtualNode node, PVirtualNode child) {
  child->Parent = node;
  child->PrevSibling = node->LastChild;
  child->Index = node->LastChild != nullptr ? node->LastChild->Index + 1 : 0;
  if (node->LastChild != nullptr)
    node->LastChild->NextSibling = child;
  else
    node->FirstChild = child;
  node->LastChild = child;
  node->ChildCount++;
}

void TVirtualTreeCore::FreeStreamChildren(PVirtualNode node, PVirtualNode keep) {
  // The children after keep (all for null) with their subtrees, post-order
  // without recursion; their handlers free what OnLoadNode made.
  PVirtualNode run = node->LastChild;
  while (run != nullptr && run != keep) {
    if (run->LastChild != nullptr) {
      run = run->LastChild;
      continue;
    }
    PVirtualNode up = run->Parent;
    up->LastChild = run->PrevSibling;
    if (up->LastChild != nullptr)
      up->LastChild->NextSibling = nullptr;
    else
      up->FirstChild = nullptr;
    DoFreeNode(run);
    run = up == node ? node->LastChild : up;
  }
}

void TVirtualTreeCore::InternalAddFromStream(TStream* stream, uint16_t version, PVirtualNode node) {
  bool outermost = streamReads++ == 0;
  try {
    ReadStreamInto(stream, version, node);
  } catch (...) {
    --streamReads;
    if (outermost) StreamReadFinished(/*complete=*/false);
    throw;
  }
  --streamReads;
  if (outermost) StreamReadFinished(/*complete=*/true);
}

PVirtualNode TVirtualTreeCore::AddNodeFromStream(TStream* stream, uint16_t version, PVirtualNode destination,
                                                 TVTNodeAttachMode mode) {
  bool outermost = streamReads++ == 0;
  PVirtualNode node = nullptr;
  // Freed here, unless a load handler freed the tree: its teardown frees the
  // node while the handlers are still told.
  auto freeDetached = [&] {
    if (!detachedReads.empty() && detachedReads.back() == node) detachedReads.pop_back();
    if (Gone(node)) return;
    FreeStreamChildren(node, nullptr);
    DoFreeNode(node);
  };
  try {
    node = MakeNewNode();
    node->Parent = mode == amInsertBefore || mode == amInsertAfter ? destination->Parent : destination;
    detachedReads.push_back(node);
    Restore<int64_t> keepLimit(readLimit);
    Restore<uint64_t> keepBudget(loadHeightBudget);
    if (streamDepth == 0) {
      readLimit = stream->Size();
      // No total height may leave 32 bits, whatever the stream holds.
      loadHeightBudget = UINT32_MAX - uint64_t(root->TotalHeight);
    }
    ReadNode(stream, version, node);
  } catch (...) {
    if (node != nullptr) freeDetached();
    --streamReads;
    if (outermost) StreamReadFinished(/*complete=*/false);
    throw;
  }
  if (treeGoing || InDeletion(destination)) {
    // The place (or the tree) went while the node was read: it never joins the tree.
    freeDetached();
    node = nullptr;
  } else {
    detachedReads.pop_back();
    InternalConnectNode(node, destination, this, mode, /*reindex=*/false);
    AdoptLoadedSelection(node);
  }
  --streamReads;
  if (outermost) StreamReadFinished(/*complete=*/node != nullptr);
  return node;
}

void TVirtualTreeCore::ReadStreamInto(TStream* stream, uint16_t version, PVirtualNode node) {
  if (node == nullptr) node = root;
  bool isRoot = node == root;
  PVirtualNode parent = isRoot ? nullptr : node->Parent;
  // What the node contributed to its parent chain before reading.
  auto heightShare = [&]() -> int64_t {
    return (!isRoot && (node->States & vsVisible) && (parent->States & vsExpanded)) ? node->TotalHeight : 0;
  };
  auto visibleShare = [&]() -> int64_t {
    if (isRoot) return CountVisibleChildren(root);
    return IsFullyVisible(node) ? int64_t(CountVisibleChildren(node)) + 1 : 0;
  };
  int64_t oldCount = node->TotalCount;
  int64_t oldHeight = heightShare();
  int64_t oldVisible = visibleShare();
  // New children are read under a stand-in for the root (whose own record is
  // not stored), or after the node's last child; a refused stream frees them
  // and gives the node back its record, so nothing changes.
  TVirtualNode saved = *node;
  PVirtualNode target = isRoot ? MakeNewNode() : node;
  if (isRoot) target->Parent = root;
  BeginUpdate();
  {
    Restore<int64_t> keepLimit(readLimit);
    Restore<uint64_t> keepBudget(loadHeightBudget);
    Restore<PVirtualNode> keepRoot(streamRootStandIn);
    if (streamDepth == 0) {
      readLimit = stream->Size();
      // No total height may leave 32 bits, whatever the stream holds.
      loadHeightBudget = UINT32_MAX - uint64_t(root->TotalHeight);
    }
    if (isRoot) streamRootStandIn = target;
    try {
      ReadNode(stream, version, target);
    } catch (...) {
      FreeStreamChildren(target, isRoot ? nullptr : saved.LastChild);
      if (isRoot)
        FreeNodeRecord(target);
      else
        *node = saved;
      EndUpdate();
      throw;
    }
  }
  if (isRoot) {
    while (PVirtualNode child = target->FirstChild) {
      target->FirstChild = child->NextSibling;
      child->NextSibling = nullptr;
      child->PrevSibling = nullptr;
      AppendStreamChild(root, child);
    }
    FreeNodeRecord(target);
    FixNodeTotals(root);
  }
  if (!isRoot) {
    PropagateTotalCount(parent, int64_t(node->TotalCount) - oldCount, true);
    PropagateTotalHeight(parent, heightShare() - oldHeight, true);
    if (parent != root) DetermineHiddenChildrenFlag(parent);
  }
  visibleCount = CheckedU32(visibleCount, visibleShare() - oldVisible);
  AdoptLoadedSelection(node);
  InvalidateCache();
  EndUpdate();
}

void TVirtualTreeCore::AdoptLoadedSelection(PVirtualNode node) {
  // A loaded selection becomes the selection of a multi-select tree, else it is dropped.
  bool multi = options.selection.Contains(toMultiSelect);
  // A node read without children into a batch (most nodes of a run): only
  // its own flag counts.
  if (multi && selectionBatch > 0 && node != root && node->FirstChild == nullptr) {
    if ((node->States & vsSelected) && !IsInSelection(node)) batchedSelection.push_back(node);
    return;
  }
  ClearTempCache();
  CompactSelection();
  PVirtualNode stop = node == root ? nullptr : node;
  PVirtualNode run = node == root ? root->FirstChild : node;
  while (run != nullptr) {
    if (run->States & vsSelected) {
      if (!IsInSelection(run)) {
        // A batched node keeps its flag until the batch joins the selection.
        if (multi && selectionBatch > 0) {
          batchedSelection.push_back(run);
        } else {
          run->States &= ~vsSelected;
          if (multi) InternalCacheNode(run);
        }
      }
    }
    if (run->FirstChild != nullptr) {
      run = run->FirstChild;
      continue;
    }
    while (run != nullptr && run != stop && run->NextSibling == nullptr) {
      run = run->Parent;
      if (run == root) run = nullptr;
    }
    if (run == nullptr || run == stop) break;
    run = run->NextSibling;
  }
  if (!tempNodeCache.empty()) InternalAddToSelection(tempNodeCache, true);
  ClearTempCache();
}

void TVirtualTreeCore::EndLoadedSelectionBatch() {
  if (selectionBatch > 0) --selectionBatch;
  if (selectionBatch > 0 || batchedSelection.empty()) return;
  std::vector<PVirtualNode> nodes;
  nodes.swap(batchedSelection);
  InternalAddToSelection(nodes, true);
}

void TVirtualTreeCore::ReadNode(TStream* stream, uint16_t version, PVirtualNode node) {
  if (TNodeBuffer* buffer = AsNodeBuffer(stream))
    ReadNodeFrom(*buffer, version, node);
  else
    ReadNodeFrom(*stream, version, node);
}

template <class S>
void TVirtualTreeCore::ReadNodeFrom(S& in, uint16_t version, PVirtualNode node) {
  Restore<int> keepDepth(streamDepth);
  if (++streamDepth > kMaxStreamDepth) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  uint8_t spare[8];
  if (readLimit - in.Position() < kChunkHeaderSize) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  const uint8_t* header = ReadView(in, spare, 8);
  int32_t type = int32_t(GetU32(header));
  int32_t size = int32_t(GetU32(header + 4));
  if (type != kNodeChunk) RaiseTreeError(SCorruptStream1, hcTFCorruptStream1);
  if (size < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  int64_t position = in.Position();
  if (size > readLimit - position) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  int64_t end = position + size;
  Restore<int64_t> keepLimit(readLimit);
  readLimit = end;
  while (in.Position() < end) {
    position = in.Position();
    if (end - position < kChunkHeaderSize) RaiseTreeError(SCorruptStream2, hcTFCorruptStream2);
    header = ReadView(in, spare, 8);
    int32_t chunkType = int32_t(GetU32(header));
    int32_t chunkSize = int32_t(GetU32(header + 4));
    if (chunkSize < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
    if (chunkSize > end - in.Position()) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
    int64_t chunkEnd = in.Position() + chunkSize;
    ReadChunk(&in, version, node, chunkType, chunkSize);
    // A load handler freed the tree, whose teardown freed the nodes read: the read ends.
    if (treeGoing) return;
    // Whatever a chunk reader did, the next chunk starts where this one ends.
    if (in.Position() != chunkEnd) in.Seek(chunkEnd, soBeginning);
  }
  if (in.Position() != end) RaiseTreeError(SCorruptStream2, hcTFCorruptStream2);
}

void TVirtualTreeCore::FixNodeTotals(PVirtualNode node) {
  int64_t count = 1;
  int64_t height = node->NodeHeight;
  uint32_t children = 0;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    ++children;
    count += child->TotalCount;
    if ((node->States & vsExpanded) && (child->States & vsVisible)) height += child->TotalHeight;
  }
  node->ChildCount = children;
  node->TotalCount = CheckedU32(0, count);
  node->TotalHeight = CheckedU32(0, height);
  if (children > 0) {
    node->States |= vsHasChildren;
    DetermineHiddenChildrenFlag(node);
  }
}

bool TVirtualTreeCore::ReadChunk(TStream* stream, uint16_t version, PVirtualNode node, int32_t chunkType,
                                 int32_t chunkSize) {
  if (TNodeBuffer* buffer = AsNodeBuffer(stream)) return ReadChunkFrom(*buffer, version, node, chunkType, chunkSize);
  return ReadChunkFrom(*stream, version, node, chunkType, chunkSize);
}

template <class S>
bool TVirtualTreeCore::ReadChunkFrom(S& in, uint16_t version, PVirtualNode node, int32_t chunkType,
                                     int32_t chunkSize) {
  int64_t start = in.Position();
  int64_t chunkEnd = start + chunkSize;
  switch (chunkType) {
    case kBaseChunk: {
      int32_t recordSize = version >= 2 ? kBaseRecordSize : kBaseRecordSizeV1;
      if (chunkSize < recordSize) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
      uint8_t spare[kBaseRecordSize];
      const uint8_t* record = ReadView(in, spare, recordSize);
      uint32_t childCount = GetU32(record);
      uint32_t height = GetU32(record + 4);
      uint16_t stored;
      uint8_t align, checkState, checkType;
      if (version >= 2) {
        stored = GetU16(record + 8);
        align = record[10];
        checkState = record[11];
        checkType = record[12];
      } else {
        stored = record[8];
        stored |= (record[8] & 0x80) ? vsSelected : vsVisible;
        align = record[9];
        checkState = record[10];
        checkType = record[11];
      }
      // Each child needs at least a node header, a base header and a record.
      int64_t minChild = 2 * kChunkHeaderSize + recordSize;
      if (int64_t(childCount) * minChild > chunkEnd - in.Position())
        RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
      if (!IsStreamRootNode(node)) {
        if (height > 0xFFFF) height = 0xFFFF;
        if (height > loadHeightBudget) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
        loadHeightBudget -= height;
        node->States = (node->States & ~kStoredNodeStates) | (stored & kStoredNodeStates);
        node->NodeHeight = static_cast<uint16_t>(height);
        node->Align = align;
        node->CheckState = checkState <= csMixedPressed ? TCheckState(checkState) : csUncheckedNormal;
        node->CheckType = checkType <= ctButton ? TCheckType(checkType) : ctNone;
        FixNodeTotals(node);
        // Without children read, the totals are complete.
        if (childCount == 0) return true;
      }
      Restore<int64_t> keepLimit(readLimit);
      readLimit = chunkEnd;
      // Children are read under a node that is not in the tree yet: a failure
      // frees them all with the stand-in.
      for (uint32_t i = 0; i < childCount; ++i) {
        AppendStreamChild(node, MakeNewNode());
        ReadNodeFrom(in, version, node->LastChild);
        if (treeGoing) return true;
      }
      FixNodeTotals(node);
      return true;
    }
    case kUserChunk: {
      if (chunkSize < 1) return true;
      // What the handler loads into the node is freed by OnFreeNode, initialised or not.
      if (!IsStreamRootNode(node)) node->States |= vsInitialUserData;
      DoLoadNode(IsStreamRootNode(node) ? nullptr : node, &in);
      int64_t at = in.Position();
      if (at != chunkEnd) in.Seek(chunkEnd, soBeginning);
      return at != start;
    }
    default:
      in.Seek(chunkEnd, soBeginning);
      return false;
  }
}

void TVirtualTreeCore::SkipNode(TStream* stream) {
  uint8_t header[8];
  ReadStreamExact(stream, header, 8);
  if (int32_t(GetU32(header)) != kNodeChunk) RaiseTreeError(SCorruptStream1, hcTFCorruptStream1);
  int32_t size = int32_t(GetU32(header + 4));
  if (size < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  if (size > stream->Size() - stream->Position()) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  stream->Seek(size, soCurrent);
}
