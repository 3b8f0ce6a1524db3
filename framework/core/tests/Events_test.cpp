#include "core/Events.h"

#include <gtest/gtest.h>

#include <string>

#include "core/Component.h"
#include "core/PublishedMethods.h"

namespace {

class THandlers : public TComponent {
public:
  QV_PUBLISHED_METHODS(THandlers, TComponent, QV_METHOD(ButtonClick), QV_METHOD(ComputeSum))

  void ButtonClick(TObject* sender) { log += std::string("click:") + (sender ? sender->ClassName() : "nil") + ";"; }
  void OtherClick(TObject*) { log += "other;"; }
  // Two methods with the same (empty) body: identical code must not make them equal.
  void EmptyA(TObject*) {}
  void EmptyB(TObject*) {}
  int ComputeSum(int a, int b) const { return a + b + bias; }

  std::string log;
  int bias = 0;
};

class TMoreHandlers : public THandlers {
public:
  QV_PUBLISHED_METHODS(TMoreHandlers, THandlers, QV_METHOD(ExtraClick))
  void ExtraClick(TObject*) { log += "extra;"; }
};

int Twice(int value) { return value * 2; }

class EventsTest : public ::testing::Test {
protected:
  void SetUp() override {
    one = New<THandlers>(nullptr);
    two = New<THandlers>(nullptr);
  }
  void TearDown() override {
    one->Free();
    two->Free();
  }
  THandlers* one = nullptr;
  THandlers* two = nullptr;
};

TEST_F(EventsTest, EqualExactlyForSameObjectAndMethod) {
  TNotifyEvent a = MakeEvent<&THandlers::ButtonClick>(one);
  TNotifyEvent sameAgain = MakeEvent<&THandlers::ButtonClick>(one);
  TNotifyEvent otherObject = MakeEvent<&THandlers::ButtonClick>(two);
  TNotifyEvent otherMethod = MakeEvent<&THandlers::OtherClick>(one);
  TNotifyEvent copy = a;
  EXPECT_TRUE(a == sameAgain);
  EXPECT_TRUE(a == copy);
  EXPECT_FALSE(a == otherObject);
  EXPECT_FALSE(a == otherMethod);
  EXPECT_FALSE(a == TNotifyEvent());
  EXPECT_TRUE(TNotifyEvent() == TNotifyEvent(nullptr));
  EXPECT_EQ(a.Data(), one);
  EXPECT_FALSE(MakeEvent<&THandlers::EmptyA>(one) == MakeEvent<&THandlers::EmptyB>(one));
}

TEST_F(EventsTest, InvokesBoundMethodAndFunctions) {
  TNotifyEvent click = MakeEvent<&THandlers::ButtonClick>(one);
  ASSERT_TRUE(click);
  click(two);
  click(nullptr);
  EXPECT_EQ(one->log, "click:THandlers;click:nil;");
  EXPECT_TRUE(two->log.empty());

  TEvent<int(int, int)> sum = MakeEvent<&THandlers::ComputeSum>(one);
  one->bias = 100;
  EXPECT_EQ(sum(2, 3), 105);

  TEvent<int(int)> twice = Twice;
  TEvent<int(int)> lambda = [](int v) { return v + 1; };
  EXPECT_EQ(twice(21), 42);
  EXPECT_EQ(lambda(1), 2);
  EXPECT_TRUE(twice == TEvent<int(int)>(Twice));
  EXPECT_FALSE(twice == lambda);

  THandlers* none = nullptr;
  EXPECT_FALSE(MakeEvent<&THandlers::ButtonClick>(none));
  // Calling an empty event does nothing.
  TNotifyEvent()(one);
  EXPECT_EQ(TEvent<int(int, int)>()(1, 2), 0);
}

TEST_F(EventsTest, DerivedObjectBindsBaseMethod) {
  TMoreHandlers* more = New<TMoreHandlers>(nullptr);
  TNotifyEvent viaDerived = MakeEvent<&THandlers::ButtonClick>(more);
  THandlers* asBase = more;
  EXPECT_TRUE(viaDerived == MakeEvent<&THandlers::ButtonClick>(asBase));
  more->Free();
}

TEST_F(EventsTest, BindsPublishedMethodsByNameIgnoringCase) {
  TNotifyEvent byName = BindEvent<void(TObject*)>(one, "buttonclick");
  EXPECT_TRUE(byName == MakeEvent<&THandlers::ButtonClick>(one));
  byName(one);
  EXPECT_EQ(one->log, "click:THandlers;");

  TEvent<int(int, int)> sum = BindEvent<int(int, int)>(one, "ComputeSum");
  EXPECT_EQ(sum(1, 1), 2);

  // A derived class's table continues in its base's.
  TMoreHandlers* more = New<TMoreHandlers>(nullptr);
  EXPECT_TRUE(BindEvent<void(TObject*)>(more, "ExtraClick"));
  EXPECT_TRUE(BindEvent<void(TObject*)>(more, "ButtonClick") == MakeEvent<&THandlers::ButtonClick>(more));
  more->Free();
}

TEST_F(EventsTest, BindingByNameRejectsUnknownNamesAndOtherSignatures) {
  try {
    BindEvent<void(TObject*)>(one, "NoSuchHandler");
    FAIL();
  } catch (const EMethodError& e) {
    EXPECT_EQ(e.Message(), "Method 'NoSuchHandler' not found in THandlers");
  }
  EXPECT_THROW(BindEvent<void(TObject*)>(one, "OtherClick"), EMethodError);  // not published
  EXPECT_THROW(BindEvent<void(TObject*)>(one, "ComputeSum"), EMethodError);  // wrong signature
  EXPECT_THROW(BindEvent<void(int)>(one, "ButtonClick"), EMethodError);
  EXPECT_THROW(BindMethod(nullptr, "ButtonClick"), EMethodError);

  // The type-erased form keeps its signature and is checked on the way back.
  TMethod erased = MakeEvent<&THandlers::ButtonClick>(one).Method();
  EXPECT_THROW((TEvent<int(int, int)>(erased)), EMethodError);
  EXPECT_FALSE(TNotifyEvent(TMethod()));
}

}  // namespace
