#include "xml/NodeFilterCall.h"

#include "xml/Document.h"

TdomFilterResult AskNodeFilter(TdomNodeFilter* filter, TdomNode* node, const TdomNode* root) {
  TdomDocument* document = node->GetReferenceDocument();
  if (document == nullptr) return filter->acceptNode(node);
  TdomDocument::TWatch watch(document, node);
  uint64_t stamp = document->StructureStamp();
  TdomFilterResult answer = filter->acceptNode(node);
  if (watch.Document() == nullptr) throw TNodeFilterStop{};
  // An unchanged shape means nothing was freed or moved.
  if (document->StructureStamp() == stamp) return answer;
  if (watch.Node() == nullptr || (node != root && !node->HasAsAncestor(root))) throw TNodeFilterStop{};
  return answer;
}
