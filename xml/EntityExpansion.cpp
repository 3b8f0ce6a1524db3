#include "xml/EntityExpansion.h"

#include "xml/AsModelCollection.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/XmlRules.h"
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
  if (document.Document() == nullptr) return;
  TdomEntityExpansionBudget& budget = document.Document()->ExpansionBudget();
  if (budget.holds++ == 0) budget.chars = 0;
}

TEntityExpansionBudgetHold::~TEntityExpansionBudgetHold() {
  if (TdomDocument* doc = document.Document()) --doc->ExpansionBudget().holds;
}

TEntityExpansionLevel::TEntityExpansionLevel(TdomDocument* document_) : document(document_) {
  if (TdomDocument* doc = document.Document()) ++doc->ExpansionBudget().depth;
}

TEntityExpansionLevel::~TEntityExpansionLevel() {
  if (TdomDocument* doc = document.Document()) --doc->ExpansionBudget().depth;
}

bool TEntityExpansionLevel::TooDeep() const {
  TdomDocument* doc = document.Document();
  return doc != nullptr && doc->ExpansionBudget().depth > kMaxGeneralEntityDepth;
}

TEntityExpansionOrigin::TEntityExpansionOrigin(TdomDocument* document_, const IDomLocator* origin)
    : document(document_) {
  TdomDocument* doc = document.Document();
  if (doc == nullptr) return;
  saved = doc->ExpansionBudget().origin;
  doc->ExpansionBudget().origin = origin;
}

TEntityExpansionOrigin::~TEntityExpansionOrigin() {
  if (TdomDocument* doc = document.Document()) doc->ExpansionBudget().origin = saved;
}

namespace {

// True when text starts as the input source takes for a declaration.
bool StartsLikeADeclaration(const std::u16string& text) {
  return text.size() > 5 && text.compare(0, 5, u"<?xml") == 0 && IsXmlWhiteSpaceWideChar(text[5]);
}

}  // namespace

void ParseReplacementTextInto(TdomNode* target, const std::u16string& text) {
  TdomDocument* document = target->GetReferenceDocument();
  TDomImplementation* impl = document->GetDomImplementation();
  // Placed at the reference when the parse that met it says where that is.
  const IDomLocator* origin = document->ExpansionBudget().origin;
  if (origin != nullptr && origin->GetStartLineNumber() < 1) origin = nullptr;
  // A replacement text is content, where "<?xml " opens a processing
  // instruction with a reserved target (an external entity's own text
  // declaration is gone by now), never a declaration to be read and dropped.
  if (StartsLikeADeclaration(text)) {
    std::unique_ptr<TdomError> error = TdomError::CreateFromLocator(ET_INVALID_PI_TARGET_OR_DATA, origin, u"xml");
    TdomDocumentWatch hold(document);
    if (impl != nullptr) impl->HandleError(hold, nullptr, error.get());
    throw EParserException(DomMessage::kParser);
  }
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
  try {
    parser->SetDOMImpl(impl);
    // With a mark of its own, a U+FEFF the text starts with stays a character.
    parser->ParseReplacementText(u"\uFEFF" + text, origin, target);
  } catch (...) {
    parser->Free();
    throw;
  }
  parser->Free();
}
