#pragma once
// Where a handler's door leaves its hold when that hold would be the last.
//
// A door holds its owner while a handler runs. When the handler freed the
// owner, or left it work for its last hold (records to release), and no
// operation further out holds it, ending the door's hold there would release
// the owner under the code that opened the door: it goes on reading it until
// it returns. The door hands its hold over instead, and the holds handed over
// end when the thread is back in its message loop, with no operation on the
// stack.
#include <cstddef>

class TObject;

// Takes over one hold of object, which the caller had and gives up.
void HandOverHold(TObject* object);
// Ends every hold handed over so far, oldest first (those an ending hold
// hands over meanwhile too). Called only with no operation on the stack.
void EndHandedOverHolds();
// Holds handed over and not ended yet.
size_t HandedOverHoldCount();
// True while EndHandedOverHolds ends them: an object that hands its own last
// hold over ends it for real then.
bool EndingHandedOverHolds();
