// Attribute values under a DTD: normalisation with declared entities, and
// the declared defaults.
#include <algorithm>
#include <memory>
#include <unordered_set>

#include "xml/AsModelCollection.h"
#include "xml/Attr.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/EntityExpansion.h"
#include "xml/Element.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/ParserUtilsNames.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/WideStrNameValueList.h"
#include "xml/XmlRules.h"
#include "xml/XmlSubsetTokenizer.h"

bool TdomASModelCollection::ReplacementInValue(const std::u16string& name, std::u16string& text,
                                               TXmlErrorType& errorType) {
  TXmlErrorType resolved = ResolveEntityReplacementText(name, text);
  if (!IsHintOrWarningErrorType(resolved)) {
    errorType = resolved;
    return false;
  }
  if (text.find(u'<') == std::u16string::npos) return true;
  errorType = ET_LT_IN_ATTRIBUTE_VALUE;
  return false;
}

void TdomASModelCollection::CalculateNormalizedAttrValue(const TdomAttr* attr, std::u16string& value,
                                                         TXmlErrorType& errorType) {
  value.clear();
  errorType = ET_NONE;
  const std::u16string source = attr->GetNodeValue();
  // A literal "<" is refused; "&#60;" is a legal way to write one.
  if (source.find(u'<') != std::u16string::npos) {
    errorType = ET_LT_IN_ATTRIBUTE_VALUE;
    return;
  }
  NormalizeAttrValueLiteral(source, value, errorType);
  if (!IsHintOrWarningErrorType(errorType)) return;
  if (GetAttributeType(attr) != AS_STRING_DATATYPE) value = NormalizeXmlWhiteSpaceWideStr(value);
}

void TdomASModelCollection::NormalizeAttrValueLiteral(const std::u16string& text, std::u16string& value,
                                                      TXmlErrorType& errorType) {
  enum class State { Text, Reference, CharRef, EntityName };
  // One frame per replacement text being scanned; a reference is complete
  // within its own text. Frames and the expanded total are bounded, so
  // nested entities neither overflow the stack nor blow up.
  struct Frame {
    std::u16string text;
    size_t pos = 0;
    State state = State::Text;
    std::u16string reference;
  };
  std::vector<Frame> frames(1);
  frames[0].text = text;
  // Expansion is paid from the document's budget as well as bounded here
  // (a collection may have no document).
  TdomDocument* document = OwnerDocument();
  TEntityExpansionBudgetHold hold(document);
  int64_t expanded = 0;
  std::u16string collected;
  errorType = ET_NONE;
  while (!frames.empty() && IsHintOrWarningErrorType(errorType)) {
    Frame& f = frames.back();
    if (f.pos >= f.text.size()) {
      if (f.state != State::Text) {
        errorType = ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE;
        break;
      }
      frames.pop_back();
      continue;
    }
    char16_t c = f.text[f.pos++];
    switch (f.state) {
      case State::Text:
        if (IsXmlWhiteSpaceWideChar(c)) {
          collected += u' ';
        } else if (c == u'&') {
          f.state = State::Reference;
        } else {
          collected += c;
        }
        break;
      case State::Reference:
        if (c == u'#') {
          f.reference = u"&#";
          f.state = State::CharRef;
        } else {
          f.reference = std::u16string(1, c);
          f.state = State::EntityName;
        }
        break;
      case State::CharRef:
        f.reference += c;
        if (c != u';') break;
        try {
          collected += XmlCharRefToWideStr(f.reference);
        } catch (const EConvertError&) {
          errorType = ET_INVALID_CHAR_REF;
          break;
        }
        f.state = State::Text;
        break;
      case State::EntityName: {
        if (c != u';') {
          f.reference += c;
          break;
        }
        f.state = State::Text;
        std::u16string name = f.reference;
        try {
          if (refersToExternalEntity(name)) {
            errorType = ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE;
            break;
          }
        } catch (const EConvertError&) {
          errorType = ET_UNDEFINED_ENTITY;
          break;
        }
        std::u16string replacement;
        if (!ReplacementInValue(name, replacement, errorType)) break;
        // A reference of the value itself pays for all it expands to.
        if (frames.size() == 1) {
          int64_t cost = std::min(ExpandedLength(name), kExpandedLengthLimit) + 1;
          expanded += cost;
          if (!ChargeEntityExpansion(document, cost)) expanded = kMaxParameterEntityExpansion + 1;
        }
        if (frames.size() > static_cast<size_t>(kMaxGeneralEntityDepth)) {
          errorType = ET_ENTITY_NESTING_TOO_DEEP;
          break;
        }
        if (expanded > kMaxParameterEntityExpansion) {
          errorType = ET_ENTITY_EXPANSION_TOO_LARGE;
          break;
        }
        Frame next;
        next.text = std::move(replacement);
        frames.push_back(std::move(next));  // f is not used after this
        break;
      }
    }
  }
  value = IsHintOrWarningErrorType(errorType) ? collected : std::u16string();
}

void TdomASModelCollection::CalculateDefaultAttrValue(const TdomASAttributeDecl* decl, TXmlErrorType& errorType,
                                                      std::u16string& value) {
  value.clear();
  errorType = ET_NONE;
  // Read as an attribute value is read: references replaced, recursively.
  std::u16string collected;
  NormalizeAttrValueLiteral(decl->DefaultValue(), collected, errorType);
  if (errorType == ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE || errorType == ET_INVALID_CHAR_REF)
    errorType = ET_INVALID_ATTRIBUTE_DEFINITION;
  if (IsHintOrWarningErrorType(errorType)) errorType = ET_NONE;
  if (errorType == ET_NONE) value = collected;
}

std::shared_ptr<const TdomASModelCollection::DefaultAttributes> TdomASModelCollection::DefaultsOf(
    const std::u16string& elementName) {
  CheckCaches();
  auto known = defaults.find(elementName);
  if (known != defaults.end()) return known->second;
  auto entry = std::make_shared<DefaultAttributes>();
  std::unordered_set<std::u16string> names;
  for (TdomASModel* model : models) {
    TdomASElementDecl* element = model->FindElementDecl(elementName);
    if (element == nullptr) continue;
    TdomASNamedObjectMap* decls = element->AttributeDecls();
    for (int i = 0; i < decls->GetLength(); ++i) {
      auto* decl = static_cast<TdomASAttributeDecl*>(decls->item(i));
      if (!decl->HasDefaultValue()) continue;
      if (!names.insert(decl->Name()).second) continue;
      TXmlErrorType errorType;
      std::u16string value;
      CalculateDefaultAttrValue(decl, errorType, value);
      if (errorType != ET_NONE) {
        entry->ok = false;
        continue;
      }
      // Values of the other types are token lists: spaces trimmed and collapsed.
      if (decl->AttrType() != AS_STRING_DATATYPE) value = CollapseSpacesWideStr(value);
      int64_t declared = static_cast<int64_t>(decl->DefaultValue().size());
      int64_t expansion = std::max<int64_t>(0, static_cast<int64_t>(value.size()) - declared);
      entry->values.push_back(DefaultValue{decl->Name(), std::move(value), expansion});
    }
  }
  // Working the values out may have read external entities: store against the stamp now.
  CheckCaches();
  return defaults.emplace(elementName, std::move(entry)).first->second;
}

TUtilsNameValueList* TdomASModelCollection::GetDefaultAttributes(const std::u16string& elementName, bool& ok) {
  std::shared_ptr<const DefaultAttributes> entry = DefaultsOf(elementName);
  ok = entry->ok;
  auto list = std::make_unique<TUtilsNameValueList>();
  for (const DefaultValue& value : entry->values) list->Add(value.name, value.value);
  return list.release();
}

namespace {

// The namespace a defaulted attribute takes on element; false when its
// prefix is bound nowhere.
bool DefaultAttributeNamespace(const TdomElement* element, const std::u16string& name, std::u16string& uri) {
  std::u16string prefix, localName;
  if (!SplitQualifiedName(name, prefix, localName)) return false;
  if (name == u"xmlns" || prefix == u"xmlns") {
    uri = kXmlnsNamespaceUri;
    return true;
  }
  if (prefix.empty()) {
    uri.clear();
    return true;
  }
  if (prefix == u"xml") {
    uri = kXmlNamespaceUri;
    return true;
  }
  uri = element->lookupNamespaceURI(prefix);
  return !uri.empty();
}

}  // namespace

bool TdomASModelCollection::AddDefaultAttributes(TdomElement* element) {
  // Held: creating attributes may read entities and renew the cache.
  std::shared_ptr<const DefaultAttributes> entry = DefaultsOf(element->GetNodeName());
  bool ok = entry->ok;
  if (entry->values.empty()) return ok;
  TdomDocument* document = element->GetOwnerDocument();
  TEntityExpansionBudgetHold hold(document);
  bool namespaceAware = element->IsNamespaceAware();
  // The names the element carries, by node name (a namespace-aware map
  // answers only by namespace and local name).
  std::unordered_set<std::u16string> present;
  if (namespaceAware) {
    TdomNamedNodeMap* attributes = element->GetAttributes();
    for (int i = 0; i < attributes->GetLength(); ++i) present.insert(attributes->Item(i)->GetNodeName());
  }
  // Each addition reports to listeners, which may free the element.
  TOwnedRef<TdomElement> alive(element);
  // Namespace declarations first, so that the other defaults can use them.
  for (int pass = 0; pass < (namespaceAware ? 2 : 1); ++pass) {
    for (const DefaultValue& entryValue : entry->values) {
      if (!alive) return false;
      const std::u16string& name = entryValue.name;
      const std::u16string& value = entryValue.value;
      bool declaration = name == u"xmlns" || name.rfind(u"xmlns:", 0) == 0;
      if (namespaceAware && declaration != (pass == 0)) continue;
      if (namespaceAware ? present.count(name) != 0 : element->getAttributeNode(name) != nullptr) continue;
      TdomAttr* attr = nullptr;
      try {
        std::u16string uri;
        if (namespaceAware) {
          if (!DefaultAttributeNamespace(element, name, uri)) {
            ok = false;
            continue;
          }
          // Given under another prefix of the same namespace: as with two
          // given attributes of one name, the value given stays.
          std::u16string prefix, localName;
          SplitQualifiedName(name, prefix, localName);
          if (element->getAttributeNodeNS(uri, localName) != nullptr) continue;
        }
        // Entity text repeated on every element is paid for each time it
        // is added (not for a default the element has under another prefix).
        if (entryValue.expansion > 0 && !ChargeEntityExpansion(document, entryValue.expansion)) {
          ok = false;
          continue;
        }
        attr = namespaceAware ? document->createAttributeNS(uri, name) : document->createAttribute(name);
        attr->SetNodeValue(EscapeAttributeValue(value));
        attr->SetSpecified(false);
        if (namespaceAware) {
          element->setAttributeNodeNS(attr);
          present.insert(name);
        } else {
          element->setAttributeNode(attr);
        }
      } catch (const EDomException&) {
        if (attr != nullptr && attr->GetOwnerElement() == nullptr) attr->Free();
        ok = false;
      }
    }
  }
  return ok;
}

void TdomASModelCollection::RegisterIds(TdomElement* element) {
  TdomDocument* document = element->GetOwnerDocument();
  if (document == nullptr) return;
  TdomNamedNodeMap* attributes = element->GetAttributes();
  for (int i = 0; i < attributes->GetLength(); ++i) {
    auto* attr = static_cast<TdomAttr*>(attributes->Item(i));
    if (GetAttributeType(attr) != AS_ID_DATATYPE) continue;
    std::u16string value;
    TXmlErrorType errorType;
    CalculateNormalizedAttrValue(attr, value, errorType);
    if (!IsHintOrWarningErrorType(errorType) || !IsXmlName(value)) continue;
    if (document->getElementById(value) == nullptr) document->AddID(value, attr);
  }
}
