// Virtual tree node streams (untrusted: clipboard and other processes): any
// input loads or fails with EVirtualTreeError; a refused stream leaves the
// tree as it was; the tree's totals, links, visible count and selection are
// exact; and what loaded saves and loads back to the same structure.
#include <cstdio>
#include <cstdlib>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"

namespace {

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "NodeStream_fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

// False when the stream was refused.
bool Load(TTestTree& tree, const uint8_t* data, size_t size) {
  TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int32_t>(size));
  stream.SetPosition(0);
  try {
    tree.LoadFromStream(&stream);
    return true;
  } catch (const EVirtualTreeError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  TTestTree tree;
  tree.SetNodeDataSize(4);
  TTreeOptionValues values = tree.OptionValues();
  if (size > 0 && (data[size - 1] & 1)) values.selection.Include(toMultiSelect);
  tree.SetOptions(values);
  tree.OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream* s) {
    uint8_t bytes[6];
    s->Read(bytes, sizeof(bytes));
  };
  // Content from before: a refused stream must leave it exactly so.
  tree.SetRootNodeCount(2);
  tree.SetChildCount(tree.GetFirst(), 1);
  std::string before = DescribeTree(tree);
  if (!Load(tree, data, size)) Check(DescribeTree(tree) == before, "a refused stream changed the tree");
  std::string problem = CheckTreeInvariants(tree);
  Check(problem.empty(), "invariant after load:", problem);
  Check(tree.UpdateCount() == 0, "update bracket left open");

  TMemoryStream saved;
  tree.SaveToStream(&saved);
  TTestTree copy;
  copy.SetNodeDataSize(4);
  copy.SetOptions(values);
  saved.SetPosition(0);
  copy.LoadFromStream(&saved);
  Check(CheckTreeInvariants(copy).empty(), "invariant after round trip");
  Check(DescribeTree(copy) == DescribeTree(tree), "round trip changed the tree");
  return 0;
}
