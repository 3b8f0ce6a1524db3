// The other file of EventsSameNames_test.cpp: a class of the same name in an
// unnamed namespace, with a method of the same name and signature, whose
// count sits where the test file's class keeps something else.
#include "core/Component.h"
#include "core/Events.h"
#include "core/PublishedMethods.h"

namespace {

class TSameName : public TComponent {
public:
  QV_PUBLISHED_METHODS(TSameName, TComponent, QV_METHOD(Heard))
  void Heard(TObject*) { ++heard; }

  int other = 0;
  int heard = 0;
};

}  // namespace

TComponent* NewOtherFileHandler() { return New<TSameName>(nullptr); }

TNotifyEvent OtherFileEvent(TComponent* handler) {
  return MakeEvent<&TSameName::Heard>(static_cast<TSameName*>(handler));
}

int OtherFileHeard(TComponent* handler) { return static_cast<TSameName*>(handler)->heard; }
