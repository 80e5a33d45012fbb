#include "screen/adding_machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "screen/key_codes.h"

namespace quarnell::testing {
namespace {

// Keys from a text: each character its own code, "<" Backspace, "\r" Enter, "\x1b" Esc.
CalculatorStep Press(CalculatorState& state, std::string_view keys) {
  CalculatorStep step = CalculatorStep::kRedraw;
  for (char c : keys) step = PressCalculatorKey(state, c == '<' ? kKeyBackspace : c);
  return step;
}

CalculatorState After(std::string_view keys) {
  CalculatorState state;
  Press(state, keys);
  return state;
}

TEST(AddingMachineTest, ValueAfterKeys) {
  struct Case {
    const char* keys;
    double value;
    int decimals;
    const char* result;  // what F gives
  };
  const Case cases[] = {
      {"2+3=", 5, 0, "500"},
      {"200+10%", 20, 0, "2000"},  // 10 % of the total
      {"50%", 0.5, 1, "50"},
      {"1/3=", 0.333333333333333, 15, "33.3333333333333"},
      {"0.1+0.2=", 0.3, 1, "30"},
      {"12.5", 12.5, 1, "1250"},
      {"3t", -3, 0, "300"},  // the sign is not kept
      {"1.234", 1.234, 3, "123.4"},
      {"12t3", -123, 0, "12300"},  // typing goes on away from zero
      {"1.2t5", -1.25, 2, "125"},
      {"123<", 12, 0, "1200"},
      {"1.23<", 1.2, 1, "120"},
      {"1.<<", 0, 0, "0"},
      {"2.675r", 2.68, 2, "268"},
      {"2.665R", 2.66, 2, "266"},    // half to even
      {"2.559tr", -2.56, 2, "256"},  // a negative value rounds like a positive one
      {"1234567890123456", 123456789012345, 0, "12345678901234500"},  // 15 digits at most
      {"0.0000000000000001", 0, 15, "0.0000000000000"},               // the 16th digit is ignored
      {"2+3==", 5, 0, "500"},  // "=" without a new number does nothing
      {"7*6\r", 42, 0, "4200"},
      {"10-2.5=", 7.5, 1, "750"},
      {"2.5+7c", 2.5, 1, "250"},  // C clears the entry: the total with its decimals
  };
  for (const Case& c : cases) {
    CalculatorState state = After(c.keys);
    EXPECT_DOUBLE_EQ(state.value, c.value) << c.keys;
    EXPECT_EQ(state.decimals, c.decimals) << c.keys;
    EXPECT_EQ(state.point, c.decimals > 0) << c.keys;
    EXPECT_EQ(CalculatorResult(state), c.result) << c.keys;
  }
}

TEST(AddingMachineTest, TapeOfAnAddition) {
  CalculatorState state = After("2+3=");
  EXPECT_EQ(state.first_line, 20);
  EXPECT_EQ(state.Line(20), (TapeLine{2, false, 0, '+'}));
  EXPECT_EQ(state.Line(21), (TapeLine{3, false, 0, '='}));
  EXPECT_EQ(state.Line(22), (TapeLine{5, false, 0, 0}));
  EXPECT_FALSE(state.entering);
  EXPECT_EQ(state.pending, 0);
}

TEST(AddingMachineTest, TapeKeepsTwentyTwoLinesAndShowsTwentyOne) {
  CalculatorState state;
  for (int i = 1; i <= 30; ++i) Press(state, std::to_string(i) + "+");
  EXPECT_EQ(state.first_line, 2);
  EXPECT_EQ(state.Line(22).value, 30);
  EXPECT_EQ(state.Line(1).value, 9);  // line 1 holds the line that left the window
}

TEST(AddingMachineTest, ThreeClears) {
  CalculatorState state = After("2+3");
  Press(state, "C");
  EXPECT_EQ(state.value, 2);  // the entry is gone, the total stays
  EXPECT_EQ(state.total, 2);
  EXPECT_EQ(state.first_line, 22);
  EXPECT_EQ(Press(state, "c"), CalculatorStep::kRedraw);
  EXPECT_EQ(state.total, 0);
  EXPECT_TRUE(state.cleared);
  EXPECT_EQ(Press(state, "C"), CalculatorStep::kReplace);
  EXPECT_EQ(state.first_line, kTapeEmpty);
  EXPECT_EQ(state.Line(21), TapeLine{});
}

TEST(AddingMachineTest, DivisionByZeroShowsMarksUntilC) {
  CalculatorState state = After("1/0=");
  EXPECT_TRUE(std::isinf(state.value));
  EXPECT_EQ(ValueMask(state.point, state.decimals).size(), 22u);
  EXPECT_EQ(Press(state, "F"), CalculatorStep::kRefused);
  Press(state, "C");
  EXPECT_EQ(state.value, 0);
  EXPECT_EQ(state.total, 0);
  EXPECT_EQ(Press(state, "4F"), CalculatorStep::kFinish);
  EXPECT_EQ(CalculatorResult(state), "400");
  // A total whose hundredths no double holds has no digits to give either.
  state = After("C");
  state.total = 1e308;
  EXPECT_EQ(Press(state, "F"), CalculatorStep::kRefused);
}

TEST(AddingMachineTest, LeavingAndMovingKeys) {
  CalculatorState state;
  EXPECT_EQ(PressCalculatorKey(state, kKeyLeft), CalculatorStep::kReplace);
  EXPECT_EQ(state.x, kCalculatorLastColumn);
  EXPECT_EQ(PressCalculatorKey(state, kKeyCtrlRight), CalculatorStep::kReplace);
  EXPECT_EQ(state.x, 1);
  EXPECT_EQ(PressCalculatorKey(state, kKeyAltF), CalculatorStep::kFinish);
  EXPECT_EQ(PressCalculatorKey(state, 'f'), CalculatorStep::kFinish);
  EXPECT_EQ(PressCalculatorKey(state, kKeyEsc), CalculatorStep::kLeave);
  const CalculatorState before = state;
  EXPECT_EQ(PressCalculatorKey(state, kKeyF4), CalculatorStep::kRedraw);
  EXPECT_EQ(PressCalculatorKey(state, 'x'), CalculatorStep::kRedraw);
  EXPECT_EQ(state, before);
}

TEST(AddingMachineTest, ValueMasks) {
  EXPECT_EQ(ValueMask(false, 0), "-Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9");
  EXPECT_EQ(ValueMask(true, 2), "-ZZ,ZZZ,ZZZ,ZZZ,ZZ9.99");
  EXPECT_EQ(ValueMask(true, 15), "-Z,ZZ9.999999999999999");
}

TEST(AddingMachineTest, StateFileTextKeepsEveryDouble) {
  CalculatorState state = After("1/3=7+0.1T");
  state.x = 55;
  state.total = std::numeric_limits<double>::infinity();
  state.tape[0].value = -0.0;
  const std::string text = EncodeCalculatorState(state);
  std::optional<CalculatorState> back = DecodeCalculatorState(text);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, state);
  EXPECT_TRUE(std::signbit(back->tape[0].value));
  // Written by an editor with CR LF, it still reads.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(DecodeCalculatorState(crlf), state);
}

TEST(AddingMachineTest, DamagedStateFileTextIsRefused) {
  const std::string good = EncodeCalculatorState(CalculatorState{});
  auto replace_first_line = [&](const std::string& line) {
    return line + good.substr(good.find('\n'));
  };
  const std::string damaged[] = {
      "",
      good.substr(0, good.size() / 2),                        // cut
      good.substr(0, good.rfind('\n', good.size() - 2) + 1),  // one tape line short
      good + "0,0,0,\"\"\n",                                  // one too many
      replace_first_line("56,23,0,0"),                        // window off the screen
      replace_first_line("1,1,0,0"),                          // first tape line out of range
      replace_first_line("1,23,5x,0"),
      replace_first_line("1,23,0"),
      std::string(good).replace(good.find("\"\",\"\""), 5, "\"X\",\"\""),
      std::string(good).replace(good.find("-1,0,0,0"), 8, "-1,0,0,16"),
      std::string(good).replace(good.find("-1,0,0,0"), 8, "1,0,0,0"),
  };
  for (const std::string& text : damaged) {
    EXPECT_FALSE(DecodeCalculatorState(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace quarnell::testing
