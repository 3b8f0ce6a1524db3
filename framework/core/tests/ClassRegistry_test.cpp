#include "core/ClassRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class TRegColor : public TPersistent {
public:
  int value = 0;

  void Assign(TPersistent* source) override {
    if (auto* other = dynamic_cast<TRegColor*>(source)) {
      value = other->value;
      return;
    }
    TPersistent::Assign(source);
  }
};

// Knows how to copy itself into a TRegColor, but not the other way round.
class TRegShade : public TPersistent {
public:
  int level = 0;

protected:
  void AssignTo(TPersistent* dest) override {
    if (auto* color = dynamic_cast<TRegColor*>(dest)) {
      color->value = level * 10;
      return;
    }
    TPersistent::AssignTo(dest);
  }
};

class TRegButton : public TComponent {};

class TRegAbstract : public TComponent {
public:
  virtual void Draw() = 0;
};

TEST(Persistent, AssignUsesEitherSideOrRaisesTheFallbackError) {
  TRegColor* color = New<TRegColor>();
  TRegColor* other = New<TRegColor>();
  TRegShade* shade = New<TRegShade>();
  other->value = 7;
  color->Assign(other);
  EXPECT_EQ(color->value, 7);

  shade->level = 3;
  color->Assign(shade);  // TRegColor does not know shades; the shade's AssignTo does
  EXPECT_EQ(color->value, 30);

  try {
    shade->Assign(color);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TRegColor to a TRegShade");
  }
  try {
    color->Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TRegColor");
  }
  color->Free();
  other->Free();
  shade->Free();
}

TEST(ClassRegistry, CreatesRegisteredClassesByName) {
  RegisterClass<TRegColor>();
  RegisterClass<TRegButton>();
  RegisterClass<TRegButton>();  // the same class again is no error

  const TPersistentClass& colorClass = FindClass("tregcolor");
  EXPECT_EQ(colorClass.name, "TRegColor");
  TPersistent* color = colorClass.create(nullptr);
  EXPECT_NE(dynamic_cast<TRegColor*>(color), nullptr);
  color->Free();

  TComponent* owner = New<TComponent>(nullptr);
  TPersistent* button = FindClass("TRegButton").create(owner);
  ASSERT_NE(dynamic_cast<TRegButton*>(button), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 1);
  owner->Free();  // frees the button too

  std::vector<std::string> names = RegisteredClassNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "TRegButton"), names.end());
}

TEST(ClassRegistry, UnknownNamesAndClashesRaise) {
  EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
  try {
    FindClass("TNoSuchClass");
    FAIL();
  } catch (const EFilerError& e) {
    EXPECT_EQ(e.Message(), "Class TNoSuchClass not found");
  }
  RegisterClass<TRegShade>("TRegAlias");
  try {
    RegisterClass<TRegColor>("tregalias");
    FAIL();
  } catch (const EFilerError& e) {
    EXPECT_EQ(e.Message(), "A class named tregalias already exists");
  }
  UnRegisterClass("TRegAlias");
  EXPECT_EQ(GetClass("TRegAlias"), nullptr);
  RegisterClass<TRegColor>("TRegAlias");  // the name is free again
  EXPECT_EQ(FindClass("TRegAlias").type, std::type_index(typeid(TRegColor)));
  UnRegisterClass("TRegAlias");

  RegisterClass<TRegAbstract>();
  EXPECT_FALSE(FindClass("TRegAbstract").create);
}

}  // namespace
