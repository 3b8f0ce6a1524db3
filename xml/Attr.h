#pragma once
// TdomAttr: an attribute. Its node value is the value exactly as set; the
// normalised value comes from the document (GetValue). An attribute belongs to
// at most one element's attribute map and has no siblings or children.
#include <string>

#include "xml/NameTable.h"
#include "xml/Node.h"

class TdomNamedNodeMap;

// What an attribute declares about namespaces.
enum TdomAttrDeclarationKind : uint8_t {
  AT_DEFAULT_NAMESPACE_DECL = 0,   // the attribute "xmlns"
  AT_PREFIXED_NAMESPACE_DECL = 1,  // "xmlns:" and a prefix
  AT_OTHER = 2,
};

class TdomAttr : public TdomNode {
public:
  TdomAttr() { SetSubclassByte(AT_OTHER | kSpecifiedBit); }
  // Leaves its element first (the element's read-only state is restored after).
  ~TdomAttr() override;

  // Plain attribute: name must be an XML Name, else EInvalid_Character_Err.
  virtual void Create(TdomDocument* document_, bool specified_, const std::u16string& name);
  // Namespace-aware attribute; qualified-name and reserved-prefix checks raise
  // ENamespace_Err or EInvalid_Character_Err.
  virtual void Create(TdomDocument* document_, bool specified_, const std::u16string& namespaceURI_,
                      const std::u16string& qualifiedName);

  std::u16string GetNodeName() const override { return name->nodeName; }
  std::u16string GetExpandedName() const override { return name->nodeName; }
  std::u16string GetLocalName() const override { return name->localName; }
  std::u16string GetNamespaceURI() const override { return name->namespaceURI; }
  std::u16string GetPrefix() const override { return name->prefix; }
  TdomNodeType GetNodeType() const override { return ntAttribute_Node; }
  std::u16string GetName() const { return name->nodeName; }
  // The shared name record (node name, prefix, local name, URI) without a copy.
  const TdomQualifiedName& Names() const { return *name; }
  TdomAttrDeclarationKind GetDeclarationKind() const {
    return static_cast<TdomAttrDeclarationKind>(SubclassByte() & kKindBits);
  }
  bool GetSpecified() const { return (SubclassByte() & kSpecifiedBit) != 0; }
  void SetSpecified(bool value) {
    SetSubclassByte(static_cast<uint8_t>((SubclassByte() & ~kSpecifiedBit) | (value ? kSpecifiedBit : 0)));
  }
  // The element whose map holds this attribute, or null.
  TdomElement* GetOwnerElement() const;
  // The normalised value; EConvertError "Attribute value normalization failed." on a non-hint error.
  virtual std::u16string GetValue() const;

  // Stores the value (read-only check), makes the attribute specified (a
  // default given a value is the user's own), then reports AC_MODIFICATION.
  void SetNodeValue(const std::u16string& value) override;
  // SetNodeValue for validation's rewrite of the value into its normalised
  // form: a default stays a default.
  void SetNormalizedValue(const std::u16string& value);
  // SetNodeValue for an attribute that no element holds yet (one just made):
  // the same check and store in one step; the report SetNodeValue would make
  // has no element to reach.
  void SetFirstValue(const std::u16string& value);
  // Checks the prefix against the name and namespace rules, then renames.
  void SetPrefix(const std::u16string& prefix_) override;
  // Drops the prefix: the node name becomes the local name (namespace-aware attributes only).
  void ClearPrefix();
  std::u16string lookupNamespaceURI(const std::u16string& prefix_) const override;

  // Reports attrChange to the owner element, when there is one.
  virtual void DoAttrModified(TdomAttrChange attrChange);
  // True for the xml:base attribute (by namespace or by name).
  bool IsXmlBaseAttribute() const;

  TdomNamedNodeMap* GetOwnerMap() const { return ownerMap; }
  // Set by the map that takes or releases this attribute.
  void SetOwnerMap(TdomNamedNodeMap* map) { ownerMap = map; }

protected:
  TdomNode* GetPositionParent() const override;
  // Its element goes in the same batch: nothing but the block to give back.
  size_t ReleaseWithOwner() override { return PlainReleaseSize<TdomAttr>(); }

private:
  // Points the attribute at the record of its (new) name.
  void SetNames(std::u16string_view namespaceURI_, std::u16string_view prefix_, std::u16string_view localName_);

  const TdomQualifiedName* name = nullptr;  // shared, kept by the document's name table
  TdomNamedNodeMap* ownerMap = nullptr;     // not owned
  // The declaration kind and the specified flag live in the node's subclass byte.
  static constexpr uint8_t kKindBits = 3;
  static constexpr uint8_t kSpecifiedBit = 4;
  void SetDeclarationKind(TdomAttrDeclarationKind kind) {
    SetSubclassByte(static_cast<uint8_t>((SubclassByte() & ~kKindBits) | kind));
  }
};

// The prefix that a prefixed namespace declaration (AT_PREFIXED_NAMESPACE_DECL) binds.
std::u16string DeclaredPrefix(const TdomAttr* attr);

// Shared qualified-name checks of namespace-aware constructors: splits name
// (ENamespace_Err when it is still an XML Name, else EInvalid_Character_Err),
// then the empty-URI and "xml" prefix rules; xmlns rules when checkXmlns.
void CheckQualifiedNameNS(const std::u16string& namespaceURI, const std::u16string& qualifiedName,
                          bool checkXmlns, std::u16string& prefix, std::u16string& localName);
