#include "WipeAlgTypes.h"

#include "Settings.h"

TPatternsReader PatternsFileReader = nullptr;
TDataStorage* DataStorage = nullptr;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

uint8_t HexToByte(char high, char low) {
  int h = HexDigit(high), l = HexDigit(low);
  if (h < 0 || l < 0) return 0x20;
  return static_cast<uint8_t>(h * 16 + l);
}

void TWipePass::Create(int order, const std::string& bytesText, const std::string& sequenceText) {
  Order = order;
  Fill = bytesText.size() == 2 ? HexToByte(bytesText[0], bytesText[1]) : 0;
  const size_t len = sequenceText.size();
  if (len != 2 && len != 4 && len != 6) return;
  for (size_t k = 0; k < len / 2; ++k) Sequence[k] = HexToByte(sequenceText[2 * k], sequenceText[2 * k + 1]);
}

void TWipePattern::Create(int order, const std::string& code, const std::string& name,
                          const std::string& description) {
  Order = order;
  Code = code;
  Name = name;
  Description = description;
  Passes = New<TWipePassesList>();
}

TWipePattern::~TWipePattern() { FreeAndNil(Passes); }

void TDataStorage::Create() { Patterns = New<TWipePatternsList>(); }

TDataStorage::~TDataStorage() { FreeAndNil(Patterns); }

void TDataStorage::LoadPatterns() {
  if (PatternsFileReader != nullptr) PatternsFileReader(this);
}

TWipePattern* TDataStorage::GetSelectedPattern() const {
  if (Patterns == nullptr) return nullptr;
  for (int i = Patterns->Count() - 1; i >= 0; --i) {
    TWipePattern* pattern = Patterns->Items(i);
    if (pattern != nullptr && pattern->Code == SelectedPatternCode) return pattern;
  }
  return nullptr;
}

void TDataStorage::CheckModified() {
  // Patterns are only read; there is never anything to write back.
  if (!Modified) return;
}

std::string PatternListText(const TWipePattern* pattern) {
  if (pattern == nullptr) return {};
  int passes = pattern->Passes != nullptr ? pattern->Passes->Count() : 0;
  return pattern->Name + " (" + std::to_string(passes) + ")";
}
