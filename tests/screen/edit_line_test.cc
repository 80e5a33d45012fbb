#include "screen/edit_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen/clipboard.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen_fixture.h"

namespace quarnell::testing {
namespace {

constexpr int16_t kKeyF5 = 0x3F00;

const std::vector<EditOption> kKinds = {{"N", "Normal"}, {"F", "Fiscal"}, {"E", "\x90special"}};

class EditLineTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetKeyInput();
    UseProgramClipboardOnly(true);
    SetClipboardText("");
  }
  void TearDown() override {
    ResetKeyInput();
    ScreenTest::TearDown();
  }

  struct Result {
    std::string text;
    int16_t key;
  };

  Result Edit(std::string text, int start, std::vector<int16_t> keys, int line_width = 0,
              const std::vector<EditOption>& options = {}) {
    for (int16_t key : keys) console_.memory().keys().push_back(key);
    int16_t key = 0;
    EditLine(console_, 10, 5, line_width, text, start, key, options);
    return {text, key};
  }
};

TEST_F(EditLineTest, EditingKeysOfAPlainText) {
  struct Case {
    const char* name;
    const char* text;
    int start;
    std::vector<int16_t> keys;
    int line_width;
    const char* edited;
  };
  const Case cases[] = {
      {"overwrite", "abc  ", 1, {'X', 'Y'}, 0, "XYc  "},
      {"insert", "abc  ", 2, {kKeyInsert, 'Z', 'W'}, 0, "aZWbc"},
      {"insert needs a blank at the end", "abcde", 1, {kKeyInsert, 'Z'}, 0, "abcde"},
      {"Ins toggles back", "abc  ", 1, {kKeyInsert, kKeyInsert, 'Z'}, 0, "Zbc  "},
      {"no typing after the end", "ab", 3, {'x'}, 0, "ab"},
      {"start clamped", "ab", 9, {kKeyLeft, 'x'}, 0, "ax"},
      {"End after the last non-blank", "abc  ", 1, {kKeyEnd, 'X'}, 0, "abcX "},
      {"Home", "abc  ", 4, {kKeyHome, 'X'}, 0, "Xbc  "},
      {"Left stops at 1", "abc", 1, {kKeyLeft, 'X'}, 0, "Xbc"},
      {"Right stops after the text", "ab", 1, {kKeyRight, kKeyRight, kKeyRight, 'X'}, 0, "ab"},
      {"Backspace", "abcd ", 3, {kKeyBackspace}, 0, "acd  "},
      {"Backspace at 1", "abcd ", 1, {kKeyBackspace}, 0, "abcd "},
      {"Del", "abcd ", 2, {kKeyDelete}, 0, "acd  "},
      {"Del after the text", "abcd", 5, {kKeyDelete}, 0, "abcd"},
      {"Ctrl+Y", "abcd", 3, {kKeyCtrlY, 'X'}, 0, "X   "},
      {"Ctrl+Home", "abcd", 3, {kKeyCtrlHome, 'X'}, 0, "X   "},
      {"Ctrl+Right", "ab cd,ef ", 1, {kKeyCtrlRight, 'X'}, 0, "ab Xd,ef "},
      {"Ctrl+Right twice", "ab cd,ef ", 1, {kKeyCtrlRight, kKeyCtrlRight, 'X'}, 0, "ab cd,Xf "},
      {"Ctrl+Left", "ab cd,ef ", 9, {kKeyCtrlLeft, 'X'}, 0, "ab cd,Xf "},
      {"Ctrl+Left from a word", "ab cd,ef ", 5, {kKeyCtrlLeft, 'X'}, 0, "ab Xd,ef "},
      {"Ctrl+Left at 1 is ignored", "ab", 1, {kKeyCtrlLeft, 'X'}, 0, "Xb"},
      {"Down a line", "abcdefghij", 2, {kKeyDown, 'X'}, 5, "abcdefXhij"},
      {"Up a line", "abcdefghij", 8, {kKeyUp, 'X'}, 5, "abXdefghij"},
      {"Shift+Tab acts as Up", "abcdefghij", 8, {kKeyShiftTab, 'X'}, 5, "abXdefghij"},
      {"characters above 127", "ab", 1, {0x82, 0xA4}, 0, "\x82\xA4"},
      {"code 255 is no character", "ab", 1, {255, 'X'}, 0, "Xb"},
  };
  for (const Case& c : cases) {
    ResetKeyInput();
    SetKeySet("ea", "d,1b,4800,5000");
    std::vector<int16_t> keys = c.keys;
    keys.push_back(kKeyEnter);
    Result result = Edit(c.text, c.start, keys, c.line_width);
    EXPECT_EQ(result.text, c.edited) << c.name;
    EXPECT_EQ(result.key, kKeyEnter) << c.name;
    EXPECT_EQ(console_.KeysLeft(), 0u) << c.name;
  }
}

TEST_F(EditLineTest, KeysThatEndTheEditorAreTranslatedThenLookedUp) {
  struct Case {
    const char* name;
    const char* key_set;  // nullptr: empty set
    std::vector<int16_t> keys;
    int line_width;
    int16_t ended;
  };
  const Case cases[] = {
      {"Up in one line", "d,1b,4800", {kKeyUp}, 0, kKeyUp},
      {"Up on the first line", "d,1b,4800", {kKeyUp}, 5, kKeyUp},
      {"Down on the last line", "d,1b,5000", {kKeyDown, kKeyDown, kKeyDown}, 5, kKeyDown},
      {"Tab is Enter", "d,1b", {kKeyTab}, 0, kKeyEnter},
      {"Shift+Tab is Up", "d,1b,4800", {kKeyShiftTab}, 0, kKeyUp},
      {"Ctrl+F4 is Esc", "d,1b", {kKeyCtrlF4}, 0, kKeyEsc},
      {"Alt+F4 is Esc", "d,1b", {kKeyAltF4}, 0, kKeyEsc},
      {"Enter is End when End is in the set", "d,1b,4f00", {kKeyEnter}, 0, kKeyEnd},
      {"keys outside the set are ignored", "d,1b", {kKeyPageDown, kKeyF5, kKeyEsc}, 0, kKeyEsc},
      {"remapped", "d,1b,5100=d", {kKeyPageDown}, 0, kKeyEnter},
      {"an empty set lets any key end", nullptr, {kKeyF5}, 0, kKeyF5},
      {"a click outside ends", "d", {MouseClickCode(3, 3)}, 0, MouseClickCode(3, 3)},
  };
  for (const Case& c : cases) {
    ResetKeyInput();
    if (c.key_set != nullptr) SetKeySet("ea", c.key_set);
    Result result = Edit("abcdefghij", 1, c.keys, c.line_width);
    EXPECT_EQ(result.key, c.ended) << c.name;
    EXPECT_EQ(result.text, "abcdefghij") << c.name;
    EXPECT_EQ(console_.KeysLeft(), 0u) << c.name;
  }
}

TEST_F(EditLineTest, AClickInsideMovesTheCursor) {
  SetKeySet("ea", "d");
  // Row 10, columns 5 to 14 hold the first line, row 11 the second.
  Result result = Edit("abcdefghijklmnopqrst", 1,
                       {MouseClickCode(11, 7), 'X', MouseClickCode(10, 14), 'Y', kKeyEnter}, 10);
  EXPECT_EQ(result.text, "abcdefghiYklXnopqrst");
  EXPECT_EQ(result.key, kKeyEnter);
}

TEST_F(EditLineTest, ClipboardCopiesTheTrimmedTextAndPastesOverTheText) {
  SetKeySet("ea", "d");
  Result copied = Edit("  ab c  ", 1, {kKeyCtrlC, kKeyEnter});
  EXPECT_EQ(ClipboardText(), "ab c");
  EXPECT_EQ(copied.text, "  ab c  ");

  SetClipboardText(
      " 12\t3\x7F"
      "45\xFF ");
  Result pasted = Edit("abcdef", 2, {kKeyCtrlV, 'X', kKeyEnter});
  EXPECT_EQ(pasted.text, "a12345");  // cut at the text's end; the X typed after it is dropped
  Result short_paste = Edit("abcdef", 1, {kKeyCtrlV, kKeyCtrlY, kKeyCtrlV, 'X', kKeyEnter});
  EXPECT_EQ(short_paste.text, "12345X");
}

TEST_F(EditLineTest, OptionListsChooseByKeyAndFirstLetter) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<int16_t> keys;
    const char* chosen;
  };
  const Case cases[] = {
      {"the option of the text", "F ", {}, "F "},
      {"the first when none matches", "X ", {}, "N "},
      {"Right", "N ", {kKeyRight}, "F "},
      {"space", "N ", {' ', ' '}, "E "},
      {"Right wraps", "E ", {kKeyRight}, "N "},
      {"Left wraps", "N ", {kKeyLeft}, "E "},
      {"first letter, folded", "N ", {'e'}, "E "},
      {"first letter with an accent", "N ", {0x82}, "E "},  // é finds Especial
      {"first letter searches after the current", "F ", {'f'}, "F "},
      {"a letter no option begins with", "N ", {'z'}, "N "},
      {"editing keys do nothing", "F ", {kKeyBackspace, kKeyDelete, kKeyCtrlY, kKeyCtrlV}, "F "},
  };
  for (const Case& c : cases) {
    ResetKeyInput();
    SetKeySet("ea", "d,1b");
    std::vector<int16_t> keys = c.keys;
    keys.push_back(kKeyEnter);
    EXPECT_EQ(Edit(c.text, 1, keys, 0, kKinds).text, c.chosen) << c.name;
  }
}

TEST_F(EditLineTest, OptionFieldShowsTheTextBetweenMarks) {
  SetKeySet("ea", "d");
  console_.memory().KeepScreensAtKeys(true);
  Result result = Edit("N ", 1, {kKeyRight, kKeyUp, kKeyCtrlRight, kKeyEnter}, 0, kKinds);
  EXPECT_EQ(result.text, "F ");
  // While editing: the marks either side of the widest text (8 characters).
  const std::string& editing = console_.memory().screens_at_keys()[1];
  EXPECT_NE(editing.find("\n   \u25C4Fiscal  \u25BA"), std::string::npos) << editing;
  // After: the text in normal colours, the marks gone.
  EXPECT_EQ(console_.RowText(10), "    Fiscal");
}

TEST_F(EditLineTest, EchoShowsARowOfX) {
  SetKeySet("eah", "d");
  console_.memory().KeepScreensAtKeys(true);
  Result result = Edit("    ", 1, {'1', '2', kKeyEnter});
  EXPECT_EQ(result.text, "12  ");
  EXPECT_NE(console_.memory().screens_at_keys()[2].find("    XXXX"), std::string::npos);
  EXPECT_EQ(console_.Text().find('1'), std::string::npos);
}

}  // namespace
}  // namespace quarnell::testing
