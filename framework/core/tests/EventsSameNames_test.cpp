// Two files each with a class of the same name in an unnamed namespace, and a
// method of the same name and signature: each file's events call its own
// method, bound directly or by published name.
#include <gtest/gtest.h>

#include "core/Component.h"
#include "core/Events.h"
#include "core/PublishedMethods.h"

// In EventsOtherFile.cpp.
TComponent* NewOtherFileHandler();
TNotifyEvent OtherFileEvent(TComponent* handler);
int OtherFileHeard(TComponent* handler);

namespace {

class TSameName : public TComponent {
public:
  QV_PUBLISHED_METHODS(TSameName, TComponent, QV_METHOD(Heard))
  void Heard(TObject*) { ++heard; }

  int heard = 0;
  int other = 0;
};

TEST(EventsSameNamesTest, EachFileCallsItsOwnMethod) {
  TSameName* mine = New<TSameName>(nullptr);
  TComponent* theirs = NewOtherFileHandler();

  TNotifyEvent myEvent = MakeEvent<&TSameName::Heard>(mine);
  TNotifyEvent theirEvent = OtherFileEvent(theirs);
  EXPECT_FALSE(myEvent == theirEvent);
  myEvent(nullptr);
  EXPECT_EQ(mine->heard, 1);
  EXPECT_EQ(mine->other, 0);
  EXPECT_EQ(OtherFileHeard(theirs), 0);
  theirEvent(nullptr);
  EXPECT_EQ(OtherFileHeard(theirs), 1);
  EXPECT_EQ(mine->heard, 1);

  // By published name: each class's table binds its own method.
  TNotifyEvent myByName = BindEvent<void(TObject*)>(mine, "Heard");
  TNotifyEvent theirByName = BindEvent<void(TObject*)>(theirs, "Heard");
  EXPECT_TRUE(myByName == myEvent);
  EXPECT_TRUE(theirByName == theirEvent);
  myByName(nullptr);
  theirByName(nullptr);
  EXPECT_EQ(mine->heard, 2);
  EXPECT_EQ(mine->other, 0);
  EXPECT_EQ(OtherFileHeard(theirs), 2);

  mine->Free();
  theirs->Free();
}

}  // namespace
