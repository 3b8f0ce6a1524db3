#include "xml/Notation.h"

#include "xml/Document.h"
#include "xml/Entity.h"

void TdomNotation::Create(TdomDocument* document_, const std::u16string& name_, const std::u16string& publicId_,
                          const std::u16string& systemId_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  CheckDeclaredName(name_, publicId_, systemId_);
  name = name_;
  publicId = publicId_;
  systemId = systemId_;
}
