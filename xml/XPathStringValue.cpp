// String-values as evaluation reads them: the same text as
// GetXPathStringValue, with the nodes walked and the text built charged to
// the evaluation, which may build many of them for one comparison.
#include "xml/Document.h"
#include "xml/Element.h"
#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/XPathValues.h"

namespace {

// Measured against an axis step's unit (a node selected, tested and
// kept): a node walked here costs about a quarter of it, a code unit copied
// a sixty-fourth.
constexpr size_t kVisitsPerUnit = 4;
constexpr size_t kCodeUnitsPerUnit = 64;
// Reading a number looks at each code unit several times.
constexpr size_t kNumberCodeUnitsPerUnit = 8;

bool IsEntered(TdomNodeType type) { return type == ntElement_Node || type == ntEntity_Reference_Node; }

}  // namespace

std::u16string XPathStringValueOf(const TdomNode* node) {
  const TdomNode* root = node;
  if (node->GetNodeType() == ntDocument_Node) root = static_cast<const TdomDocument*>(node)->GetDocumentElement();
  if (root == nullptr || !IsEntered(root->GetNodeType()) || root->GetFirstChildNode() == nullptr) {
    std::u16string value = node->GetXPathStringValue();
    ChargeRunningXPathWork(1 + value.size() / kCodeUnitsPerUnit);
    return value;
  }
  size_t visits = 1;
  std::u16string text = CollectTextBelow(root, visits);
  ChargeRunningXPathWork(1 + visits / kVisitsPerUnit + text.size() / kCodeUnitsPerUnit);
  return text;
}

double XPathNumberValueOf(const TdomNode* node) { return XPathTextToNumber(XPathStringValueOf(node)); }

double XPathTextToNumber(std::u16string_view text) {
  ChargeRunningXPathWork(text.size() / kNumberCodeUnitsPerUnit);
  return XPathWideStrToNumber(text);
}

TdomXPathNumberRange XPathNumberRangeOf(const TdomXPathCustomResult* set) {
  TdomXPathNumberRange range;
  for (int i = 0, n = set->Length(); i < n; ++i) {
    double value = XPathNumberValueOf(set->Item(i));
    if (value != value) continue;  // NaN
    if (!range.any || value < range.min) range.min = value;
    if (!range.any || value > range.max) range.max = value;
    range.any = true;
  }
  return range;
}

void ChargeXPathString(size_t length) { ChargeRunningXPathWork(1 + length / kCodeUnitsPerUnit); }
