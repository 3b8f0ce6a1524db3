#include "AlgorithmList.h"

#include "WipeAlgTypes.h"
#include "win/controls/StdCtrls.h"

int FillAlgorithmList(TComboBox* combo, const TDataStorage* storage, const std::string& selectedCode) {
  if (combo == nullptr || storage == nullptr || storage->Patterns == nullptr) return -1;
  int selected = -1;
  TWipePatternsList* patterns = storage->Patterns;
  for (int i = 0; i < patterns->Count(); ++i) {
    TWipePattern* pattern = patterns->Items(i);
    int index = combo->Items()->AddObject(PatternListText(pattern), pattern);
    // Of several patterns with the selected code the last one wins.
    if (pattern != nullptr && pattern->Code == selectedCode) selected = index;
  }
  return selected;
}
