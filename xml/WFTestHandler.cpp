#include "xml/WFTestHandler.h"

#include "xml/DomException.h"
#include "xml/XmlRules.h"

namespace {
[[noreturn]] void RaiseInternal() { throw EParserException("Internal Parser Exception"); }

template <class T>
T* As(TXmlSignal* signal) {
  return SignalAs<T>(signal);
}
}  // namespace

void TXmlWFTestHandler::Create(TComponent* owner) {
  TXmlCustomHandler::Create(owner);
  Reset();
}

void TXmlWFTestHandler::Reset() {
  documentState = 0;
  doctypeSeen = false;
  rootState = 0;
  prefixList.clear();
  elementStack.Clear();
  refusedElements.clear();
  refusedMappings.clear();
  refusedRootOpen = false;
  entityRefsChecked = false;
  declaredEntities.clear();
}

void TXmlWFTestHandler::SetNextHandler(TXmlCustomHandler* value) {
  if (value == nextHandler) return;
  if (nextHandler != nullptr) RemoveFreeNotification(nextHandler);
  nextHandler = value;
  if (nextHandler != nullptr) FreeNotification(nextHandler);
}

void TXmlWFTestHandler::Notification(TComponent* component, TOperation operation) {
  TXmlCustomHandler::Notification(component, operation);
  if (operation == opRemove && component == nextHandler) nextHandler = nullptr;
}

void TXmlWFTestHandler::TestContent(TXmlSignal* signal, bool fragment, TXmlErrorType& errorType,
                                    std::u16string& code, bool& closesRefused) {
  auto fail = [&](TXmlErrorType type, std::u16string text) {
    errorType = type;
    code = std::move(text);
  };
  // One look at the kind, then the test of that kind.
  switch (signal->KindCode()) {
    case SK_PCDATA: {
      auto* pcdata = static_cast<TXmlPCDATASignal*>(signal);
      if (fragment || rootState == 1) return;
      if (pcdata->CharRefGenerated) return fail(ET_NOT_IN_ROOT, u"&#");
      if (!IsXmlS(pcdata->Data)) fail(ET_NOT_IN_ROOT, pcdata->Data);
      return;
    }
    case SK_START_ELEMENT: {
      auto* start = static_cast<TXmlStartElementSignal*>(signal);
      // A second root is kept open, as any refused start tag is.
      if (!fragment && rootState == 2) fail(ET_DOUBLE_ROOT_ELEMENT, start->TagName);
      rootState = 1;
      elementStack.Push(start->TagName);
      return;
    }
    case SK_END_ELEMENT: {
      auto* end = static_cast<TXmlEndElementSignal*>(signal);
      if (elementStack.Empty() || elementStack.Back() != end->TagName) return fail(ET_MISSING_START_TAG, end->TagName);
      if (!refusedElements.empty() && refusedElements.back() == elementStack.Size()) {
        refusedElements.pop_back();
        closesRefused = true;
      }
      elementStack.Pop();
      if (elementStack.Empty()) {
        rootState = 2;
        refusedRootOpen = false;
      }
      return;
    }
    case SK_CDATA: {
      auto* cdata = static_cast<TXmlCDATASignal*>(signal);
      if (!fragment && rootState != 1) fail(ET_NOT_IN_ROOT, cdata->Data);
      return;
    }
    case SK_DOCTYPE: {
      auto* doctype = static_cast<TXmlDoctypeSignal*>(signal);
      // In a fragment too: whether the node it reads into takes one (a
      // document may, an element never) is that node's to say.
      if (doctypeSeen) return fail(ET_DOUBLE_DOCTYPE, doctype->DoctypeName);
      doctypeSeen = true;
      if (rootState != 0) return fail(ET_DOCTYPE_AFTER_ROOT_ELEMENT, doctype->DoctypeName);
      // Declarations outside the internal subset proper (an external subset,
      // parameter entities) may hold the entities referred to: whether they
      // do, and may in a standalone document, is for validation to tell.
      if (entityRefsChecked && (!doctype->SystemId.empty() || !ReadSubsetEntityUses(doctype->Data, declaredEntities)))
        entityRefsChecked = false;
      return;
    }
    case SK_ENTITY_REF: {
      auto* ref = static_cast<TXmlEntityRefSignal*>(signal);
      if (!fragment && rootState != 1) fail(ET_NOT_IN_ROOT, u"&" + ref->EntityName + u";");
      return;
    }
    case SK_START_PREFIX_MAPPING:
      prefixList.push_back(static_cast<TXmlStartPrefixMappingSignal*>(signal)->Prefix);
      return;
    case SK_END_PREFIX_MAPPING: {
      auto* unmapping = static_cast<TXmlEndPrefixMappingSignal*>(signal);
      if (prefixList.empty() || prefixList.back() != unmapping->Prefix)
        return fail(ET_UNBALANCED_PREFIX_MAPPING, unmapping->Prefix);
      if (!refusedMappings.empty() && refusedMappings.back() == prefixList.size()) {
        refusedMappings.pop_back();
        closesRefused = true;
      }
      prefixList.pop_back();
      return;
    }
    case SK_COMPLETED:
      if (!fragment && rootState == 0) {
        fail(ET_MISSING_ROOT_ELEMENT, u"");
      } else if (rootState == 1) {
        fail(ET_MISSING_END_TAG, u"");
      } else {
        doctypeSeen = false;
        rootState = 0;
      }
      documentState = 0;
      return;
    case SK_ABORTED:
      Reset();
      return;
    default:
      break;
  }
  if ((signal->Scope() & kScopeDoc) == 0) RaiseInternal();
}

void TXmlWFTestHandler::TestEntitiesDeclared(const TXmlStartElementSignal* start, TXmlErrorType& errorType,
                                             std::u16string& code) const {
  const TUtilsNameValueList* attributes = start->Attributes;
  for (int i = 0; i < attributes->GetCount(); ++i) {
    const std::u16string& value = attributes->ValueAt(i);
    // The value's own check has passed: every reference is closed.
    for (size_t amp = value.find(u'&'); amp != std::u16string::npos; amp = value.find(u'&', amp + 1)) {
      const size_t end = value.find(u';', amp);
      std::u16string name = value.substr(amp + 1, end - amp - 1);
      if (name[0] == u'#' || IsXmlPredefinedEntityName(name)) continue;
      auto found = declaredEntities.find(name);
      if (found == declaredEntities.end()) {
        errorType = ET_UNDECLARED_ENTITY_IN_ATTRIBUTE;
        code = std::move(name);
        return;
      }
      if (found->second.error != ET_NONE) {
        errorType = found->second.error;
        code = found->second.code;
        return;
      }
    }
  }
}

void TXmlWFTestHandler::ProcessSignal(TXmlSignal* signal) {
  TSignalHold self(this);
  TXmlErrorType errorType = ET_NONE;
  std::u16string code;
  bool closesRefused = false;
  size_t openBefore = elementStack.Size();
  size_t mappedBefore = prefixList.size();
  switch (documentState) {
    case 0:
      if (As<TXmlStartDocumentSignal>(signal) != nullptr || As<TXmlStartDocumentFragmentSignal>(signal) != nullptr) {
        Reset();
        bool document = As<TXmlStartDocumentSignal>(signal) != nullptr;
        documentState = document ? 1 : 2;
        // A fragment's entities are declared where it is read into.
        entityRefsChecked = document;
      } else if (As<TXmlStartExtDtdSignal>(signal) != nullptr) {
        documentState = 3;
      } else if (As<TXmlStartIntDtdSignal>(signal) != nullptr) {
        documentState = 4;
      } else if (As<TXmlAbortedSignal>(signal) != nullptr) {
        Reset();
      } else {
        RaiseInternal();
      }
      break;
    case 1:
    case 2:
      TestContent(signal, documentState == 2, errorType, code, closesRefused);
      break;
    case 3:
    case 4:
      if ((signal->Scope() & kScopeDtd) == 0) RaiseInternal();
      if (As<TXmlCompletedSignal>(signal) != nullptr) documentState = 0;
      if (As<TXmlAbortedSignal>(signal) != nullptr) Reset();
      break;
    default:
      break;
  }
  // The end of what was refused: reported at its start, never passed on.
  if (closesRefused) return;
  // The end of the read reaches the handlers after this one however it
  // ended, so that they let go of what they hold for it.
  bool ends = signal->KindCode() == SK_COMPLETED || signal->KindCode() == SK_ABORTED;
  // An end tag that got here closes a start tag these checks let through,
  // whose name it has: that name was checked then.
  if (errorType == ET_NONE && signal->KindCode() != SK_END_ELEMENT) signal->CheckWellformedness(errorType, code);
  if (errorType == ET_NONE && entityRefsChecked && signal->KindCode() == SK_START_ELEMENT)
    TestEntitiesDeclared(static_cast<TXmlStartElementSignal*>(signal), errorType, code);
  if (errorType == ET_NONE) {
    if (nextHandler != nullptr && (!refusedRootOpen || ends)) nextHandler->ProcessSignal(signal);
    EndIfFreed();
    return;
  }
  SendErrorNotification(signal->Reader(), errorType, signal, code);
  EndIfFreed();
  if (ends) {
    // A read that ends refused (its root left open) ends for the rest of
    // the chain too, once the verdict let it go on.
    if (nextHandler != nullptr) nextHandler->ProcessSignal(signal);
    EndIfFreed();
    return;
  }
  // Parsing goes on past a refused start tag or prefix mapping: it stays
  // open here, and its end is kept from the handlers after this one, which
  // never saw it begin.
  if (elementStack.Size() > openBefore) {
    refusedElements.push_back(elementStack.Size());
    // What a refused root element holds has no place in the document.
    if (documentState == 1 && elementStack.Size() == 1) refusedRootOpen = true;
  }
  if (prefixList.size() > mappedBefore) refusedMappings.push_back(prefixList.size());
}
