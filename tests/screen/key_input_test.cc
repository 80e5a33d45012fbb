#include "screen/key_input.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "screen/key_codes.h"
#include "screen/memory_console.h"

namespace quarnell::testing {
namespace {

class KeyInputTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetKeyInput(); }
  void TearDown() override {
    ResetKeyInput();
    SetCalculatorCall(nullptr);
    SetCalendarCall(nullptr);
  }

  std::vector<int16_t> Read(int count) {
    std::vector<int16_t> keys;
    for (int i = 0; i < count; ++i) keys.push_back(ReadEntryKey(console_));
    return keys;
  }

  MemoryConsole console_;
};

TEST_F(KeyInputTest, ModesActOnTheSetInOrder) {
  struct Step {
    const char* mode;
    const char* keys;
  };
  struct Case {
    std::vector<Step> steps;
    int16_t key;
    std::optional<int16_t> delivered;
    bool empty;
  };
  const Case cases[] = {
      {{{"ea", "d,1b,4800"}}, kKeyUp, kKeyUp, false},
      {{{"EA", "4F00=d"}}, kKeyEnd, kKeyEnter, false},           // upper case, remapped
      {{{"ea", "d, 1b ,zz,=,12345"}}, kKeyEsc, kKeyEsc, false},  // junk items skipped
      {{{"ea", "d,1b"}, {"d", "1b"}}, kKeyEsc, std::nullopt, false},
      {{{"ea", "d"}, {"a", "d=4f00"}}, kKeyEnter, kKeyEnd, false},  // added again: new code
      {{{"ea", "d"}, {"+ea", "3b00"}}, kKeyEnter, std::nullopt, false},
      {{{"ea", "d"}, {"+ea", "3b00"}, {"-", ""}}, kKeyEnter, kKeyEnter, false},
      // A second "+" keeps the first copy.
      {{{"ea", "d"}, {"+ea", "1b"}, {"+e", ""}, {"-", ""}}, kKeyEnter, kKeyEnter, false},
      {{{"ea", "d"}, {"-", ""}}, kKeyEnter, kKeyEnter, false},  // no copy: nothing restored
      {{{"ea", "d"}, {"e", ""}}, kKeyEnter, std::nullopt, true},
      {{{"xyz", "d"}}, kKeyEnter, std::nullopt, true},  // letters without meaning
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ResetKeyInput();
    for (const Step& step : cases[i].steps) SetKeySet(step.mode, step.keys);
    EXPECT_EQ(KeySetDelivers(cases[i].key), cases[i].delivered) << "case " << i;
    EXPECT_EQ(KeySetEmpty(), cases[i].empty) << "case " << i;
  }
}

TEST_F(KeyInputTest, EchoFollowsHAndV) {
  SetKeySet("h");
  EXPECT_EQ(EchoCharacter(), 'X');
  SetKeySet("+eaV", "d");
  EXPECT_EQ(EchoCharacter(), 0);
}

TEST_F(KeyInputTest, TypeaheadComesBeforeTheKeyboard) {
  console_.PressKeys({kKeyEnter});
  SetTypeahead("1,5\x82");
  EXPECT_EQ(Read(5), (std::vector<int16_t>{'1', ',', '5', 0x82, kKeyEnter}));
  EXPECT_TRUE(Typeahead().empty());
}

TEST_F(KeyInputTest, AltKeypadDigitsMakeOneCharacter) {
  // Alt with End, Down, Home (NumLock off) = 1, 2, 7: code 127; Alt+1, Alt+6, Alt+4 (NumLock on)
  // = 164, "ñ"; 3005 (the last digit from the centre key) wraps to 189; the key that ends the
  // digits follows their character.
  console_.PressKeys({static_cast<int16_t>(0x9F00), static_cast<int16_t>(0xA000),
                      static_cast<int16_t>(0x9700), 'a', 0x7800, 0x7D00, 0x7B00, kKeyEnter, 0x7A00,
                      static_cast<int16_t>(0x8100), static_cast<int16_t>(0xA200),
                      static_cast<int16_t>(0x9C00), kKeyLeft, kKeyHome});
  EXPECT_EQ(Read(7), (std::vector<int16_t>{127, 'a', 164, kKeyEnter, 189, kKeyLeft, kKeyHome}));
}

TEST_F(KeyInputTest, AltXAndAltCTypeWhatThePopupReturns) {
  int calculator_calls = 0;
  SetCalculatorCall([&](Console& console) {
    ++calculator_calls;
    // Alt+X inside the calculator does not open a second one.
    EXPECT_EQ(ReadEntryKey(console), kKeyAltX);
    return std::string("1250");
  });
  SetCalendarCall([](Console&) { return std::string("5/3/2024  "); });
  console_.PressKeys({kKeyAltX, kKeyAltX, kKeyAltC, kKeyEsc});
  std::vector<int16_t> keys = Read(7);
  EXPECT_EQ(keys, (std::vector<int16_t>{kKeyAltX, '1', '2', '5', '0', kKeyAltC, '5'}));
  EXPECT_EQ(calculator_calls, 1);
  EXPECT_EQ(Typeahead(), "/3/2024  ");
}

TEST_F(KeyInputTest, WithoutPopupsAltXIsAPlainKey) {
  console_.PressKeys({kKeyAltX, kKeyAltC});
  EXPECT_EQ(Read(2), (std::vector<int16_t>{kKeyAltX, kKeyAltC}));
  EXPECT_TRUE(Typeahead().empty());
}

}  // namespace
}  // namespace quarnell::testing
