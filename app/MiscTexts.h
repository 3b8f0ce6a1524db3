#pragma once
// The program's texts of the language files' section "Misc": every key it
// looks up there, with the English text used when no language file has it.
// The wizard's step headings keep their own table (WizardPages.h).
#include <cstddef>
#include <string>

struct TMiscText {
  const char* key;      // "strReady"
  const char* english;  // "Ready"
};

// All of them, in key order; count receives their number.
const TMiscText* MiscTexts(size_t& count);
// The text of key in the loaded language file, else its English text
// (LangString). The key must be one of MiscTexts (asserted).
std::string MiscText(const char* key);
