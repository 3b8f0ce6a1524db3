#include "xml/EntityExpansion.h"

#include "xml/AsModelCollection.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/XmlSubsetTokenizer.h"
#include "xml/XmlToDomParser.h"

bool ChargeEntityExpansion(TdomDocument* document, int64_t cost) {
  if (document == nullptr) return true;
  TdomEntityExpansionBudget& budget = document->ExpansionBudget();
  if (cost > kMaxParameterEntityExpansion - budget.chars) {
    budget.chars = kMaxParameterEntityExpansion + 1;
    return false;
  }
  budget.chars += cost;
  return true;
}

bool EntityExpansionExhausted(TdomDocument* document) {
  return document != nullptr && document->ExpansionBudget().chars > kMaxParameterEntityExpansion;
}

int64_t EntityExpandedLength(TdomDocument* document, const std::u16string& name) {
  TdomDocumentTypeDecl* decl = document != nullptr ? document->GetDoctypeDecl() : nullptr;
  if (decl != nullptr && decl->HasASModels()) return decl->GetASModels()->ExpandedLength(name);
  return 1;
}

int EntityExpansionDepth(TdomDocument* document) {
  return document != nullptr ? document->ExpansionBudget().depth : 0;
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
