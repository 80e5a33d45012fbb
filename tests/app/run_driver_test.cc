#include "app/run_driver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/scoped_environment.h"
#include "config/session.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::FakeClock;
using testing::ScopedEnvironment;
using testing::TempDir;

// The parameter screen proposes the last day of the year before the working date; a terminal
// file without a usable working date leaves that to the clock.
TEST(DefaultStatementDateTest, TheYearBeforeTheWorkingDate) {
  struct Case {
    const char* terminal;  // TovaTerm.ini, or nullptr for none
    int32_t expected;
  };
  const Case cases[] = {
      {"[Sistema]\nData=20250614\n", 20241231},
      {"[Sistema]\nData=20260101\n", 20251231},
      {"[Sistema]\nData=00010101\n", 1231},
      {"[Sistema]\nSortida=PDF\n", 20301231},
      {"[Sistema]\nData=enero\n", 20301231},
      {"[Sistema]\nData=00000101\n", 20301231},
      {nullptr, 20301231},
  };
  FakeClock clock(20310301);
  TempDir session;
  ScopedEnvironment env;
  env.Set("QEBTMP", session.dir());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminal ? c.terminal : "no terminal file");
    std::filesystem::remove(session.file("TovaTerm.ini"));
    if (c.terminal != nullptr) session.Write("TovaTerm.ini", c.terminal);
    StartConfiguration();
    EXPECT_EQ(DateNumber(DefaultStatementDate()), c.expected);
  }
}

}  // namespace
}  // namespace quarnell
