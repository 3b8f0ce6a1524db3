#pragma once
// The toolkit's user-visible texts that a program may show in its own
// language: each is looked up by key ("strColumnSettings") through the
// translator the program sets; without one the English text is shown.
#include <functional>
#include <string>
#include <string_view>

// Answers the text to show for key, given its English text.
using TToolkitTextTranslator = std::function<std::u16string(const char* key, std::u16string_view english)>;

// Replaces the translator (an empty one brings back the English texts).
void SetToolkitTextTranslator(TToolkitTextTranslator translator);
// The text of key in the program's language; english when no translator is
// set or it answers an empty text.
std::u16string ToolkitText(const char* key, std::u16string_view english);
