#pragma once
// Both windows of the program made as the entry makes them, in this test process; every error
// report is collected in `reports` instead of a message box.
#include <gtest/gtest.h>

#include <string>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "test_application.h"

namespace testing_support {

class ProgramWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    tk::TApplication& app = TestApplication();
    app.OnException = [this](const std::wstring& text) { reports += text + L"\n"; };
    app.CreateForm(Form1);
    app.CreateForm(Form2);
  }
  void TearDown() override { TestApplication().DestroyForms(); }

  std::wstring reports;
};

}  // namespace testing_support
