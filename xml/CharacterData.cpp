#include "xml/CharacterData.h"

#include "xml/Document.h"
#include "xml/DomException.h"

void TdomCharacterData::Create(TCustomOwnedObject* owner) {
  TdomNode::Create(owner);
  SetAllowedChildTypes(0);
}

void TdomCharacterData::SetData(const std::u16string& value) {
  SetNodeValue(value);
  DoCharacterDataModified();
}

namespace {

// True for XML white space alone, as between elements (IsXmlS, inline: it
// is asked of every text the parser makes).
bool IsIndentation(std::u16string_view value) {
  for (char16_t c : value) {
    if (c != u' ' && c != u'\n' && c != u'\t' && c != u'\r') return false;
  }
  return !value.empty();
}

}  // namespace

void TdomCharacterData::SetFirstData(const std::u16string& value, TdomDocument* document) {
  // The white space that indents the elements of a document repeats: it is
  // kept once. Other text rarely repeats, and may be appended to in place.
  if (IsIndentation(value)) {
    StoreSharedNodeValue(value);
  } else {
    StoreNodeValue(value);
  }
  document->DoCharacterDataModified(this);
}

int TdomCharacterData::GetLength() const { return static_cast<int>(StoredNodeValue().size()); }

void TdomCharacterData::DoCharacterDataModified() {
  if (TdomDocument* doc = GetReferenceDocument()) doc->DoCharacterDataModified(this);
}

std::u16string TdomCharacterData::substringData(int offset, int count) const {
  std::u16string data = GetNodeValue();
  if (offset < 0 || offset > static_cast<int>(data.size()) || count < 0) throw EIndex_Size_Err();
  return data.substr(offset, count);
}

void TdomCharacterData::appendData(const std::u16string& arg) {
  CheckNodeWritable();
  AppendToNodeValue(arg);
  DoCharacterDataModified();
}

void TdomCharacterData::insertData(int offset, const std::u16string& arg) { replaceData(offset, 0, arg); }

void TdomCharacterData::deleteData(int offset, int count) { replaceData(offset, count, std::u16string()); }

void TdomCharacterData::replaceData(int offset, int count, const std::u16string& arg) {
  CheckNodeWritable();
  std::u16string data = GetNodeValue();
  int length = static_cast<int>(data.size());
  if (offset < 0 || offset > length || count < 0) throw EIndex_Size_Err();
  if (count > length - offset) count = length - offset;
  data.replace(offset, count, arg);
  // An edit keeps what the rest of the text was (see TdomText::SetData).
  TdomCharacterData::SetData(data);
}

void TdomText::SetData(const std::u16string& value) {
  TdomCharacterData::SetData(value);
  SetSubclassByte(static_cast<uint8_t>(SubclassByte() & ~kNonLiteralBit));
}

void TdomText::SetMergedData(const std::u16string& value, bool nonLiteral) {
  CheckNodeWritable();
  StoreNodeValue(value);
  uint8_t flags = SubclassByte() & ~kNonLiteralBit;
  SetSubclassByte(static_cast<uint8_t>(nonLiteral ? flags | kNonLiteralBit : flags));
  // Last: the report may run a listener that frees this node.
  DoCharacterDataModified();
}

bool TdomText::isWhitespaceInElementContent() const {
  TdomDocument* doc = GetReferenceDocument();
  return doc != nullptr && doc->IsIgnorableWhitespace(this);
}

TdomText* TdomText::splitText(int offset) {
  CheckNodeWritable();
  int length = GetLength();
  if (offset < 0 || offset > length) throw EIndex_Size_Err();
  TdomDocument* doc = GetReferenceDocument();
  if (doc == nullptr) throw ENot_Supported_Err();
  // A parent that will not take the new node refuses before the text is cut.
  if (TdomNode* parent = GetParentNode(); parent != nullptr && parent->GetReadOnly())
    throw ENo_Modification_Allowed_Err(DomMessage::kNoModificationAllowed);
  // Both reports (the new node's and this one's) may run a listener: the
  // place is looked up as it is then, and a node it freed is not used (a
  // freed tail gives null).
  TOwnedRef<TdomText> self(this);
  TdomText* tail = doc->createTextNode(GetNodeValue().substr(offset));
  TOwnedRef<TdomText> made(tail);
  if (!self || !made) return made.Get();
  deleteData(offset, length - offset);
  if (!self || !made) return made.Get();
  if (TdomNode* parent = GetParentNode()) parent->insertBefore(tail, GetNextSiblingNode());
  return made.Get();
}

size_t TdomText::ReleaseWithOwner() { return PlainReleaseSize<TdomText>(); }

size_t TdomCDATASection::ReleaseWithOwner() { return PlainReleaseSize<TdomCDATASection>(); }

size_t TdomComment::ReleaseWithOwner() { return PlainReleaseSize<TdomComment>(); }
