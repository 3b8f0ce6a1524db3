#include "xml/EntityExpansion.h"

#include "xml/Document.h"
#include "xml/XmlSubsetTokenizer.h"
#include "xml/XmlToDomParser.h"

bool ChargeEntityExpansion(TdomDocument* document, size_t chars) {
  if (document == nullptr) return true;
  TdomEntityExpansionBudget& budget = document->ExpansionBudget();
  budget.chars += static_cast<int64_t>(chars);
  return budget.chars <= kMaxParameterEntityExpansion;
}

TEntityExpansionBudgetHold::TEntityExpansionBudgetHold(TdomDocument* document_) : document(document_) {
  if (document == nullptr) return;
  TdomEntityExpansionBudget& budget = document->ExpansionBudget();
  if (budget.holds++ == 0) budget.chars = 0;
}

TEntityExpansionBudgetHold::~TEntityExpansionBudgetHold() {
  if (document != nullptr) --document->ExpansionBudget().holds;
}

TEntityExpansionLevel::TEntityExpansionLevel(TdomDocument* document_) : document(document_) {
  if (document != nullptr) ++document->ExpansionBudget().depth;
}

TEntityExpansionLevel::~TEntityExpansionLevel() {
  if (document != nullptr) --document->ExpansionBudget().depth;
}

bool TEntityExpansionLevel::TooDeep() const {
  return document != nullptr && document->ExpansionBudget().depth > kMaxParameterEntityDepth;
}

void ParseReplacementTextInto(TdomNode* target, const std::u16string& text) {
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
  try {
    parser->SetDOMImpl(target->GetReferenceDocument()->GetDomImplementation());
    parser->ParseWideString(text, std::u16string(), std::u16string(), target);
  } catch (...) {
    parser->Free();
    throw;
  }
  parser->Free();
}
