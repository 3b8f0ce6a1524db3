#include "xml/XmlCustomTokenizer.h"

namespace {
constexpr UCS4Char kEnd = kUcs4EndOfInput;
}  // namespace

void TXmlCustomTokenizer::Create(TXmlInputSource* inputSource_, int tabWidth_) {
  inputSource = inputSource_;
  tabWidth = tabWidth_;
  tokenValue.clear();
  if (inputSource != nullptr) {
    StartAtCurrent();
    EndAtPrevious();
  }
  errorType = ET_NONE;
}

void TXmlCustomTokenizer::ReadCommentText(TTrailingHyphen trailingHyphen) {
  Advance();
  if (NextCp() != '-') {
    EndAtCurrent();
    SetError(ET_INVALID_COMMENT, u"<!--");
    return;
  }
  Advance();
  StartAtNext();
  while (NextCp() != kEnd) {
    Advance();
    if (CurCp() == '-') {
      EndAtPrevious();
      Advance();
      if (CurCp() == '-') {
        if (NextCp() == '>') {
          Advance();
          return;
        }
        EndAtCurrent();
        SetError(ET_DOUBLE_HYPHEN_IN_COMMENT, u">");
        return;
      }
      if (CurCp() == kEnd) {
        if (trailingHyphen == TTrailingHyphen::Included) EndAtPrevious();
        SetError(ET_UNCLOSED_COMMENT, u"-->");
        return;
      }
      Add('-');
    }
    AddCurrent();
  }
  EndAtCurrent();
  SetError(ET_UNCLOSED_COMMENT, u"-->");
}

void TXmlCustomTokenizer::ReadProcessingInstructionText() {
  Advance();
  StartAtNext();
  while (NextCp() != kEnd) {
    Advance();
    if (CurCp() == '?' && NextCp() == '>') {
      EndAtPrevious();
      Advance();
      return;
    }
    AddCurrent();
  }
  EndAtPrevious();
  SetError(ET_UNCLOSED_PROCESSING_INSTRUCTION, u"?");
}
