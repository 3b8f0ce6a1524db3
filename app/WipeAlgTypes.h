#pragma once
// The wipe-pattern model: a pattern (TWipePattern) is a named list of passes
// (TWipePass), each the bytes the engine writes in that pass. Patterns come
// from the patterns file beside the executable; nothing here carries a
// built-in list. The lists own their items.
#include <cstdint>
#include <string>

#include "core/Lists.h"
#include "core/Object.h"

// The value of two hex digits ("0"-"9", "A"-"F", "a"-"f"), high nibble first;
// 0x20 when either is not a hex digit.
uint8_t HexToByte(char high, char low);

class TWipePass : public TObject {
public:
  // bytesText: exactly two hex digits give Fill (other lengths give 0);
  // sequenceText: 2, 4 or 6 hex digits give 1, 2 or 3 bytes of Sequence (other
  // lengths give 0, 0, 0). A non-hex digit gives 0x20 for that byte.
  void Create(int order, const std::string& bytesText, const std::string& sequenceText);

  int Order = 0;             // stored, never used for sorting
  uint8_t Fill = 0;
  uint8_t Sequence[3] = {0, 0, 0};
};

// Passes in file order; frees its passes.
class TWipePassesList : public TObjectList {
public:
  TWipePass* Items(int index) const { return static_cast<TWipePass*>(TObjectList::Items(index)); }
};

class TWipePattern : public TObject {
public:
  // Creates the empty Passes list.
  void Create(int order, const std::string& code, const std::string& name, const std::string& description);
  ~TWipePattern() override;

  int Order = 0;             // stored, never used for sorting
  std::string Code;          // compared exactly with SelectedPatternCode
  std::string Name;
  std::string Description;
  TWipePassesList* Passes = nullptr;  // owned
};

// Patterns in file order; frees its patterns.
class TWipePatternsList : public TObjectList {
public:
  TWipePattern* Items(int index) const { return static_cast<TWipePattern*>(TObjectList::Items(index)); }
};

class TDataStorage;
// The patterns-file reader: fills storage->Patterns (and may set
// SelectedPatternCode). Set by the reader's unit; LoadPatterns does nothing
// while it is null.
using TPatternsReader = void (*)(TDataStorage* storage);
extern TPatternsReader PatternsFileReader;

class TDataStorage : public TObject {
public:
  // Creates the empty Patterns list.
  void Create();
  ~TDataStorage() override;

  // Reads the patterns file through PatternsFileReader (nothing when none is set).
  void LoadPatterns();
  // The last pattern whose Code equals SelectedPatternCode, or null.
  TWipePattern* GetSelectedPattern() const;
  // Called when the main form goes; nothing to save while Modified is false.
  void CheckModified();

  bool Modified = false;
  // Set by a reader that could not use the file: the program is ending, and
  // its start must change nothing more.
  bool LoadFailed = false;
  TWipePatternsList* Patterns = nullptr;  // owned
};

// The one storage while the main form lives; null otherwise.
extern TDataStorage* DataStorage;

// The algorithm list's text of a pattern: Name + " (" + pass count + ")".
std::string PatternListText(const TWipePattern* pattern);
