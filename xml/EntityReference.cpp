#include "xml/EntityReference.h"

#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/XmlRules.h"
#include "xml/XmlToDomParser.h"

void TdomEntityReference::Create(TdomDocument* document_, const std::u16string& name_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(kContentChildTypes);
  if (!IsXmlName(name_)) throw EInvalid_Character_Err();
  name = name_;
  SetReadOnly(true);
}

void TdomEntityReference::GetReplacementText(std::u16string& text, TXmlErrorType& errorType) const {
  text.clear();
  errorType = ET_UNDEFINED_ENTITY;
  if (TdomDocument* doc = GetOwnerDocument()) doc->ResolveEntityReplacementText(name, text, errorType);
}

namespace {

// True when text holds markup: a '<' or a reference other than a character reference.
bool HoldsMarkup(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'<') return true;
    if (text[i] == u'&' && (i + 1 >= text.size() || text[i + 1] != u'#')) return true;
  }
  return false;
}

}  // namespace

void TdomEntityReference::ParseReplacementText(TdomDocument* doc, const std::u16string& text) {
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
  try {
    parser->SetDOMImpl(doc->GetDomImplementation());
    parser->ParseWideString(text, std::u16string(), std::u16string(), this);
  } catch (...) {
    parser->Free();
    throw;
  }
  parser->Free();
}

TXmlErrorType TdomEntityReference::ExpandEntity() {
  SetReadOnly(false);
  TXmlErrorType errorType = ET_NONE;
  try {
    Clear();
    std::u16string text;
    GetReplacementText(text, errorType);
    TdomDocument* doc = GetOwnerDocument();
    if (IsHintOrWarningErrorType(errorType) && !text.empty() && doc != nullptr) {
      if (HoldsMarkup(text)) {
        ParseReplacementText(doc, text);
      } else {
        // Plain text needs no parser: one text node with the references resolved.
        appendChild(doc->createTextNode(ResolveCharRefsWideStr(text)));
      }
    }
  } catch (...) {
    MakeSubtreeReadOnly();
    SetReadOnly(true);
    throw;
  }
  MakeSubtreeReadOnly();
  SetReadOnly(true);
  return errorType;
}
