#include "config/attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnell {
namespace {

class AttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetColourTable();
    ResetAttributes();
  }
  void TearDown() override {
    ResetColourTable();
    ResetAttributes();
  }
};

TEST_F(AttributesTest, LoadsPairsOfDigits) {
  struct Case {
    const char* text;
    ColourTable expected;
  };
  const Case cases[] = {
      {"01020304050607080910", {{{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}}}},
      // A short text leaves the missing colours at 0; a lone digit is a number of its own.
      {"1415121", {{{14, 15}, {12, 1}, {0, 0}, {0, 0}, {0, 0}}}},
      // 16 and above keep the default colour of that set.
      {"16001799991499009915", {{{15, 0}, {7, 0}, {0, 14}, {0, 0}, {0, 15}}}},
      // Not digits: 0; a blank before a digit is skipped.
      {"xx 1-1 9090909090909", {{{0, 1}, {0, 9}, {9, 9}, {9, 9}, {9, 9}}}},
  };
  for (const Case& c : cases) {
    ResetColourTable();
    LoadColourTable(c.text);
    for (size_t set = 0; set < c.expected.size(); ++set) {
      EXPECT_EQ(Colours()[set].foreground, c.expected[set].foreground) << c.text << " set " << set;
      EXPECT_EQ(Colours()[set].background, c.expected[set].background) << c.text << " set " << set;
    }
  }
}

TEST_F(AttributesTest, CodesSelectSetsAndUseTheStack) {
  struct Step {
    const char* code;
    int expected_set;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"letters", {{"n", 1}, {"r", 2}, {"rn", 3}, {"NR", 3}, {"u", 4}, {"ru", 4}, {"h", 0}}},
      {"blank changes nothing", {{"r", 2}, {"", 2}, {"   ", 2}}},
      {"minus on empty stack gives 0", {{"u", 4}, {"-", 0}}},
      {"plus minus restores the same set", {{"r", 2}, {"+-", 2}, {"-", 0}}},
      {"plus R then minus", {{"n", 1}, {"+R", 2}, {"+u", 4}, {"-", 2}, {"-", 1}, {"-", 0}}},
      {"plus alone pushes and selects 0", {{"u", 4}, {"+", 0}, {"-", 4}}},
      {"minus wins over letters", {{"+r", 2}, {"-u", 0}}},
      {"deep stack",
       {{"+n", 1},
        {"+r", 2},
        {"+rn", 3},
        {"+u", 4},
        {"-", 3},
        {"-", 2},
        {"-", 1},
        {"-", 0},
        {"-", 0}}},
  };
  for (const Case& c : cases) {
    ResetAttributes();
    for (const Step& step : c.steps) {
      SetAttribute(std::string_view(step.code));
      EXPECT_EQ(CurrentAttributeSet(), step.expected_set)
          << c.name << " after \"" << step.code << "\"";
    }
  }
}

TEST_F(AttributesTest, UpperCasesTheCallersTextAndDrawsWithTheSetsColours) {
  LoadColourTable("01020304050607080910");
  std::string code = "+rn";
  SetAttribute(code);
  EXPECT_EQ(code, "+RN");
  EXPECT_EQ(CurrentColours().foreground, 7);
  EXPECT_EQ(CurrentColours().background, 8);
  std::string restore = "-";
  SetAttribute(restore);
  EXPECT_EQ(CurrentColours().foreground, 1);
  EXPECT_EQ(CurrentColours().background, 2);
}

}  // namespace
}  // namespace quarnell
