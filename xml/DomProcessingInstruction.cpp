#include "xml/DomProcessingInstruction.h"

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/XmlRules.h"

void TdomProcessingInstruction::Create(TdomDocument* document_, const std::u16string& target_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  if (!IsXmlPITarget(target_)) throw EInvalid_Character_Err();
  target = target_;
}

void TdomProcessingInstruction::SetData(const std::u16string& value) {
  SetNodeValue(value);
  DoCharacterDataModified();
}

void TdomProcessingInstruction::DoCharacterDataModified() {
  if (TdomDocument* doc = GetReferenceDocument()) doc->DoCharacterDataModified(this);
}
