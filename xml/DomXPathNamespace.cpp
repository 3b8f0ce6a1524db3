#include "xml/DomXPathNamespace.h"

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/Element.h"
#include "xml/XmlRules.h"

void TdomXPathNamespace::Create(TdomDocument* document_, const std::u16string& prefix_,
                                const std::u16string& namespaceURI_, TdomElement* ownerElement_) {
  TdomNode::Create(document_);
  SetAllowedChildTypes(0);
  if (!prefix_.empty() && !IsXmlNCName(prefix_)) throw EInvalid_Character_Err();
  if (prefix_ == u"xmlns" && namespaceURI_ != kXmlnsNamespaceUri) throw ENamespace_Err();
  if (namespaceURI_.empty() && !prefix_.empty()) throw ENamespace_Err();
  if (prefix_ == u"xml" && namespaceURI_ != kXmlNamespaceUri) throw ENamespace_Err();
  prefix = prefix_;
  namespaceURI = namespaceURI_;
  ownerElement = ownerElement_;
  SetReadOnly(true);
}

TdomXPathNamespace::~TdomXPathNamespace() {
  // Only those of the table are owned by a document; a result owns its own.
  TdomDocument* document = TdomNode::GetReferenceDocument();
  if (document != nullptr && !document->IsDestroying()) document->ForgetNamespaceNode(this);
}

TdomDocument* TdomXPathNamespace::GetOwnerDocument() const {
  return ownerElement != nullptr ? ownerElement->GetOwnerDocument() : nullptr;
}

std::u16string TdomXPathNamespace::lookupNamespaceURI(const std::u16string& prefix_) const {
  if (ownerElement != nullptr) return ownerElement->lookupNamespaceURI(prefix_);
  return TdomNode::lookupNamespaceURI(prefix_);
}
