// The model collection: lookups across the two subsets, entity replacement
// text with cycle detection, and error reports.
#include "xml/AsModelCollection.h"

#include <algorithm>
#include <unordered_map>

#include "xml/Attr.h"
#include "xml/DomImplementation.h"
#include "xml/Document.h"
#include "xml/DocumentType.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/Element.h"
#include "xml/WideStrList.h"
#include "xml/XmlRules.h"

TdomAttr* FindAttributeByNodeName(const TdomElement* element, const std::u16string& name) {
  if (!element->IsNamespaceAware()) return element->getAttributeNode(name);
  // Namespace-aware maps answer only by namespace and local name.
  TdomNamedNodeMap* attributes = element->GetAttributes();
  for (int i = 0; i < attributes->GetLength(); ++i) {
    TdomNode* attr = attributes->Item(i);
    if (attr->GetNodeName() == name) return static_cast<TdomAttr*>(attr);
  }
  return nullptr;
}

void TdomASModelCollection::Create(TdomDocumentTypeDecl* ownerDecl_) {
  if (ownerDecl_ == nullptr) throw ENot_Supported_Err();
  TCustomOwnedObject::Create(nullptr);
  ownerDecl = ownerDecl_;
  models[0] = New<TdomASModel>(static_cast<TCustomOwnedObject*>(this));
  models[1] = New<TdomASModel>(static_cast<TCustomOwnedObject*>(this));
}

TdomDocument* TdomASModelCollection::OwnerDocument() const { return ownerDecl->GetOwnerDocument(); }

TDomImplementation* TdomASModelCollection::DomImplementation() const {
  TdomDocument* document = OwnerDocument();
  return document != nullptr ? document->GetDomImplementation() : nullptr;
}

TdomASModel* TdomASModelCollection::GetModel(int index) const {
  return index == 0 || index == 1 ? models[index] : nullptr;
}

void TdomASModelCollection::CheckCaches() {
  // Resolving an external entity's text touches its model: check after that too.
  if (cacheStamp == ModelsStamp()) return;
  expandedLengths.clear();
  acyclic.clear();
  defaults.clear();
  cacheStamp = ModelsStamp();
}

void TdomASModelCollection::Clear() {
  models[0]->Clear();
  models[1]->Clear();
  pendingIdRefs.clear();
  declarationsValid = true;
}

TdomASElementDecl* TdomASModelCollection::FindElementDeclByName(const std::u16string& name) const {
  // An attribute-list declaration of the internal subset makes an element
  // declaration that is not yet declared; the external subset may declare it.
  TdomASElementDecl* internal = models[0]->FindElementDecl(name);
  if (internal != nullptr && internal->ContentType() != AS_UNKNOWN_CONTENTTYPE) return internal;
  TdomASElementDecl* external = models[1]->FindElementDecl(name);
  return external != nullptr ? external : internal;
}

TdomASElementDecl* TdomASModelCollection::FindElementDecl(const TdomElement* element) const {
  return element != nullptr ? FindElementDeclByName(element->GetNodeName()) : nullptr;
}

TdomASAttributeDecl* TdomASModelCollection::FindAttributeDecl(const TdomAttr* attr) const {
  if (attr == nullptr || attr->GetOwnerElement() == nullptr) return nullptr;
  const std::u16string elementName = attr->GetOwnerElement()->GetNodeName();
  const std::u16string attrName = attr->GetNodeName();
  if (TdomASAttributeDecl* decl = models[0]->FindAttributeDecl(elementName, attrName)) return decl;
  return models[1]->FindAttributeDecl(elementName, attrName);
}

TdomASEntityDecl* TdomASModelCollection::FindEntityDecl(const std::u16string& name) const {
  if (TdomASEntityDecl* decl = models[0]->FindEntityDecl(name)) return decl;
  return models[1]->FindEntityDecl(name);
}

TdomASNotationDecl* TdomASModelCollection::FindNotationDecl(const std::u16string& name) const {
  if (TdomASNotationDecl* decl = models[0]->FindNotationDecl(name)) return decl;
  return models[1]->FindNotationDecl(name);
}

TdomASAttributeType TdomASModelCollection::GetAttributeType(const TdomAttr* attr) const {
  TdomASAttributeDecl* decl = FindAttributeDecl(attr);
  return decl != nullptr ? decl->AttrType() : AS_STRING_DATATYPE;
}

bool TdomASModelCollection::IsExternalDecl(const TdomASObject* decl) const {
  return decl != nullptr && decl->OwnerModel() == models[1];
}

// --- Entities -------------------------------------------------------------------------


TXmlErrorType TdomASModelCollection::ResolveEntityReplacementText(const std::u16string& name, std::u16string& text) {
  text.clear();
  TdomASEntityDecl* decl = FindEntityDecl(name);
  if (decl == nullptr) {
    const char16_t* predefined = PredefinedEntityReplacementText(name);
    if (predefined == nullptr) return ET_UNDEFINED_ENTITY;
    text = predefined;
    return ET_NONE;
  }
  if (!decl->IsParsedEntity()) return ET_REF_TO_UNPARSED_ENTITY;
  if (decl->Resolving()) return ET_RECURSIVE_ENTITY_REF;
  if (TXmlErrorType read = decl->ReadReplacementText(); read != ET_NONE) return read;
  try {
    if (refersToItself(decl, /*skipUndeclared=*/false)) return ET_ENTITY_REFERS_TO_ITSELF;
  } catch (const EConvertError&) {
    // A reference to an undeclared entity inside: the text cannot be used.
    return ET_UNDEFINED_ENTITY;
  }
  text = decl->ReplacementText();
  return ET_NONE;
}

bool TdomASModelCollection::refersToXyz(const TdomASEntityDecl* decl, bool skipUndeclared, int mode) {
  if (mode < 0 || mode > 2) throw ESyntax_Err();
  if (decl == nullptr) throw ENot_Supported_Err();
  auto decides = [mode](const TdomASEntityDecl* d) {
    if (mode == 1) return d->IsExternalEntity();
    if (mode == 2) return !d->IsParsedEntity();
    return false;
  };
  if (decides(decl)) return true;
  CheckCaches();
  if (mode == 0 && acyclic.count(decl) != 0) return false;
  // Depth-first walk with colours: a declaration on the current path (grey)
  // met again is a cycle; one finished (black) is never walked twice, so
  // shared sub-entities cost nothing more and deep chains no stack.
  enum Colour : uint8_t { kGrey = 1, kBlack = 2 };
  std::unordered_map<const TdomASEntityDecl*, Colour> colour;
  struct Frame {
    TdomASEntityDecl* decl;
    int next;
  };
  std::vector<Frame> path;
  auto enter = [&](const TdomASEntityDecl* d) {
    auto* entry = const_cast<TdomASEntityDecl*>(d);
    entry->ResolveReplacementText();
    colour[entry] = kGrey;
    path.push_back(Frame{entry, 0});
  };
  enter(decl);
  while (!path.empty()) {
    Frame& frame = path.back();
    TUtilsWideStringList* refs = frame.decl->EntityRefs();
    if (frame.next >= refs->GetCount()) {
      colour[frame.decl] = kBlack;
      path.pop_back();
      continue;
    }
    std::u16string name = refs->Get(frame.next++);
    TdomASEntityDecl* ref = FindEntityDecl(name);
    if (ref == nullptr) {
      if (skipUndeclared || IsXmlPredefinedEntityName(name)) continue;
      throw EConvertError("Entity reference cannot be resolved.");
    }
    auto seen = colour.find(ref);
    if (seen != colour.end()) {
      if (seen->second == kGrey && mode == 0) return true;
      continue;
    }
    if (mode == 0 && acyclic.count(ref) != 0) continue;
    if (decides(ref)) return true;
    enter(ref);
  }
  // Every declaration walked leads to no cycle: remembered while nothing changes.
  if (mode == 0 && cacheStamp == ModelsStamp())
    for (const auto& entry : colour) acyclic.insert(entry.first);
  return false;
}

bool TdomASModelCollection::refersToExternalEntity(const std::u16string& name) {
  TdomASEntityDecl* decl = FindEntityDecl(name);
  if (decl == nullptr) {
    if (IsXmlPredefinedEntityName(name)) return false;
    throw EConvertError("Entity reference cannot be resolved.");
  }
  return refersToXyz(decl, /*skipUndeclared=*/false, 1);
}

bool TdomASModelCollection::refersToItself(const TdomASEntityDecl* decl, bool skipUndeclared) {
  return refersToXyz(decl, skipUndeclared, 0);
}

bool TdomASModelCollection::refersToUnparsedEntity(const TdomASEntityDecl* decl) {
  return refersToXyz(decl, /*skipUndeclared=*/true, 2);
}

namespace {
// sum + count * length, held at the limit.
int64_t AddTimes(int64_t sum, int count, int64_t length) {
  constexpr int64_t kLimit = TdomASModelCollection::kExpandedLengthLimit;
  if (length > 0 && count > kLimit / length) return kLimit;
  return std::min(sum + count * length, kLimit);
}
}  // namespace

int64_t TdomASModelCollection::ExpandedLength(const std::u16string& name) {
  TdomASEntityDecl* root = FindEntityDecl(name);
  if (root == nullptr) return IsXmlPredefinedEntityName(name) ? 1 : 0;
  CheckCaches();
  auto known = expandedLengths.find(root);
  if (known != expandedLengths.end()) return known->second;
  // Each reference costs one more than its expansion, so that references to
  // empty entities are paid for too. Post-order walk without recursion; a
  // declaration met again on the
  // current path (a cycle) counts as the limit.
  constexpr int64_t kOnPath = -1;
  struct Frame {
    TdomASEntityDecl* decl;
    int next;
    int64_t sum;
  };
  std::vector<Frame> path;
  auto enter = [&](TdomASEntityDecl* d) {
    d->ResolveReplacementText();
    expandedLengths[d] = kOnPath;
    path.push_back(Frame{d, 0, d->OwnTextLength()});
  };
  enter(root);
  int64_t result = 0;
  while (!path.empty()) {
    Frame& frame = path.back();
    TUtilsWideStringList* refs = frame.decl->EntityRefs();
    if (frame.next >= refs->GetCount()) {
      result = std::min(frame.sum, kExpandedLengthLimit);
      expandedLengths[frame.decl] = result;
      path.pop_back();
      if (!path.empty()) {
        Frame& parent = path.back();
        int count = parent.decl->EntityRefCounts()[static_cast<size_t>(parent.next - 1)];
        parent.sum = AddTimes(parent.sum, count, result + 1);
      }
      continue;
    }
    int index = frame.next++;
    std::u16string refName = refs->Get(index);
    TdomASEntityDecl* ref = FindEntityDecl(refName);
    int64_t length;
    if (ref == nullptr) {
      length = IsXmlPredefinedEntityName(refName) ? 1 : 0;
    } else {
      auto seen = expandedLengths.find(ref);
      if (seen == expandedLengths.end()) {
        enter(ref);
        continue;
      }
      length = seen->second == kOnPath ? kExpandedLengthLimit : seen->second;
    }
    int count = frame.decl->EntityRefCounts()[static_cast<size_t>(index)];
    frame.sum = AddTimes(frame.sum, count, length + 1);
  }
  return result;
}

// --- Reports ----------------------------------------------------------------------------

bool TdomASModelCollection::ReportError(TXmlErrorType errorType, TdomASObject* relatedASObject,
                                        TdomNode* relatedNode) {
  TdomDocument* document = OwnerDocument();
  std::u16string uri = document != nullptr ? document->GetDocumentUri() : std::u16string();
  TdomError error(errorType, -1, -1, -1, -1, -1, -1, -1, -1, uri, relatedASObject, relatedNode, std::u16string());
  TdomDocumentWatch hold(document);
  if (TDomImplementation* impl = DomImplementation()) return impl->HandleError(hold, this, &error);
  return error.GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
}
