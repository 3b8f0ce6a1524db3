// The program's translation of the toolkit's texts.
#include "shell/ToolkitTexts.h"

namespace {
TToolkitTextTranslator& Translator() {
  static TToolkitTextTranslator translator;
  return translator;
}
}  // namespace

void SetToolkitTextTranslator(TToolkitTextTranslator translator) { Translator() = std::move(translator); }

std::u16string ToolkitText(const char* key, std::u16string_view english) {
  if (Translator()) {
    std::u16string text = Translator()(key, english);
    if (!text.empty()) return text;
  }
  return std::u16string(english);
}
