#pragma once
// Shared set-up of the DOM tests: an implementation with one registered
// document, and helpers that build small trees.
#include <gtest/gtest.h>

#include <string>

#include "xml/XmlDom.h"

class DomTest : public ::testing::Test {
protected:
  void SetUp() override {
    impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
    doc = impl->CreateEmptyDocument();
  }
  void TearDown() override { impl->Free(); }

  TdomElement* Elem(const std::u16string& name) { return doc->createElement(name); }
  TdomText* Text(const std::u16string& data) { return doc->createTextNode(data); }
  // Appends child to parent and returns child.
  template <class T>
  T* Add(TdomNode* parent, T* child) {
    parent->appendChild(child);
    return child;
  }
  // The node names of parent's children joined by ",".
  static std::u16string ChildNames(const TdomNode* parent) {
    std::u16string names;
    for (TdomNode* c = parent->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) {
      if (!names.empty()) names += u",";
      names += c->GetNodeName();
    }
    return names;
  }

  TDomImplementation* impl = nullptr;
  TdomDocument* doc = nullptr;
};

// Parent, sibling and count links of top's subtree agree with each other.
inline ::testing::AssertionResult Sound(const TdomNode* top) {
  const TdomNode* previous = nullptr;
  int count = 0;
  for (TdomNode* child = top->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (child->GetParentNode() != top) return ::testing::AssertionFailure() << "parent link";
    if (child->GetPreviousSiblingNode() != previous) return ::testing::AssertionFailure() << "sibling link";
    if (count > 100000) return ::testing::AssertionFailure() << "sibling cycle";
    ::testing::AssertionResult below = Sound(child);
    if (!below) return below;
    previous = child;
    ++count;
  }
  if (top->GetLastChildNode() != previous) return ::testing::AssertionFailure() << "last child";
  if (top->GetChildCount() != count) return ::testing::AssertionFailure() << "count";
  return ::testing::AssertionSuccess();
}

// The message of the E that f raises, or "(nothing raised)".
template <class E, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// Expects statement to raise E with exactly message.
#define EXPECT_DOM_ERROR(statement, E, message)          \
  do {                                                   \
    try {                                                \
      statement;                                         \
      ADD_FAILURE() << "no exception from " #statement;  \
    } catch (const E& e) {                               \
      EXPECT_EQ(e.Message(), std::string(message));      \
    }                                                    \
  } while (0)
