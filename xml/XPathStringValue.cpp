// String-values as evaluation reads them: the same text as
// GetXPathStringValue, with the nodes walked and the text built charged to
// the evaluation, which may build many of them for one comparison.
#include "xml/Document.h"
#include "xml/Element.h"
#include "xml/EntityExpansion.h"
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
// An attribute value with references is read unit by unit, each reference
// replaced (a character reference converted, an entity's text expanded by
// the declarations): far more than a copy.
constexpr size_t kReferenceCodeUnitsPerUnit = 2;
constexpr int64_t kExpandedCodeUnitsPerUnit = 4;

bool IsEntered(TdomNodeType type) { return type == ntElement_Node || type == ntEntity_Reference_Node; }

// An attribute's string-value, its references replaced: paid for by the
// stored text it reads (before it does) and by the entity text it expands.
std::u16string AttributeStringValue(const TdomNode* attr) {
  std::u16string stored = attr->GetNodeValue();
  if (stored.find(u'&') != std::u16string::npos) ChargeRunningXPathWork(stored.size() / kReferenceCodeUnitsPerUnit);
  TdomDocument* document = attr->GetOwnerDocument();
  // Held here, the document's expansion totals count this value's expansion alone.
  TEntityExpansionBudgetHold hold(document);
  int64_t before = document != nullptr ? document->ExpansionBudget().chars : 0;
  std::u16string value = attr->GetXPathStringValue();
  int64_t expanded = document != nullptr ? document->ExpansionBudget().chars - before : 0;
  ChargeRunningXPathWork(1 + value.size() / kCodeUnitsPerUnit + size_t(expanded / kExpandedCodeUnitsPerUnit));
  return value;
}

}  // namespace

std::u16string XPathStringValueOf(const TdomNode* node) {
  const TdomNode* root = node;
  if (node->GetNodeType() == ntAttribute_Node) return AttributeStringValue(node);
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
