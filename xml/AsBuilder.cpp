#include "xml/AsBuilder.h"

#include "xml/AsObjects.h"
#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/ParserUtilsLiterals.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/XmlRules.h"

namespace {

[[noreturn]] void Fail() { throw EParserException(DomMessage::kParser); }

// Removes a trailing occurrence mark from text and returns its frequency.
TdomASFrequency TakeFrequency(std::u16string& text) {
  if (text.empty()) return AS_ONCE;
  TdomASFrequency frequency;
  switch (text.back()) {
    case u'?': frequency = AS_OPTIONAL; break;
    case u'+': frequency = AS_ONE_OR_MORE; break;
    case u'*': frequency = AS_ZERO_OR_MORE; break;
    default: return AS_ONCE;
  }
  text.pop_back();
  // The mark follows its particle directly.
  if (text.empty() || IsXmlWhiteSpaceWideChar(text.back())) Fail();
  return frequency;
}

std::u16string InnerOfGroup(const std::u16string& text) {
  if (text.empty() || text.back() != u')') Fail();
  std::u16string inner;
  bool error = false;
  StripParenthesesWideStr(text, inner, error);
  if (error || inner.empty()) Fail();
  return inner;
}

}  // namespace

TdomDocument* TXmlASBuilder::TargetDocument() const {
  return targetWatch != nullptr ? targetWatch->Document() : nullptr;
}

void TXmlASBuilder::Report(TXmlSignal* signal, TXmlErrorType type, const std::u16string& code) {
  SendErrorNotification(signal->Reader(), type, signal, code);
}

void TXmlASBuilder::CheckTargetKept() const {
  EndIfFreed();
  if (targetWatch != nullptr && targetWatch->Node() == nullptr) throw TASTargetGone{};
}

void TXmlASBuilder::ProcessSignal(TXmlSignal* signal) {
  TSignalHold self(this);
  // The reports of earlier signals ran handlers: the models may have gone.
  CheckTargetKept();
  TdomASModel* model = targetModel;
  if (auto* definition = SignalAs<TXmlAttributeDefinitionSignal>(signal)) {
    if (model == nullptr) return;
    TdomASElementDecl* element = model->FindElementDecl(definition->ElementName);
    try {
      if (element == nullptr) model->AddElementDecl(definition->ElementName, AS_UNKNOWN_CONTENTTYPE, element);
      TdomASAttributeDecl* decl;
      if (!element->AddAttributeDecl(definition->AttributeName, definition->DefaultValue, decl,
                                     static_cast<TdomASAttributeType>(definition->AttributeType),
                                     static_cast<TdomASValueConstraint>(definition->DefaultDeclaration),
                                     definition->Enumeration))
        Report(signal, ET_ATTRIBUTE_DECLARED_TWICE, definition->AttributeName);
    } catch (const EDomException&) {
      Report(signal, ET_INVALID_ATTRIBUTE_DEFINITION, definition->AttributeName);
    }
    return;
  }
  if (auto* declaration = SignalAs<TXmlElementTypeDeclarationSignal>(signal)) {
    if (model == nullptr) return;
    std::u16string content = TrimXmlWhiteSpaceWideStr(declaration->ContentSpec);
    TdomASContentType type = content == u"EMPTY" ? AS_EMPTY_CONTENTTYPE
                             : content == u"ANY" ? AS_ANY_CONTENTTYPE
                             : content.find(u"#PCDATA") != std::u16string::npos ? AS_MIXED_CONTENTTYPE
                                                                               : AS_ELEMENT_CONTENTTYPE;
    TdomASElementDecl* element = nullptr;
    try {
      if (!model->AddElementDecl(declaration->ElementName, type, element)) return;
      if (type == AS_MIXED_CONTENTTYPE) ParseMixedContent(signal->Reader(), element, content);
      if (type == AS_ELEMENT_CONTENTTYPE) ParseChildrenContent(signal->Reader(), element, content);
    } catch (const Exception&) {
      // A group that could not be read leaves a model that matches nothing,
      // so the element always has one to be validated against.
      if (element != nullptr && (type == AS_MIXED_CONTENTTYPE || type == AS_ELEMENT_CONTENTTYPE)) {
        TdomASContentModel* partial = element->ReplaceContentModel(nullptr);
        element->FreeContentModel(partial);
        element->ReplaceContentModel(element->CreateContentModel(std::u16string(), AS_SEQUENCE));
      }
      Report(signal, ET_INVALID_ELEMENT_TYPE_DECL_NAME, declaration->ElementName);
    }
    return;
  }
  if (auto* entity = SignalAs<TXmlEntityDeclarationSignal>(signal)) {
    if (model == nullptr) return;
    try {
      std::u16string value = ResolveCharRefsWideStr(entity->EntityValue);
      TdomASEntityDecl* decl;
      if (!model->AddEntityDecl(entity->EntityName, value, decl, entity->NotationName, entity->SystemId,
                                entity->PublicId))
        Report(signal, ET_ENTITY_DECLARED_TWICE, entity->EntityName);
    } catch (const EConvertError&) {
      Report(signal, ET_INVALID_CHAR_REF, entity->EntityName);
    } catch (const EDomException&) {
      Report(signal, ET_INVALID_ENTITY_DECL, entity->EntityName);
    }
    return;
  }
  if (auto* notation = SignalAs<TXmlNotationDeclarationSignal>(signal)) {
    if (model == nullptr) return;
    try {
      TdomASNotationDecl* decl;
      if (!model->AddNotationDecl(notation->NotationName, notation->PublicId, decl, notation->SystemId))
        Report(signal, ET_UNDEFINED_NOTATION, notation->NotationName);
    } catch (const EDomException&) {
      Report(signal, ET_INVALID_NOTATION_DECL, notation->NotationName);
    }
    return;
  }
  if (auto* start = SignalAs<TXmlStartExtDtdSignal>(signal)) {
    if (model != nullptr) model->SetLocation(start->SystemId);
    return;
  }
  if (auto* start = SignalAs<TXmlStartIntDtdSignal>(signal)) {
    if (model != nullptr) model->SetLocation(start->SystemId);
    return;
  }
  if ((signal->Scope() & kScopeDtd) == 0) throw EParserException("Internal Parser Exception");
}

void TXmlASBuilder::ParseMixedContent(TXmlCustomReader*, TdomASElementDecl* decl, const std::u16string& content) {
  std::u16string text = TrimXmlWhiteSpaceWideStr(content);
  bool star = !text.empty() && text.back() == u'*';
  if (star) {
    text.pop_back();
    if (text.empty() || IsXmlWhiteSpaceWideChar(text.back())) Fail();
  }
  if (text.empty()) Fail();
  std::u16string inner = InnerOfGroup(text);
  TdomASContentModel* group = decl->CreateContentModel(std::u16string(), AS_CHOICE);
  group->SetFrequency(star ? AS_ZERO_OR_MORE : AS_ONCE);
  decl->ReplaceContentModel(group);
  if (inner == u"#PCDATA") return;
  if (!star) Fail();
  size_t bar = inner.find(u'|');
  if (bar == std::u16string::npos || TrimXmlWhiteSpaceWideStr(std::u16string_view(inner).substr(0, bar)) != u"#PCDATA")
    Fail();
  size_t start = bar + 1;
  for (;;) {
    size_t next = inner.find(u'|', start);
    std::u16string name = TrimXmlWhiteSpaceWideStr(
        std::u16string_view(inner).substr(start, next == std::u16string::npos ? std::u16string::npos : next - start));
    if (!IsXmlName(name)) Fail();
    group->AppendSubModel(decl->CreateContentModel(name, AS_ELEMENT_NAME));
    if (next == std::u16string::npos) break;
    start = next + 1;
  }
}

void TXmlASBuilder::ParseChildrenContent(TXmlCustomReader*, TdomASObject* parent, const std::u16string& content) {
  ParseGroup(parent, content, 0);
}

void TXmlASBuilder::ParseGroup(TdomASObject* parent, const std::u16string& content, int depth) {
  if (depth >= kMaxContentModelDepth) Fail();
  std::u16string text = TrimXmlWhiteSpaceWideStr(content);
  TdomASFrequency frequency = TakeFrequency(text);
  if (text.empty()) Fail();
  std::u16string inner = InnerOfGroup(text);
  // The separator is the first "," or "|" outside nested groups.
  char16_t separator = 0;
  int level = 0;
  for (char16_t c : inner) {
    if (c == u'(') ++level;
    if (c == u')' && --level < 0) Fail();
    if (level == 0 && (c == u',' || c == u'|')) {
      separator = c;
      break;
    }
  }
  TdomASElementDecl* decl = parent->ObjectType() == AS_ELEMENT_DECLARATION
                                ? static_cast<TdomASElementDecl*>(parent)
                                : parent->ObjectType() == AS_CONTENT_MODEL
                                      ? static_cast<TdomASContentModel*>(parent)->OwnerElementDecl()
                                      : nullptr;
  if (decl == nullptr) Fail();
  TdomASContentModel* group = decl->CreateContentModel(std::u16string(), separator == u'|' ? AS_CHOICE : AS_SEQUENCE);
  group->SetFrequency(frequency);
  if (parent->ObjectType() == AS_ELEMENT_DECLARATION) {
    decl->ReplaceContentModel(group);
  } else {
    static_cast<TdomASContentModel*>(parent)->AppendSubModel(group);
  }
  level = 0;
  size_t start = 0;
  for (size_t i = 0; i <= inner.size(); ++i) {
    char16_t c = i < inner.size() ? inner[i] : u'\0';
    if (c == u'(') ++level;
    if (c == u')' && --level < 0) Fail();
    if (i < inner.size() && (level > 0 || c != separator || separator == 0)) continue;
    if (level != 0) Fail();
    std::u16string particle = TrimXmlWhiteSpaceWideStr(std::u16string_view(inner).substr(start, i - start));
    start = i + 1;
    if (!particle.empty() && particle[0] == u'(') {
      ParseGroup(group, particle, depth + 1);
      continue;
    }
    TdomASFrequency particleFrequency = TakeFrequency(particle);
    if (!IsXmlName(particle)) Fail();
    TdomASContentModel* name = decl->CreateContentModel(particle, AS_ELEMENT_NAME);
    name->SetFrequency(particleFrequency);
    group->AppendSubModel(name);
  }
}
