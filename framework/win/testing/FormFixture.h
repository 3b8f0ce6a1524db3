#pragma once
// GoogleTest fixtures for the window layer: the application initialised with
// an exception in an event handler reported as a test failure, and a form of
// one class made from its resource for each test and freed after it unless
// the test freed it.
#include <gtest/gtest.h>

#include <exception>

#include "win/Forms.h"

namespace qvtest {

struct ApplicationTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
      ADD_FAILURE() << "exception in a handler: " << e.what();
    });
  }
  void TearDown() override { Application->OnException = nullptr; }
};

template <class TForm>
struct FormTest : ApplicationTest {
  void SetUp() override {
    ApplicationTest::SetUp();
    form = New<TForm>(Application);
    token = form->Alive();
  }
  void TearDown() override {
    if (form != nullptr && *token) form->Free();
    ApplicationTest::TearDown();
  }

  TForm* form = nullptr;
  TAliveToken token;
};

}  // namespace qvtest
