#include "core/Component.h"
#include "core/FencedObjects.h"
#include "core/HandedOverHolds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every lifetime event of the probes into one shared journal.
std::vector<std::string> gJournal;

class TProbe : public TComponent {
public:
  ~TProbe() override { gJournal.push_back("destroy " + Name()); }

  void Create(TComponent* owner, const std::string& name_) {
    TComponent::Create(owner);
    SetName(name_);
  }

  TComponent* watched = nullptr;  // not owned; cleared when it goes away

protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    gJournal.push_back(Name() + (operation == opInsert ? " insert " : " remove ") + component->Name());
    if (operation == opRemove && component == watched) watched = nullptr;
  }
};

class ComponentTest : public ::testing::Test {
protected:
  void SetUp() override { gJournal.clear(); }
};

TEST_F(ComponentTest, OwnerFreesChildrenInReverseOrderAndNotifiesSurvivors) {
  TProbe* form = New<TProbe>(nullptr, "Form");
  New<TProbe>(form, "A");
  New<TProbe>(form, "B");
  New<TProbe>(form, "C");
  ASSERT_EQ(form->ComponentCount(), 3);
  EXPECT_EQ(form->Components(0)->Name(), "A");
  EXPECT_EQ(form->Components(2)->ComponentIndex(), 2);
  gJournal.clear();

  form->Free();
  // C goes first; the survivors (from last to first, passed on by the form's
  // base Notification) and then the form's own journal entry hear of it before
  // it is destroyed.
  std::vector<std::string> expected = {
      "B remove C", "A remove C", "Form remove C", "destroy C",
      "A remove B", "Form remove B", "destroy B",
      "Form remove A", "destroy A",
      "destroy Form"};
  EXPECT_EQ(gJournal, expected);
}

TEST_F(ComponentTest, ChildFreedFirstLeavesItsOwner) {
  TProbe* form = New<TProbe>(nullptr, "Form");
  TProbe* a = New<TProbe>(form, "A");
  TProbe* b = New<TProbe>(form, "B");
  b->watched = a;
  FreeAndNil(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_EQ(form->FindComponent("a"), nullptr);
  form->Free();  // must not free A again (the sanitizers would tell)
}

TEST_F(ComponentTest, FreeNotificationAcrossOwnersComesOnceInBothDirections) {
  TProbe* form1 = New<TProbe>(nullptr, "Form1");
  TProbe* form2 = New<TProbe>(nullptr, "Form2");
  TProbe* images = New<TProbe>(form1, "Images");
  TProbe* tree = New<TProbe>(form2, "Tree");
  tree->watched = images;
  images->FreeNotification(tree);
  EXPECT_TRUE(images->ComponentState().Contains(csFreeNotification));
  gJournal.clear();

  form1->Free();
  EXPECT_EQ(tree->watched, nullptr);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "Tree remove Images"), 1);

  // The link is gone in both directions: freeing the tree tells nobody about Images.
  gJournal.clear();
  form2->Free();
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "Tree remove Images"), 0);
}

TEST_F(ComponentTest, FreeNotificationBetweenSiblingsComesOnce) {
  TProbe* form = New<TProbe>(nullptr, "Form");
  TProbe* a = New<TProbe>(form, "A");
  TProbe* b = New<TProbe>(form, "B");
  a->FreeNotification(b);
  b->watched = a;
  gJournal.clear();
  a->Free();
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "B remove A"), 1);
  form->Free();
}

TEST_F(ComponentTest, RemovedFreeNotificationIsSilent) {
  TProbe* a = New<TProbe>(nullptr, "A");
  TProbe* b = New<TProbe>(nullptr, "B");
  a->FreeNotification(b);
  b->RemoveFreeNotification(a);
  gJournal.clear();
  a->Free();
  EXPECT_EQ(gJournal, std::vector<std::string>{"destroy A"});
  b->Free();
}

TEST_F(ComponentTest, SubscriberFreeingItselfInNotificationIsSafe) {
  class TSelfFreeing : public TProbe {
  protected:
    void Notification(TComponent* component, TOperation operation) override {
      TProbe::Notification(component, operation);
      if (operation == opRemove) Free();
    }
  };
  TProbe* source = New<TProbe>(nullptr, "Source");
  TProbe* a = New<TSelfFreeing>(nullptr, "A");
  TProbe* b = New<TSelfFreeing>(nullptr, "B");
  source->FreeNotification(a);
  source->FreeNotification(b);
  source->Free();  // A and B free themselves while Source is going away
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "destroy A"), 1);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "destroy B"), 1);
}

TEST_F(ComponentTest, InsertAndRemoveMoveOwnership) {
  TProbe* form1 = New<TProbe>(nullptr, "Form1");
  TProbe* form2 = New<TProbe>(nullptr, "Form2");
  TProbe* a = New<TProbe>(form1, "A");
  gJournal.clear();
  form2->InsertComponent(a);
  EXPECT_EQ(a->Owner(), form2);
  EXPECT_EQ(form1->ComponentCount(), 0);
  EXPECT_EQ(gJournal, (std::vector<std::string>{"Form1 remove A", "Form2 insert A"}));

  form2->RemoveComponent(a);
  EXPECT_EQ(a->Owner(), nullptr);
  EXPECT_EQ(a->ComponentIndex(), -1);
  form1->RemoveComponent(a);  // not owned there: ignored

  // No ownership cycles.
  form2->InsertComponent(a);
  EXPECT_THROW(a->InsertComponent(a), EComponentError);
  EXPECT_THROW(a->InsertComponent(form2), EComponentError);
  EXPECT_EQ(form2->Owner(), nullptr);
  form2->RemoveComponent(a);
  form1->Free();
  form2->Free();
  a->Free();
}

TEST_F(ComponentTest, NamesAreIdentifiersUniqueAmongSiblings) {
  TProbe* form = New<TProbe>(nullptr, "Form");
  TProbe* a = New<TProbe>(form, "Button1");
  TProbe* b = New<TProbe>(form, "");
  EXPECT_EQ(form->FindComponent("BUTTON1"), a);
  EXPECT_EQ(form->FindComponent(""), nullptr);
  EXPECT_THROW(b->SetName("button1"), EComponentError);
  try {
    b->SetName("1abc");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "'1abc' is not a valid component name");
  }
  try {
    b->SetName("Button1");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "A component named Button1 already exists");
  }
  a->SetName("button1");  // renaming itself to another case is no clash
  EXPECT_EQ(a->Name(), "button1");
  b->SetName("_Edit2");
  EXPECT_THROW(form->Components(2), EListError);
  EXPECT_THROW(form->Components(-1), EListError);

  // A named component cannot join an owner that has the name already.
  TProbe* stray = New<TProbe>(nullptr, "Button1");
  EXPECT_THROW(form->InsertComponent(stray), EComponentError);
  EXPECT_EQ(stray->Owner(), nullptr);
  stray->Free();
  form->Free();
}

TEST_F(ComponentTest, DestroyingStateReachesOwnedComponentsBeforeAnyIsFreed) {
  class TStateProbe : public TProbe {
  public:
    bool sawOwnerDestroying = false;

  protected:
    void Notification(TComponent* component, TOperation operation) override {
      TProbe::Notification(component, operation);
      sawOwnerDestroying = ComponentState().Contains(csDestroying);
      gJournal.push_back(sawOwnerDestroying ? "destroying" : "alive");
    }
  };
  TProbe* form = New<TProbe>(nullptr, "Form");
  New<TStateProbe>(form, "A");
  New<TProbe>(form, "B");
  gJournal.clear();
  form->Free();
  EXPECT_NE(std::find(gJournal.begin(), gJournal.end(), "destroying"), gJournal.end());
  EXPECT_EQ(std::find(gJournal.begin(), gJournal.end(), "alive"), gJournal.end());
}

TEST_F(ComponentTest, LoadedLeavesLoadingState) {
  TComponent* c = New<TComponent>(nullptr);
  c->SetComponentState(csLoading, true);
  EXPECT_TRUE(c->ComponentState().Contains(csLoading));
  c->Loaded();
  EXPECT_FALSE(c->ComponentState().Contains(csLoading));
  c->SetTag(-7);
  EXPECT_EQ(c->Tag(), -7);
  c->Free();
}

// ---- Two-phase construction -------------------------------------------------------

class TBaseWidget : public TComponent {
public:
  void Create(TComponent* owner) override {
    TComponent::Create(owner);
    kind = DefaultKind();  // a virtual call while creating
  }
  virtual std::string DefaultKind() const { return "base"; }
  std::string kind;
};

class TDerivedWidget : public TBaseWidget {
public:
  std::string DefaultKind() const override { return "derived:" + suffix; }
  std::string suffix = "ready";  // set by the C++ constructor, before Create
};

TEST(TwoPhaseConstruction, CreateTimeVirtualCallReachesOverride) {
  TBaseWidget* widget = New<TDerivedWidget>(nullptr);
  EXPECT_EQ(widget->kind, "derived:ready");
  EXPECT_STREQ(widget->ClassName(), "TDerivedWidget");
  widget->Free();
}

class TFailingWidget : public TProbe {
public:
  void Create(TComponent* owner) {
    TProbe::Create(owner, "Failing");
    New<TProbe>(this, "Child");
    throw EConvertError("creation failed");
  }
};

TEST(TwoPhaseConstruction, ExceptionInCreateFreesObjectAndLeavesOwner) {
  gJournal.clear();
  TProbe* form = New<TProbe>(nullptr, "Form");
  EXPECT_THROW(New<TFailingWidget>(form), EConvertError);
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "destroy Child"), 1);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "destroy Failing"), 1);
  form->Free();
}

TEST(TwoPhaseConstruction, ExceptionInAfterConstructionFreesTheWholeObject) {
  class TLateFailure : public TProbe {
  public:
    void AfterConstruction() override { throw EConvertError("late"); }
    void BeforeDestruction() override {
      gJournal.push_back("before");
      TProbe::BeforeDestruction();
    }
  };
  gJournal.clear();
  TProbe* form = New<TProbe>(nullptr, "Form");
  EXPECT_THROW((New<TLateFailure>(form, "Late")), EConvertError);
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "before"), 1);
  EXPECT_EQ(std::count(gJournal.begin(), gJournal.end(), "destroy Late"), 1);
  form->Free();
}

TEST(TwoPhaseConstruction, AfterConstructionRunsOnceAfterCreate) {
  class TCounted : public TObject {
  public:
    void Create(int start) { steps.push_back("create " + std::to_string(start)); }
    void AfterConstruction() override { steps.push_back("after"); }
    void BeforeDestruction() override { gJournal.push_back("before"); }
    std::vector<std::string> steps;
  };
  gJournal.clear();
  TCounted* counted = New<TCounted>(5);
  EXPECT_EQ(counted->steps, (std::vector<std::string>{"create 5", "after"}));
  counted->Free();
  EXPECT_EQ(gJournal, std::vector<std::string>{"before"});
  TCounted* none = nullptr;
  FreeAndNil(none);  // null is fine
}

}  // namespace

// A component freed by the code it calls out to: torn down at once, its
// memory kept until the last hold ends; the owner's teardown frees a held
// child the same way.
TEST_F(ComponentTest, FreeWhileHeldTearsDownAtOnceAndDeletesAtTheLastHold) {
  TProbe* form = New<TProbe>(nullptr, "Form");
  TProbe* child = New<TProbe>(form, "Child");
  gJournal.clear();
  {
    TObject::THold outer(child);
    {
      TObject::THold inner(child);
      form->Free();  // frees child through its owner
      EXPECT_TRUE(child->Going());
      EXPECT_EQ(child->Owner(), nullptr);
      child->Free();  // asked again: nothing more happens
      EXPECT_EQ(gJournal, (std::vector<std::string>{"Form remove Child", "destroy Form"}));
    }
    EXPECT_EQ(child->HoldCount(), 1u);
  }
  EXPECT_EQ(gJournal.back(), "destroy Child");

  // A door's last hold of what its handler freed is handed over: the caller
  // that opened the door reads it until the holds handed over end.
  TProbe* viaDoor = New<TProbe>(nullptr, "Door");
  { TObject::TDoorHold door(viaDoor); }
  EXPECT_EQ(HandedOverHoldCount(), 0u) << "nothing to hand over for an object not freed";
  { TObject::TDoorHold door(viaDoor); viaDoor->Free(); }
  EXPECT_TRUE(viaDoor->Going());
  EXPECT_EQ(HandedOverHoldCount(), 1u);
  EXPECT_NE(gJournal.back(), "destroy Door");
  EndHandedOverHolds();
  EXPECT_EQ(gJournal.back(), "destroy Door");
  EXPECT_EQ(HandedOverHoldCount(), 0u);
}

#ifndef _WIN32
// With fencing on, a released object's pages fault on any later access.
TEST(FencedObjects, ReleasedObjectFaultsOnAccess) {
  SetObjectFencing(1);
  TProbe* probe = New<TProbe>(nullptr, "Fenced");
  SetObjectFencing(0);
  TProbe* plain = New<TProbe>(nullptr, "Plain");
  volatile intptr_t* tag = reinterpret_cast<volatile intptr_t*>(probe);
  probe->Free();
  plain->Free();
  EXPECT_DEATH(*tag = 1, "");
}
#endif
