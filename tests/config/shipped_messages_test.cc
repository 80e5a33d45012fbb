// The message file shipped in install/: texts that the fiscal layout prints in fixed columns must
// keep the width of their Catalan key in every language, or the next column overwrites them.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config/scoped_environment.h"
#include "config/session.h"
#include "config/translate.h"
#include "support/temp_dir.h"
#include "text/cp850_literal.h"
#include "text/language.h"

namespace quarnell {
namespace {

using testing::ScopedEnvironment;
using testing::TempDir;

class ShippedMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_.Write("LOCALE/QUARNELL.LNG",
                ReadWhole(std::string(QEB_SOURCE_DIR) + "/install/LOCALE/QUARNELL.LNG"));
    environment_.Set("QEBROOT", root_.dir());
    environment_.Set("QEBTMP", root_.dir() + "tmp");
    StartConfiguration();
    SetModuleName("QUARNELL");
    SetMessageFileName("");
  }
  void TearDown() override { SetLanguageCode(""); }

  static std::string ReadWhole(const std::string& path) {
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
      std::fclose(file);
    }
    return bytes;
  }

  TempDir root_;
  ScopedEnvironment environment_;
};

TEST_F(ShippedMessagesTest, FixedColumnTextsKeepTheirWidth) {
  // Column headings end over the last digit of their amount column; the unit type has the
  // columns up to the cadastral reference, "HAB." with a rate of up to three digits and a blank.
  struct Case {
    std::string catalan;
    size_t width;
    bool exact;
  };
  const Case cases[] = {
      {" INGRESSOS", 10, true},     {"  DESPESES", 10, true}, {" DEDUCCIÓ"_cp850, 9, true},
      {" RETENCIÓ"_cp850, 9, true}, {"PROPIET", 7, false},    {"LOCAL", 7, false},
      {"HAB.", 4, false},
  };
  for (std::string_view code : kLanguageCodes) {
    SetLanguageCode(code);
    for (const Case& c : cases) {
      const std::string text = Translate(c.catalan);
      if (c.exact) {
        EXPECT_EQ(c.width, text.size()) << code << " \"" << text << "\"";
      } else {
        EXPECT_LE(text.size(), c.width) << code << " \"" << text << "\"";
      }
    }
  }
}

}  // namespace
}  // namespace quarnell
