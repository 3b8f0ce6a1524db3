#pragma once
// TPersistent: an object whose content can be copied into another with Assign.
#include "core/Object.h"

class TPersistent : public TObject {
public:
  // Copies source into this object: asks source->AssignTo(this); a class that
  // knows how to copy from some sources overrides this and calls the base for
  // the rest. Raises EConvertError "Cannot assign a <source> to a <this>" when
  // neither side knows how (source null reads "nil").
  virtual void Assign(TPersistent* source);

protected:
  // Copies this object into dest; the fallback raises the assignment error.
  virtual void AssignTo(TPersistent* dest);
  // Raises EConvertError "Cannot assign a %s to a %s" (source class or "nil", this class).
  [[noreturn]] void AssignError(TPersistent* source);
};
