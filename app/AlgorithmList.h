#pragma once
// The algorithm page's list: one item per pattern (PatternListText) with the
// pattern attached, in the storage's order.
#include <string>

class TComboBox;
class TDataStorage;

// Fills combo with storage's patterns (nothing for null storage) and returns
// the index of the last pattern whose Code equals selectedCode, or -1. The
// caller selects it and runs its change handler.
int FillAlgorithmList(TComboBox* combo, const TDataStorage* storage, const std::string& selectedCode);
