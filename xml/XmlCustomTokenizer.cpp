#include "xml/XmlCustomTokenizer.h"

void TXmlCustomTokenizer::Create(TXmlInputSource* inputSource_, int tabWidth_) {
  inputSource = inputSource_;
  tabWidth = tabWidth_;
  tokenValue.clear();
  if (inputSource != nullptr) {
    startPosition = inputSource->Current();
    endPosition = inputSource->Previous();
  }
  errorType = ET_NONE;
}
