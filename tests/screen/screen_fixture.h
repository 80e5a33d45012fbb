// A memory console with its window stack file in a scratch directory, default colours, and an
// error stop that throws instead of ending the test.
#ifndef QUARNELL_TESTS_SCREEN_SCREEN_FIXTURE_H_
#define QUARNELL_TESTS_SCREEN_SCREEN_FIXTURE_H_

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "config/attributes.h"
#include "config/error_stop.h"
#include "screen/memory_console.h"
#include "screen/window_stack.h"
#include "support/temp_dir.h"

namespace quarnell::testing {

struct ErrorStopped : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetColourTable();
    ResetAttributes();
    console_.SetWindowStackPath(StackPath());
    SetErrorStopHandler([](std::string_view what) { throw ErrorStopped(std::string(what)); });
  }
  void TearDown() override {
    SetErrorStopHandler(nullptr);
    ResetAttributes();
  }

  std::string StackPath() const { return dir_.file(kWindowStackFileName); }
  bool StackFileExists() const { return std::filesystem::exists(StackPath()); }

  TempDir dir_;
  MemoryConsole console_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_SCREEN_SCREEN_FIXTURE_H_
