#pragma once
// TdomElement: an element with its attribute map, its cached live element
// lists and namespace prefix resolution from its namespace declarations.
#include <memory>
#include <string>
#include <vector>

#include "xml/NameTable.h"
#include "xml/Node.h"

class TdomAttr;
class TdomElementsNodeList;
class TdomElementsNodeListNS;
class TdomNamedNodeMap;

class TdomElement final : public TdomNode {
public:
  TdomElement() = default;
  // Frees the attributes (read-only or not), the map and the cached lists.
  ~TdomElement() override;

  // Plain element: tagName must be an XML Name, else EInvalid_Character_Err.
  virtual void Create(TdomDocument* document_, const std::u16string& tagName);
  // Namespace-aware element: qualified-name, empty-URI and "xml" rules.
  virtual void Create(TdomDocument* document_, const std::u16string& namespaceURI_,
                      const std::u16string& qualifiedName);

  std::u16string GetNodeName() const override { return name->nodeName; }
  std::u16string GetExpandedName() const override { return name->nodeName; }
  std::u16string GetLocalName() const override { return name->localName; }
  std::u16string GetNamespaceURI() const override { return name->namespaceURI; }
  std::u16string GetPrefix() const override { return name->prefix; }
  // The shared name record (node name, prefix, local name, URI) without a copy.
  const TdomQualifiedName& Names() const { return *name; }
  TdomNodeType GetNodeType() const override { return ntElement_Node; }
  // The attribute map (made on first request; never null).
  TdomNamedNodeMap* GetAttributes() const override;
  std::u16string GetTagName() const { return name->nodeName; }
  // Setting an element's value does nothing.
  void SetNodeValue(const std::u16string&) override {}
  void SetPrefix(const std::u16string& prefix_) override;
  // The namespace bound to prefix by the declarations here or above.
  std::u16string lookupNamespaceURI(const std::u16string& prefix_) const override;

  // --- Attributes (names compared exactly) ---------------------------------------
  // The value, or "" when absent.
  virtual std::u16string getAttribute(const std::u16string& name) const;
  virtual std::u16string getAttributeNS(const std::u16string& namespaceURI_, const std::u16string& localName_) const;
  virtual TdomAttr* getAttributeNode(const std::u16string& name) const;
  virtual TdomAttr* getAttributeNodeNS(const std::u16string& namespaceURI_, const std::u16string& localName_) const;
  // The normalised value, or "" when absent; normalisation failures raise
  // EConvertError "Literal attribute value cannot be resolved.".
  virtual std::u16string getAttributeNormalizedValue(const std::u16string& name) const;
  virtual std::u16string getAttributeNSNormalizedValue(const std::u16string& namespaceURI_,
                                                       const std::u16string& localName_) const;
  virtual bool hasAttribute(const std::u16string& name) const;
  virtual bool hasAttributeNS(const std::u16string& namespaceURI_, const std::u16string& localName_) const;
  // Sets an existing attribute's value (returns null) or adds a new one (returns it;
  // null when a listener told of the addition freed it).
  virtual TdomAttr* setAttribute(const std::u16string& name, const std::u16string& value);
  virtual TdomAttr* setAttributeNS(const std::u16string& namespaceURI_, const std::u16string& qualifiedName,
                                   const std::u16string& value);
  // Puts attr in the map; returns the attribute it displaced (not freed) or
  // null (also when a listener told of the addition freed it).
  virtual TdomAttr* setAttributeNode(TdomAttr* attr);
  virtual TdomAttr* setAttributeNodeNS(TdomAttr* attr);
  // Takes attr out of the map (not freed) and returns it (null when a listener
  // told of the removal freed it); absent raises ENot_Found_Err.
  virtual TdomAttr* removeAttributeNode(TdomAttr* attr);
  virtual void removeAttribute(const std::u16string& name);
  virtual void removeAttributeNS(const std::u16string& namespaceURI_, const std::u16string& localName_);
  // setAttribute for a name the element does not carry (a parser adding the
  // distinct names of a start tag): the same checks, value and report,
  // without first looking for an attribute of that name. Returns nothing, so
  // it need not watch whether a listener told of the addition frees it.
  void AddNewAttribute(const std::u16string& name, const std::u16string& value);
  // Changes every time an attribute is added, removed or renamed (a stamp to
  // compare, not a count), without making the attribute map.
  uint32_t AttributeStamp() const;
  // appendChild for a node this element's document has just made (in no
  // tree, without children), as a parser appends what it reads: the same
  // refusals (type, owner, read-only) and reports, without the checks that
  // such a node cannot fail. Any other node takes appendChild's path.
  void AppendNewChild(TdomNode* newChild);
  // Makes room for count more attributes, so that adding them (as a parser
  // adds those of a start tag) grows the map's storage once.
  void ReserveAttributes(size_t count);
  // Passes an attribute change on to the document.
  virtual void DoAttrModified(TdomNode* modifiedNode, TdomAttrChange attrChange, TdomAttr* relatedAttr);

  // Cached live lists of the descendants matching a name; owned by this element.
  virtual TdomElementsNodeList* getElementsByTagName(const std::u16string& name);
  virtual TdomElementsNodeListNS* getElementsByTagNameNS(const std::u16string& namespaceURI_,
                                                         const std::u16string& localName_);

  // Answered without making the attribute map.
  bool hasAttributes() const override;

protected:
  void DoBeforeClear() override;
  // Frees the attribute map (the attributes go in the same batch) when that
  // is all the element holds.
  size_t ReleaseWithOwner() override;
  // Merges each run of adjacent text children (not CDATA) into its first node.
  TMergeResult MergeTextChildren() override;

private:
  // Makes an attribute of that name and value and adds it, not yet reported.
  TdomAttr* AttachNewAttribute(const std::u16string& name, const std::u16string& value);
  // Reports attr as added; attr, or null when a listener freed it.
  TdomAttr* ReportAddition(TdomAttr* attr);
  // Reports attr as added when added; displaced, or null when a listener freed it.
  TdomAttr* ReportDisplacement(TdomAttr* displaced, bool added, TdomAttr* attr);
  // Removes (with reports) and frees every attribute; stops when a listener frees this element.
  void FreeAttributes();

  // The attributes in order: the map's storage, or nothing before the map is made.
  const std::vector<TdomNode*>& AttributeItems() const;

  mutable TdomNamedNodeMap* attributes = nullptr;      // owned; made on first request; holds the attributes
  // The cached element lists, made with the first query: few elements get one.
  struct ElementLists {
    std::vector<TdomElementsNodeListNS*> byNameNS;  // owned
    std::vector<TdomElementsNodeList*> byName;      // owned
  };
  std::unique_ptr<ElementLists> elementLists;
  const TdomQualifiedName* name = nullptr;  // shared, kept by the document's name table
};
