#include "screen/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/attributes.h"
#include "config/error_stop.h"
#include "config/session.h"
#include "records/record_files.h"
#include "screen/console_alerts.h"
#include "screen_fixture.h"
#include "text/language.h"

namespace quarnell::testing {
namespace {

using MessageBoxTest = ScreenTest;

TEST(LayOutTextTest, BreaksBetweenWords) {
  struct Case {
    const char* text;
    int width;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"one two three", 9, {"one two  ", "three    "}},
      {"  spaced   out  ", 20, {"spaced out          "}},
      {"", 4, {"    "}},
      {"abcdefghij kl", 4, {"abcd", "efgh", "ij  ", "kl  "}},
      {"exactly fit", 11, {"exactly fit"}},
  };
  for (const Case& c : cases) EXPECT_EQ(LayOutText(c.text, c.width), c.lines) << c.text;
}

TEST(LayOutMessageBoxTest, Geometry) {
  struct Case {
    std::string text;
    int row;
    WindowRect box;  // all zero: nothing shown
  };
  const std::string four_lines = std::string(76, 'a') + " " + std::string(76, 'b') + " " +
                                 std::string(76, 'c') + " " + std::string(10, 'd');
  const Case cases[] = {
      {"FITXER BLOQUEJAT. ESPEREU UN MOMENT.", 24, {21, 21, 23, 60}},
      {"NO ES POT ACCEDIR AL FITXER DADES\\VPagos (12)", 12, {9, 16, 11, 64}},
      {"x", 1, {1, 38, 3, 42}},           // raised to row 1
      {"x", 25, {22, 38, 24, 42}},        // one line: the box ends above the last row
      {four_lines, 25, {20, 1, 25, 80}},  // moved up to end on the last row
      {std::string(24 * 76, 'x'), 12, {}},
  };
  for (const Case& c : cases) {
    std::optional<MessageBoxLayout> layout = LayOutMessageBox(c.text, c.row, 25);
    WindowRect box = layout ? layout->box : WindowRect{};
    EXPECT_EQ(box, c.box) << c.text << " row " << c.row << ": " << box.top << "," << box.left << ","
                          << box.bottom << "," << box.right;
  }
}

TEST_F(MessageBoxTest, LockedFileMessageOnScreen) {
  console_.Write("under the box");
  ShowMessageBox(console_, "FITXER BLOQUEJAT. ESPEREU UN MOMENT.", 24);
  EXPECT_EQ(console_.RowText(22),
            std::string(20, ' ') + "│ FITXER BLOQUEJAT. ESPEREU UN MOMENT. │");
  EXPECT_EQ(console_.ReadCell(22, 23), (Cell{'F', 0x70}));  // reverse video
  EXPECT_EQ(console_.ReadCell(21, 21).character, 218);
  EXPECT_EQ(console_.ReadCell(23, 60).character, 217);
  EXPECT_EQ(CurrentAttributeSet(), 0);  // attributes restored
  PopWindow(console_);
  EXPECT_EQ(console_.Text(), "under the box" + std::string(24, '\n'));
  EXPECT_FALSE(StackFileExists());
}

class ConsoleAlertsTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    environment_root_ = dir_.dir();
    setenv("QEBROOT", environment_root_.c_str(), 1);
    StartConfiguration();
    SetLanguageCode("CAT");
    console_.memory().KeepScreensAtKeys(true);
  }
  void TearDown() override {
    SetRecordFileExit(nullptr);
    unsetenv("QEBROOT");
    ScreenTest::TearDown();
  }
  std::string environment_root_;
};

TEST_F(ConsoleAlertsTest, FatalAccessMessageWaitsForAKeyInABox) {
  ConsoleAlerts alerts(console_);
  std::vector<int> exits;
  SetRecordFileExit([&exits](int code) { exits.push_back(code); });
  console_.PressKeys({'x'});
  char area[16];
  int16_t status = 0;
  OpenRecordFile(5, environment_root_ + "DADES\\Missing", area, status);
  EXPECT_EQ(exits, std::vector<int>{1});
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_EQ(console_.Discards(), 1);
  ASSERT_EQ(console_.memory().screens_at_keys().size(), 1u);
  const std::string& screen = console_.memory().screens_at_keys()[0];
  const std::string message =
      "│ NO ES POT ACCEDIR AL FITXER " + environment_root_ + "DADES\\Missing (12) │";
  EXPECT_NE(screen.find(message), std::string::npos) << screen;
  EXPECT_EQ(console_.Text(), std::string(24, '\n'));  // the box is gone
}

TEST_F(ConsoleAlertsTest, LockedFileMessageReachesTheTerminalAtOnce) {
  // The record layer sleeps between its tries without waiting for a key.
  ConsoleAlerts alerts(console_);
  Alerts().ShowMessageBox("FITXER BLOQUEJAT. ESPEREU UN MOMENT.", 24);
  EXPECT_EQ(console_.memory().shows(), 1);
  Alerts().PopWindow();
  EXPECT_EQ(console_.memory().shows(), 2);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(ConsoleAlertsTest, ErrorStopShowsItsMessageBeforeTheTerminalGoesBack) {
  ConsoleAlerts alerts(console_);
  console_.Write("the form");
  console_.PressKeys({'x'});
  EXPECT_THROW(ErrorStop("cannot start the print program"), ErrorStopped);
  ASSERT_EQ(console_.memory().screens_at_keys().size(), 1u);
  EXPECT_NE(console_.memory().screens_at_keys()[0].find("│ cannot start the print program │"),
            std::string::npos);
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_FALSE(StackFileExists());  // drawn without the window stack
}

TEST_F(ConsoleAlertsTest, DamagedWindowStackStillGetsItsMessage) {
  ConsoleAlerts alerts(console_);
  PushWindow(console_, 1, 1, 5, 5);
  dir_.Write(kWindowStackFileName, "junk");
  console_.PressKeys({'x'});
  EXPECT_THROW(PopWindow(console_), ErrorStopped);
  ASSERT_EQ(console_.memory().screens_at_keys().size(), 1u);
  EXPECT_NE(console_.memory().screens_at_keys()[0].find("is damaged"), std::string::npos);
}

}  // namespace
}  // namespace quarnell::testing
