#pragma once
// TdomXPathNamespace: the namespace node of XPath, binding a prefix to a
// namespace URI on behalf of an element. Read-only from creation.
#include <string>

#include "xml/Node.h"

class TdomXPathNamespace : public TdomNode {
public:
  // Leaves its document's table of namespace nodes (see NamespaceNodeFor).
  ~TdomXPathNamespace() override;
  // A non-empty prefix must be an NCName (EInvalid_Character_Err); "xmlns"
  // needs the xmlns namespace, a prefix needs a URI and "xml" needs the XML
  // namespace (ENamespace_Err each).
  virtual void Create(TdomDocument* document_, const std::u16string& prefix_, const std::u16string& namespaceURI_,
                      TdomElement* ownerElement_);

  std::u16string GetNodeName() const override { return u"#namespace"; }
  TdomNodeType GetNodeType() const override { return ntXPath_Namespace_Node; }
  std::u16string GetNodeValue() const override { return namespaceURI; }
  std::u16string GetNamespaceURI() const override { return namespaceURI; }
  std::u16string GetLocalName() const override { return prefix; }
  std::u16string GetExpandedName() const override { return prefix; }
  std::u16string GetPrefix() const override { return prefix; }
  // The owner element's document, or null without owner element.
  TdomDocument* GetOwnerDocument() const override;
  TdomElement* GetOwnerElement() const { return ownerElement; }
  std::u16string lookupNamespaceURI(const std::u16string& prefix_) const override;

private:
  std::u16string namespaceURI;
  TdomElement* ownerElement = nullptr;  // not owned
  std::u16string prefix;
};
