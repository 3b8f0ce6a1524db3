// Entity declarations: the replacement text and the references it holds.
#include "xml/AsModelCollection.h"
#include "xml/AsObjects.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ExternalResources.h"
#include "xml/WideStrList.h"
#include "xml/XmlInputSource.h"
#include "xml/XmlRules.h"

TdomASEntityDecl::~TdomASEntityDecl() { delete entityRefs; }

void TdomASEntityDecl::Create(TdomASModel* model, const std::u16string& notationName_,
                              const std::u16string& systemId_, const std::u16string& publicId_,
                              const std::u16string& value, const std::u16string& name_) {
  if (!IsXmlName(name_)) throw EInvalid_Character_Err();
  TdomASObject::Create(model, name_, AS_ENTITY_DECLARATION);
  entityRefs = new TUtilsWideStringList;
  notationName = notationName_;
  systemId = systemId_;
  publicId = publicId_;
  if (!IsExternalEntity()) SetReplacementText(value);
}

namespace {

// Position just after the first occurrence of terminator from i, or the end.
size_t SkipPast(const std::u16string& text, size_t i, std::u16string_view terminator) {
  size_t found = text.find(terminator, i);
  return found == std::u16string::npos ? text.size() : found + terminator.size();
}

}  // namespace

void TdomASEntityDecl::SetReplacementText(const std::u16string& text) {
  replacementText = text;
  if (ownerModel != nullptr) ownerModel->Touch();  // what it refers to may have changed
  entityRefs->Clear();
  entityRefCounts.clear();
  ownTextLength = static_cast<int64_t>(text.size());
  errorType = ET_NONE;
  // One pass over the text: references in content and in attribute values
  // count, markup that cannot hold any (comments, CDATA, PIs) is skipped.
  size_t i = 0;
  while (i < text.size()) {
    char16_t c = text[i];
    if (c == u'<') {
      std::u16string_view rest(text.data() + i, text.size() - i);
      if (rest.substr(0, 4) == u"<!--") {
        i = SkipPast(text, i + 4, u"-->");
      } else if (rest.substr(0, 9) == u"<![CDATA[") {
        i = SkipPast(text, i + 9, u"]]>");
      } else if (rest.substr(0, 2) == u"<?") {
        i = SkipPast(text, i + 2, u"?>");
      } else {
        ++i;
      }
      continue;
    }
    if (c != u'&') {
      ++i;
      continue;
    }
    size_t semicolon = text.find(u';', i + 1);
    if (semicolon == std::u16string::npos) {
      errorType = ET_UNCLOSED_ENTITY_REF;
      break;
    }
    std::u16string refName = text.substr(i + 1, semicolon - i - 1);
    if (!refName.empty() && refName[0] != u'#') {
      if (!IsXmlName(refName)) {
        errorType = ET_INVALID_PARAMETER_ENTITY_NAME;  // as a bad reference name in a value
      } else {
        int index = entityRefs->IndexOf(refName);
        if (index < 0) {
          index = entityRefs->Add(refName);
          entityRefCounts.push_back(0);
        }
        ++entityRefCounts[static_cast<size_t>(index)];
        ownTextLength -= static_cast<int64_t>(refName.size() + 2);
      }
    }
    i = semicolon + 1;
  }
  replacementTextResolved = true;
}

bool TdomASEntityDecl::ResolveReplacementText() {
  if (replacementTextResolved) return true;
  if (!IsParsedEntity() || resolving) return false;
  readFailure = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
  TdomASModelCollection* collection = ownerModel != nullptr ? ownerModel->Collection() : nullptr;
  if (collection == nullptr || !collection->ResolveExternals()) return false;
  resolving = true;
  bool result = false;
  try {
    std::u16string pub = publicId, sys = systemId;
    TdomDocumentWatch hold(collection->OwnerDocument());
    std::unique_ptr<TStream> stream =
        OpenExternalResource(hold, ownerModel->DomImplementation(), ownerModel->Location(), pub, sys);
    std::u16string text;
    TXmlErrorType read = stream != nullptr ? ReadExternalEntityText(stream.get(), pub, sys, text)
                                           : ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    if (read == ET_NONE) {
      SetReplacementText(text);
      result = true;
    } else {
      readFailure = read;
    }
  } catch (const EDecodingError&) {
    // Had, but not characters: not well formed, like such bytes in the document.
    readFailure = kDecodingErrorType;
  } catch (const Exception&) {
    readFailure = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
  }
  resolving = false;
  return result;
}

TXmlErrorType TdomASEntityDecl::ReadReplacementText() {
  if (ResolveReplacementText()) return ET_NONE;
  // Unparsed, or being read further up: there is no text to be had.
  if (!IsParsedEntity() || resolving) return ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
  return readFailure;
}
