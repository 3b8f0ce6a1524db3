#include "xml/NodeFilterCall.h"

#include "xml/Document.h"

TdomFilterResult AskNodeFilter(TdomNodeFilter* filter, TdomNode* node, const TdomNode* root) {
  TdomDocument* document = node->GetReferenceDocument();
  TdomDocument::TWatch watch(document);
  if (document == nullptr) return watch.Call(filter, node);
  uint64_t stamp = document->StructureStamp();
  uint64_t freed = document->FreedNodeCount();
  uint64_t traversalsFreed = document->FreedTraversalCount();
  TdomFilterResult answer = watch.Call(filter, node);
  // The search holds more nodes than this one (where it started, the
  // parents it climbed): any node freed may be one of them. Any traversal
  // freed may be the one that asked.
  if (watch.Document() == nullptr || document->FreedNodeCount() != freed ||
      document->FreedTraversalCount() != traversalsFreed) {
    throw TNodeFilterStop{};
  }
  // An unchanged shape means nothing moved.
  if (document->StructureStamp() == stamp) return answer;
  if (node != root && !node->HasAsAncestor(root)) throw TNodeFilterStop{};
  return answer;
}
