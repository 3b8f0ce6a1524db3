#pragma once
// TdomASModelCollection: the DTD model of one document type declaration (the
// internal-subset model, then the external-subset model, searched in that
// order) and what the DOM asks of it: declarations, entity replacement text,
// attribute-value normalisation, default attributes and validation.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "xml/DocumentWatch.h"
#include "xml/AsObjects.h"
#include "xml/EntityExpansion.h"

class TDomImplementation;
class TUtilsNameValueList;
class TdomAttr;
class TdomDocument;
class TdomDocumentTypeDecl;
class TdomElement;
class TdomEntityReference;
class TdomNode;

// The attribute of element whose node name is name, namespace-aware or not; null when none.
TdomAttr* FindAttributeByNodeName(const TdomElement* element, const std::u16string& name);
// A normalised value as raw attribute text: the characters that would change
// its meaning when read again are written as references.
std::u16string EscapeAttributeValue(const std::u16string& value);

class TdomASModelCollection : public TCustomOwnedObject {
public:
  // Not registered with a node owner (node clearing frees owned objects): the
  // declaration frees it. A null declaration raises ENot_Supported_Err.
  void Create(TdomDocumentTypeDecl* ownerDecl_);

  // --- Lookups (internal subset first) ---------------------------------------------
  // An undeclared attribute, or one without an owner element: null.
  virtual TdomASAttributeDecl* FindAttributeDecl(const TdomAttr* attr) const;
  virtual TdomASElementDecl* FindElementDecl(const TdomElement* element) const;
  virtual TdomASElementDecl* FindElementDeclByName(const std::u16string& name) const;
  virtual TdomASEntityDecl* FindEntityDecl(const std::u16string& name) const;
  virtual TdomASNotationDecl* FindNotationDecl(const std::u16string& name) const;
  // The type of attr's declaration; CDATA when undeclared.
  virtual TdomASAttributeType GetAttributeType(const TdomAttr* attr) const;
  // 0 the internal-subset model, 1 the external-subset model; else null.
  virtual TdomASModel* GetModel(int index) const;
  virtual int GetModelCount() const { return 2; }
  // Empties both models.
  void Clear() override;
  // False once the declarations were read with validity errors (until Clear).
  bool DeclarationsValid() const { return declarationsValid; }
  void SetDeclarationsValid(bool value) { declarationsValid = value; }

  // --- Entities -----------------------------------------------------------------------
  // The replacement text of a general entity and the error type: 74 unparsed,
  // 34 unavailable, 69 being read, 73 cyclic, 25 undeclared (the five
  // predefined entities answer without a declaration).
  virtual TXmlErrorType ResolveEntityReplacementText(const std::u16string& name, std::u16string& text);
  // The walks over the references of replacement texts (mode 0 itself, 1
  // external, 2 unparsed, others raise ESyntax_Err). An undeclared name that
  // is not predefined raises EConvertError "Entity reference cannot be
  // resolved." unless skipUndeclared. Each declaration is walked once.
  virtual bool refersToXyz(const TdomASEntityDecl* decl, bool skipUndeclared, int mode);
  virtual bool refersToExternalEntity(const std::u16string& name);
  virtual bool refersToItself(const TdomASEntityDecl* decl, bool skipUndeclared);
  virtual bool refersToUnparsedEntity(const TdomASEntityDecl* decl);
  // What expanding the entity named name costs: the characters it expands
  // to in all plus one for each reference expanded on the way, recursively
  // (remembered per declaration); a cycle
  // or a sum beyond kExpandedLengthLimit gives kExpandedLengthLimit.
  int64_t ExpandedLength(const std::u16string& name);
  static constexpr int64_t kExpandedLengthLimit = kEntityExpandedLengthLimit;

  // --- Attribute values ---------------------------------------------------------------
  virtual void CalculateNormalizedAttrValue(const TdomAttr* attr, std::u16string& value, TXmlErrorType& errorType);
  virtual void NormalizeAttrValueLiteral(const std::u16string& text, std::u16string& value,
                                         TXmlErrorType& errorType);
  virtual void CalculateDefaultAttrValue(const TdomASAttributeDecl* decl, TXmlErrorType& errorType,
                                         std::u16string& value);
  // A new list (the caller's) of the defaulted attributes of elementName with
  // their values; ok false when a default could not be computed (left out).
  virtual TUtilsNameValueList* GetDefaultAttributes(const std::u16string& elementName, bool& ok);
  // Puts the declared defaults that element lacks on it, not specified;
  // namespace-aware in a namespace-aware element. False when one could not be made.
  virtual bool AddDefaultAttributes(TdomElement* element);

  // --- Validation ---------------------------------------------------------------------
  // Reports through the DOM implementation; returns whether to go on.
  virtual bool ReportError(TXmlErrorType errorType, TdomASObject* relatedASObject, TdomNode* relatedNode);
  virtual bool ValidateModels();
  virtual bool ValidateDocument(TdomDocument* document, bool keepUnchanged);
  // node and everything below it (iteratively).
  virtual bool ValidateNode(TdomNode* node, bool keepUnchanged);
  virtual TXmlErrorType ValidateElement(TdomElement* element, bool keepUnchanged);
  // Records the element's ID attributes in its document, so that IDs answer
  // before validation; a value met before stays with its first element.
  void RegisterIds(TdomElement* element);
  // Whether a raw attribute value refers to an entity declared in the external subset.
  bool RefersToExternalDecl(const std::u16string& rawValue) const;
  virtual TXmlErrorType ValidateAttribute(TdomAttr* attr, bool keepUnchanged);
  virtual TXmlErrorType ValidateEntityReference(TdomEntityReference* reference);

  TdomDocumentTypeDecl* OwnerDecl() const { return ownerDecl; }
  TdomDocument* OwnerDocument() const;
  TDomImplementation* DomImplementation() const;
  // Whether external entities may be read (through the resolver); true by default.
  bool ResolveExternals() const { return resolveExternals; }
  void SetResolveExternals(bool value) { resolveExternals = value; }

private:
  // Thrown where a listener or handler that validation called freed the
  // document (documentGone: these models went with it) or freed or moved
  // the node validation was working on: validation stops there, touching
  // nothing that may have gone.
  struct TValidationStopped {
    bool documentGone;
  };
  // Raises TValidationStopped when watch's document has gone, or the node
  // it watches (which must be given), or when parent is given and the node
  // is no longer its child.
  static void CheckKept(const TdomDocumentWatch& watch, const TdomNode* parent = nullptr);
  // ReportError, stopping validation when the handler freed the document.
  bool ReportValidityError(TXmlErrorType errorType, TdomASObject* relatedASObject, TdomNode* relatedNode);
  // Drops the references from index from on whose attribute is no longer
  // an attribute of an element of document (it may have been freed).
  void KeepLiveReferences(TdomDocument* document, size_t from);
  // ValidateNode's walk; TValidationStopped passes.
  bool WalkNode(TdomNode* node, bool keepUnchanged);
  // The checks of one node only (not its children); false when stopped.
  bool ValidateOneNode(TdomNode* node, bool keepUnchanged, bool& result);
  // Required attributes, fixed values and standalone rules of one element.
  void CheckElementAttributes(TdomElement* element, bool& result, bool& go);
  // Replaces the entity references among element's children by their parsed
  // content; the number of references that could not be replaced.
  // Each gives the error of the first reference that could not be expanded, or ET_NONE.
  TXmlErrorType ReplaceEntityReferences(TdomElement* element);
  TXmlErrorType ExpandEntityReferences(TdomElement* element);
  bool IsExternalDecl(const TdomASObject* decl) const;
  // The replacement text of an entity met in an attribute value; false with
  // errorType set when it cannot be had or holds a "<".
  bool ReplacementInValue(const std::u16string& name, std::u16string& text, TXmlErrorType& errorType);

  TdomDocumentTypeDecl* ownerDecl = nullptr;  // not owned
  TdomASModel* models[2] = {nullptr, nullptr};  // owned (as owned objects)
  std::vector<std::pair<std::u16string, TdomAttr*>> pendingIdRefs;
  bool declarationsValid = true;
  // What is worked out from the declarations, valid while ModelsStamp() is cacheStamp.
  struct DefaultValue {
    std::u16string name;
    std::u16string value;
    // The characters that entity references added to the declared text:
    // paid again from the document's budget each time the default is used.
    int64_t expansion = 0;
  };
  struct DefaultAttributes {
    bool ok = true;
    std::vector<DefaultValue> values;
  };
  // Empties the caches when the declarations changed since they were filled.
  void CheckCaches();
  uint64_t ModelsStamp() const { return models[0]->Stamp() + models[1]->Stamp(); }
  // Shared, so that a caller keeps its entry while the cache is renewed.
  std::shared_ptr<const DefaultAttributes> DefaultsOf(const std::u16string& elementName);

  uint64_t cacheStamp = 0;
  std::unordered_map<const TdomASEntityDecl*, int64_t> expandedLengths;
  std::unordered_set<const TdomASEntityDecl*> acyclic;  // known to refer to no cycle
  std::unordered_map<std::u16string, std::shared_ptr<const DefaultAttributes>> defaults;
  bool resolveExternals = true;
};
