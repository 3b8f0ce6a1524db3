// String-values as evaluation reads them: the same text as
// GetXPathStringValue, with the nodes walked and the text built charged to
// the evaluation, which may build many of them for one comparison.
#include "xml/Document.h"
#include "xml/Element.h"
#include "xml/XPathValues.h"

namespace {

// A code unit copied costs far less than a node visited.
constexpr size_t kUnitsPerCharge = 16;

bool IsEntered(TdomNodeType type) { return type == ntElement_Node || type == ntEntity_Reference_Node; }

// The text and CDATA below root in document order, through elements and
// entity references; visits counts the nodes walked.
std::u16string CollectText(const TdomNode* root, size_t& visits) {
  std::u16string text;
  const TdomNode* current = root->GetFirstChildNode();
  while (current != nullptr) {
    ++visits;
    TdomNodeType type = current->GetNodeType();
    if (type == ntText_Node || type == ntCDATA_Section_Node) text += current->GetNodeValue();
    const TdomNode* child = IsEntered(type) ? current->GetFirstChildNode() : nullptr;
    if (child != nullptr) {
      current = child;
      continue;
    }
    while (current != root && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
    current = current == root ? nullptr : current->GetNextSiblingNode();
  }
  return text;
}

}  // namespace

std::u16string XPathStringValueOf(const TdomNode* node) {
  const TdomNode* root = node;
  if (node->GetNodeType() == ntDocument_Node) root = static_cast<const TdomDocument*>(node)->GetDocumentElement();
  if (root == nullptr || !IsEntered(root->GetNodeType())) {
    std::u16string value = node->GetXPathStringValue();
    ChargeRunningXPathWork(1 + value.size() / kUnitsPerCharge);
    return value;
  }
  size_t visits = 1;
  std::u16string text = CollectText(root, visits);
  ChargeRunningXPathWork(visits + text.size() / kUnitsPerCharge);
  return text;
}
