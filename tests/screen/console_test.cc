#include "screen/console.h"

#include <gtest/gtest.h>

#include <string>

#include "config/attributes.h"
#include "screen/key_codes.h"
#include "screen/memory_console.h"
#include "screen/window_stack.h"
#include "screen_fixture.h"
#include "text/cp850.h"

namespace quarnell::testing {
namespace {

using ConsoleTest = ScreenTest;

TEST_F(ConsoleTest, PositionsAreRelativeToThePushedWindow) {
  struct Case {
    WindowRect window;  // all zero: no window pushed
    int row, column;
    int screen_row, screen_column;
  };
  const Case cases[] = {
      {{}, 1, 1, 1, 1},
      {{5, 10, 9, 30}, 1, 1, 6, 11},
      {{10, 20, 15, 40}, 1, 1, 11, 21},
      {{10, 20, 15, 40}, 0, 0, 10, 20},  // the frame's corner
  };
  for (const Case& c : cases) {
    MemoryConsole console;
    console.SetWindowStackPath(StackPath());
    if (c.window.top != 0)
      PushWindow(console, c.window.top, c.window.left, c.window.bottom, c.window.right);
    console.SetCursor(c.row, c.column);
    console.Write("X");
    EXPECT_EQ(console.ReadCell(c.screen_row, c.screen_column).character, 'X')
        << c.window.top << "," << c.window.left;
    EXPECT_EQ(console.CursorRow(), c.screen_row);
    EXPECT_EQ(console.CursorColumn(), c.screen_column + 1);
    PopWindow(console);
  }
}

TEST_F(ConsoleTest, OutputIsClippedToTheScreenAndTheWindow) {
  console_.SetCursor(25, 79);
  console_.Write("ABC");  // C would be on row 26
  EXPECT_EQ(console_.RowText(25), std::string(78, ' ') + "AB");
  console_.SetCursor(-3, 200);
  console_.Write("lost");
  console_.SetCursor(1, 78);
  console_.Write("wrap");  // wraps to row 2 at depth 0
  EXPECT_EQ(console_.RowText(1), std::string(77, ' ') + "wra");
  EXPECT_EQ(console_.RowText(2), "p");

  PushWindow(console_, 5, 10, 7, 20);
  console_.SetCursor(1, 8);
  console_.Write("1234567");  // the window ends at column 20: "4" and after are dropped
  console_.SetCursor(-2, 1);
  console_.Write("above");
  EXPECT_EQ(console_.RowText(6), std::string(17, ' ') + "123");
  EXPECT_EQ(console_.RowText(3), "");
  console_.WriteCell(0, 5, Cell{'x', 7});
  console_.WriteCell(26, 81, Cell{'x', 7});
  EXPECT_EQ(console_.ReadCell(0, 5), (Cell{' ', 0}));
  PopWindow(console_);
}

TEST_F(ConsoleTest, WritesInTheAttributeInForce) {
  LoadColourTable("14010700000700070007");
  SetAttribute("");
  console_.Clear();
  console_.Write("a");
  SetAttribute("+r");
  console_.Write("b");
  console_.WriteBlanks(2);
  SetAttribute("-");
  console_.Write("c");
  EXPECT_EQ(console_.ReadCell(1, 1), (Cell{'a', 0x1E}));
  EXPECT_EQ(console_.ReadCell(1, 2), (Cell{'b', 0x70}));
  EXPECT_EQ(console_.ReadCell(1, 4), (Cell{' ', 0x70}));
  EXPECT_EQ(console_.ReadCell(1, 5), (Cell{'c', 0x1E}));
  EXPECT_EQ(console_.ReadCell(25, 80), (Cell{' ', 0x1E}));
  const std::string first_line = console_.Text(true).substr(0, console_.Text(true).find('\n'));
  EXPECT_EQ(first_line, "ab  c" + std::string(75, ' ') + "  1-1:1E 2-4:70 5-80:1E");
}

TEST_F(ConsoleTest, TextDumpIsUtf8) {
  console_.Write("CAMÍ · ÀREA"_cp850);
  console_.SetCursor(3, 1);
  console_.Write(std::string("\x01\x1b", 2) + "x");
  EXPECT_EQ(console_.Text(), "CAMÍ · ÀREA\n\n  x" + std::string(22, '\n'));
}

TEST_F(ConsoleTest, ScriptedKeysAndTheirEnd) {
  console_.PressKeys({kKeyF1, MouseClickCode(3, 12)});
  console_.TypeText("é");
  EXPECT_TRUE(console_.KeyWaiting());
  EXPECT_EQ(console_.WaitKey(), 0x3B00);
  EXPECT_EQ(console_.WaitKey(), -1203);
  EXPECT_EQ(console_.WaitKey(), 0x82);
  EXPECT_FALSE(console_.KeyWaiting());
  console_.Write("waiting here");
  try {
    console_.WaitKey();
    FAIL() << "an empty script must end the wait";
  } catch (const ScriptedKeysExhausted& e) {
    EXPECT_NE(std::string(e.what()).find("the screen was:\nwaiting here"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace quarnell::testing
