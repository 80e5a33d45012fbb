#include "screen/window_stack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "config/attributes.h"
#include "screen_fixture.h"

namespace quarnell::testing {
namespace {

using WindowStackTest = ScreenTest;

// Every cell different, so that a cell restored to the wrong place shows.
void FillScreen(Console& console) {
  for (int row = 1; row <= kScreenRows; ++row) {
    for (int column = 1; column <= kScreenColumns; ++column) {
      console.WriteCell(row, column,
                        Cell{static_cast<uint8_t>('A' + (row * 7 + column) % 26),
                             static_cast<uint8_t>((row + column) % 256)});
    }
  }
}

TEST_F(WindowStackTest, NestedPushesAndPopsRestoreEverything) {
  FillScreen(console_);
  console_.SetCursor(3, 4);
  const ScreenGrid before = console_.Grid();

  PushWindow(console_, 5, 10, 9, 30);
  SetAttribute("r");
  DrawFrame(console_, 2);
  console_.SetCursor(2, 3);
  console_.Write("outer");
  const ScreenGrid outer = console_.Grid();
  const int outer_row = console_.CursorRow(), outer_column = console_.CursorColumn();

  PushWindow(console_, 1, 1, 25, 80);  // the whole screen
  EXPECT_EQ(console_.WindowDepth(), 2);
  DrawFrame(console_, 1);
  console_.Clear();
  PopWindow(console_);
  EXPECT_EQ(console_.Grid(), outer);
  EXPECT_EQ(console_.CurrentWindow(), (WindowRect{5, 10, 9, 30}));
  EXPECT_EQ(console_.CursorRow(), outer_row);
  EXPECT_EQ(console_.CursorColumn(), outer_column);

  PopWindow(console_);
  EXPECT_EQ(console_.Grid(), before);
  EXPECT_EQ(console_.WindowDepth(), 0);
  EXPECT_EQ(console_.CursorRow(), 3);
  EXPECT_EQ(console_.CursorColumn(), 4);
  EXPECT_FALSE(StackFileExists());
  PopWindow(console_);  // one pop too many does nothing
  EXPECT_EQ(console_.Grid(), before);
}

TEST_F(WindowStackTest, FileHoldsTheBlocksAsLaidOut) {
  console_.WriteCell(2, 3, Cell{'a', 0x1E});
  console_.WriteCell(2, 4, Cell{'b', 0x70});
  console_.SetCursorOnScreen(7, 12);
  PushWindow(console_, 2, 3, 2, 4);
  std::string expected = std::string("\x22\x00\x00\x00", 4) + "0712" + "00000000" + "02030204" +
                         "a\x1E" + "b\x70" + "00029";
  EXPECT_EQ(dir_.Read(kWindowStackFileName), expected);

  PushWindow(console_, 10, 1, 10, 1);
  const std::string two = dir_.Read(kWindowStackFileName);
  ASSERT_EQ(two.size(), 60u);
  EXPECT_EQ(two.substr(0, 4), std::string("\x3D\x00\x00\x00", 4));
  EXPECT_EQ(two.substr(33, 20), "07120203020410011001");  // the first window is the previous one
  EXPECT_EQ(two.substr(55), "00027");

  PopWindow(console_);
  EXPECT_EQ(dir_.Read(kWindowStackFileName).substr(0, 4), std::string("\x22\x00\x00\x00", 4));
}

TEST_F(WindowStackTest, FramesInEachStyle) {
  PushWindow(console_, 5, 10, 9, 30);
  struct Case {
    int style;
    std::string top, middle, bottom;
  };
  auto line = [](const char* left, const char* middle, const char* right) {
    std::string text = left;
    for (int i = 0; i < 19; ++i) text += middle;
    return text + right;
  };
  const Case cases[] = {
      {2, line("╔", "═", "╗"), line("║", " ", "║"), line("╚", "═", "╝")},
      {1, line("┌", "─", "┐"), line("│", " ", "│"), line("└", "─", "┘")},
      {0, "", "", ""},
  };
  for (const Case& c : cases) {
    console_.WriteCell(7, 15, Cell{'x', 7});
    DrawFrame(console_, c.style);
    const std::string indent(9, ' ');
    EXPECT_EQ(console_.RowText(5), c.top.empty() ? "" : indent + c.top) << c.style;
    for (int row = 6; row <= 8; ++row) {
      EXPECT_EQ(console_.RowText(row), c.middle.empty() ? "" : indent + c.middle) << c.style;
    }
    EXPECT_EQ(console_.RowText(9), c.bottom.empty() ? "" : indent + c.bottom) << c.style;
  }
  console_.WriteCell(7, 15, Cell{'x', 7});
  DrawFrame(console_, 3);  // not a style: nothing drawn
  EXPECT_EQ(console_.ReadCell(7, 15).character, 'x');
  PopWindow(console_);
  DrawFrame(console_, 1);  // no window: nothing drawn
  EXPECT_EQ(console_.Text(), std::string(24, '\n'));
}

TEST_F(WindowStackTest, RectanglesOffTheScreenSaveNothing) {
  const WindowRect cases[] = {
      {0, 1, 5, 5}, {1, 0, 5, 5}, {1, 1, 26, 5}, {1, 1, 5, 81}, {5, 1, 4, 5}};
  for (const WindowRect& r : cases) {
    PushWindow(console_, r.top, r.left, r.bottom, r.right);
    EXPECT_EQ(console_.WindowDepth(), 0);
    EXPECT_FALSE(StackFileExists());
  }
}

TEST_F(WindowStackTest, StaleFileOfAnInterruptedRunIsReplaced) {
  dir_.Write(kWindowStackFileName, std::string("\xFF\x00\x00\x00", 4) + std::string(300, '9'));
  PushWindow(console_, 1, 1, 1, 1);
  EXPECT_EQ(dir_.Read(kWindowStackFileName).size(), 4u + 27u);
  PopWindow(console_);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(WindowStackTest, DamagedFileStopsThePopCleanly) {
  struct Case {
    const char* name;
    std::function<std::string(std::string)> damage;  // the file's bytes after one push
  };
  const Case cases[] = {
      {"deleted", [](std::string) { return std::string("missing"); }},
      {"empty", [](std::string) { return std::string(); }},
      {"cut short", [](std::string f) { return f.substr(0, f.size() - 10); }},
      {"position beyond the end", [](std::string f) { return f.replace(0, 1, "\x7F"); }},
      {"length not digits", [](std::string f) { return f.replace(f.size() - 3, 1, "x"); }},
      {"length too long", [](std::string f) { return f.replace(f.size() - 5, 5, "00099"); }},
      {"rectangle off the screen", [](std::string f) { return f.replace(16, 2, "99"); }},
      {"cells do not fill the block", [](std::string f) { return f.replace(22, 2, "06"); }},
  };
  for (const Case& c : cases) {
    MemoryConsole console;
    console.SetWindowStackPath(StackPath());
    console.Write("kept");
    PushWindow(console, 1, 1, 3, 5);
    console.Clear();
    const std::string damaged = c.damage(dir_.Read(kWindowStackFileName));
    std::filesystem::remove(StackPath());
    if (damaged != "missing") dir_.Write(kWindowStackFileName, damaged);
    try {
      PopWindow(console);
      ADD_FAILURE() << c.name << ": no error stop";
    } catch (const ErrorStopped& e) {
      EXPECT_EQ(std::string(e.what()), "the window stack file " + StackPath() + " is damaged")
          << c.name;
    }
    EXPECT_EQ(console.RowText(1), "") << c.name << ": nothing drawn from the damaged file";
  }
}

TEST_F(WindowStackTest, UnwritableFileIsAnErrorStop) {
  console_.SetWindowStackPath(dir_.file("no-such-directory/WinPush.tmp"));
  EXPECT_THROW(PushWindow(console_, 1, 1, 2, 2), ErrorStopped);
  EXPECT_EQ(console_.WindowDepth(), 0);
}

}  // namespace
}  // namespace quarnell::testing
