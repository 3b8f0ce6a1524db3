#pragma once
// TClipboardFormats: the names of the clipboard formats one tree offers. A
// sorted list without duplicates (names compared without regard to case) that
// takes only names registered for its tree's class or a class it derives from.
#include <string>

#include "core/Strings.h"

class TBaseVirtualTree;

class TClipboardFormats : public TStringList {
public:
  void Create(TBaseVirtualTree* owner_);
  TBaseVirtualTree* Owner() const { return owner; }

  // A name the tree cannot render adds nothing and answers -1.
  int AddObject(const std::string& s, TObject* object) override;
  // A name the tree cannot render adds nothing; any other is refused as on
  // every sorted list (EStringListError).
  void InsertObject(int index, const std::string& s, TObject* object) override;

private:
  TBaseVirtualTree* owner = nullptr;
};
