#include "core/HandedOverHolds.h"

#include <cstddef>
#include <vector>

#include "core/Object.h"

namespace {

// Per thread: holds are for the thread that owns the object.
thread_local std::vector<TObject*> handedOver;
thread_local bool ending = false;

}  // namespace

void HandOverHold(TObject* object) {
  try {
    handedOver.push_back(object);
  } catch (...) {
    // No room to keep it: the hold ends here, as it would have without a door.
    object->Unhold();
  }
}

void EndHandedOverHolds() {
  // Objects let go here may free others whose doors hand over again: the
  // loop takes those too, and a call from inside one of them leaves them to it.
  if (ending) return;
  ending = true;
  for (size_t i = 0; i < handedOver.size(); ++i) handedOver[i]->Unhold();
  handedOver.clear();
  ending = false;
}

bool EndingHandedOverHolds() { return ending; }

size_t HandedOverHoldCount() { return handedOver.size(); }
