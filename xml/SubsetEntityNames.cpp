#include "xml/SubsetEntityNames.h"

#include <memory>
#include <vector>

#include "xml/ParserUtilsCharRefs.h"
#include "xml/ParserUtilsLiterals.h"
#include "xml/WideStrStream.h"
#include "xml/XmlDtdTokenizer.h"
#include "xml/XmlInputSource.h"
#include "xml/XmlRules.h"

namespace {

enum class TEntityKind : uint8_t { Internal, External, Unparsed };

struct TSubsetEntity {
  TEntityKind kind = TEntityKind::Internal;
  std::u16string text;  // the replacement text of an internal entity
  enum : uint8_t { Unjudged, Judging, Judged } state = Unjudged;
};

using TEntities = std::unordered_map<std::u16string, TSubsetEntity>;

// An internal entity's value is a quoted literal; an external one's starts
// with a keyword.
bool IsQuotedValue(std::u16string_view value) {
  size_t start = 0;
  while (start < value.size() && IsXmlWhiteSpaceWideChar(value[start])) ++start;
  return start < value.size() && (value[start] == u'\'' || value[start] == u'"');
}

TSubsetEntity ReadDeclaration(std::u16string_view value) {
  std::u16string literal, systemLiteral, notationName, publicLiteral;
  bool error = false;
  ParseEntityDeclValue(value, literal, systemLiteral, error, notationName, publicLiteral);
  TSubsetEntity entity;
  // A faulty declaration is reported where the subset is read; its name
  // still counts as declared here.
  if (error) return entity;
  if (!notationName.empty()) {
    entity.kind = TEntityKind::Unparsed;
  } else if (!IsQuotedValue(value)) {
    entity.kind = TEntityKind::External;
  } else {
    try {
      entity.text = ResolveCharRefsWideStr(literal);
    } catch (const Exception&) {
      entity.text.clear();
    }
  }
  return entity;
}

// Judges every entity once, each replacement text scanned once however often
// it is used: without a stack of calls, as chains may be long. A reference
// back to an entity being judged is a cycle, which expanding it reports.
void JudgeAll(TEntities& entities, std::unordered_map<std::u16string, TAttrEntityUse>& uses) {
  struct Frame {
    const std::u16string* name;
    TSubsetEntity* entity;
    size_t pos;
  };
  for (auto& [rootName, rootEntity] : entities) {
    if (rootEntity.state != TSubsetEntity::Unjudged) continue;
    std::vector<Frame> frames{{&rootName, &rootEntity, 0}};
    rootEntity.state = TSubsetEntity::Judging;
    while (!frames.empty()) {
      Frame& frame = frames.back();
      TAttrEntityUse& use = uses[*frame.name];
      const std::u16string& text = frame.entity->text;
      if (frame.entity->kind == TEntityKind::External) {
        use = {ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE, *frame.name};
      } else if (frame.entity->kind == TEntityKind::Unparsed) {
        use = {ET_REF_TO_UNPARSED_ENTITY, *frame.name};
      }
      bool descended = false;
      while (use.error == ET_NONE && frame.pos < text.size()) {
        const size_t at = text.find_first_of(u"<&", frame.pos);
        if (at == std::u16string::npos) {
          frame.pos = text.size();
          break;
        }
        if (text[at] == u'<') {
          use = {ET_LT_IN_ATTRIBUTE_VALUE, *frame.name};
          break;
        }
        const size_t end = text.find(u';', at);
        if (end == std::u16string::npos) {
          frame.pos = text.size();
          break;
        }
        std::u16string name = text.substr(at + 1, end - at - 1);
        if (name.empty() || name[0] == u'#' || IsXmlPredefinedEntityName(name)) {
          frame.pos = end + 1;
          continue;
        }
        auto found = entities.find(name);
        if (found == entities.end()) {
          use = {ET_UNDECLARED_ENTITY_IN_ATTRIBUTE, std::move(name)};
          break;
        }
        TSubsetEntity& inner = found->second;
        if (inner.state == TSubsetEntity::Unjudged) {
          // Judged first; this reference is read again when it is.
          inner.state = TSubsetEntity::Judging;
          frames.push_back({&found->first, &inner, 0});
          descended = true;
          break;
        }
        if (inner.state == TSubsetEntity::Judged && uses[name].error != ET_NONE) {
          use = uses[name];
          break;
        }
        frame.pos = end + 1;
      }
      if (descended) continue;
      frame.entity->state = TSubsetEntity::Judged;
      frames.pop_back();
    }
  }
}

}  // namespace

bool ReadSubsetEntityUses(const std::u16string& subset, std::unordered_map<std::u16string, TAttrEntityUse>& uses) {
  if (subset.empty()) return true;
  TEntities entities;
  try {
    std::unique_ptr<TUtilsWideStringStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + subset));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(), 4096,
                                                                 std::u16string(u"UTF-16LE"), true, 0, 0, 0, 0, 1));
    std::unique_ptr<TXmlDtdTokenizer> tokenizer(New<TXmlDtdTokenizer>(source.get(), /*isExternal=*/false, 1));
    for (tokenizer->Next(); tokenizer->TokenType() != DTK_END_OF_SOURCE; tokenizer->Next()) {
      if (tokenizer->TokenType() == DTK_PARAMETER_ENTITY_REF) return false;
      if (tokenizer->TokenType() != DTK_ENTITY_DECL || tokenizer->ErrorType() != ET_NONE) continue;
      const std::u16string& text = tokenizer->TokenText();
      size_t start = 0;
      while (start < text.size() && IsXmlWhiteSpaceWideChar(text[start])) ++start;
      size_t end = start;
      while (end < text.size() && !IsXmlWhiteSpaceWideChar(text[end])) ++end;
      if (end == start) continue;
      // "%" and white space: a parameter entity's declaration; "%" and a name:
      // a reference standing for the name.
      if (text[start] == u'%') {
        if (end == start + 1) continue;
        return false;
      }
      std::u16string name = text.substr(start, end - start);
      if (entities.count(name) == 0) entities.emplace(std::move(name), ReadDeclaration(std::u16string_view(text).substr(end)));
    }
  } catch (const Exception&) {
    return false;
  }
  JudgeAll(entities, uses);
  return true;
}
