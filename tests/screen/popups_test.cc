#include "screen/popups.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/attributes.h"
#include "config/scoped_environment.h"
#include "config/session.h"
#include "screen/calculator.h"
#include "screen/calendar.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen_fixture.h"
#include "support/fake_clock.h"
#include "support/recording_alerts.h"
#include "text/language.h"

namespace quarnell::testing {
namespace {

// The pop-ups in a session whose terminal directory is "term/" of the scratch directory, with
// working date `Data` of its terminal file.
class PopupTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    environment_.Set("QEBROOT", dir_.dir());
    environment_.Set("QEBTMP", dir_.dir());
    environment_.Set("TERM", "xterm");
    dir_.Write("Sessio.ini", "[Terminal]\nDir=" + dir_.dir() + "term\n");
    std::filesystem::create_directories(dir_.path() / "term");
    Start("20240305", "CAT");
    ResetKeyInput();
  }
  void TearDown() override {
    ResetKeyInput();
    ScreenTest::TearDown();
  }

  void Start(const std::string& working_date, const std::string& language) {
    dir_.Write("TovaTerm.ini", "[Sistema]\nData=" + working_date + "\nIdioma=" + language + "\n");
    StartConfiguration();
  }

  std::string CalculatorFile() const { return dir_.file("term/QEBCALC.TMP"); }

  // Rows `first` to `last`, columns `left` to `right`, of the screen as it was when the program
  // waited for key `key` (or of the screen now when `key` is past the keys read), blanks kept.
  std::string Area(size_t key, int first, int last, int left, int right) {
    const auto& screens = console_.memory().screens_at_keys();
    std::string area;
    for (int row = first; row <= last; ++row) {
      std::string line;
      if (key < screens.size()) {
        const std::string& screen = screens[key];
        size_t at = 0;
        for (int r = 1; r < row; ++r) at = screen.find('\n', at) + 1;
        line = screen.substr(at, screen.find('\n', at) - at);
      } else {
        line = console_.RowText(row);
      }
      area += Columns(line, left, right) + "\n";
    }
    return area;
  }

  // Columns `left` to `right` of a UTF-8 screen line.
  static std::string Columns(const std::string& line, int left, int right) {
    std::string out;
    int column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
      if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
      if (column > right) break;
      if (column >= left) out += line[i];
    }
    while (column < right) {
      out += ' ';
      ++column;
    }
    return out;
  }

  ScopedEnvironment environment_;
  FakeClock clock_{20260115};
};

TEST_F(PopupTest, CalendarShowsTheQuarterOfTheWorkingDate) {
  console_.memory().KeepScreensAtKeys(true);
  console_.Write(std::string(80 * 25, '.'));
  console_.SetCursorOnScreen(3, 4);
  console_.PressKeys({kKeyEsc});
  EXPECT_EQ(CalendarPopup(console_), "");
  EXPECT_EQ(Area(0, 1, 4, 59, 80),
            "┌─────── 2024 ───────┐\n"
            "│DL DT DC DJ DV DS DG│\n"
            "│       GENER        │\n"
            "│ 1  2  3  4  5  6  7│\n");
  EXPECT_EQ(Area(0, 17, 21, 59, 80),
            "│        MARÇ        │\n"
            "│             1  2  3│\n"
            "│ 4  5  6  7  8  9 10│\n"
            "│11 12 13 14 15 16 17│\n"
            "│18 19 20 21 22 23 24│\n");
  // The day is highlighted; the screen, the cursor and the key set come back.
  EXPECT_NE(console_.memory().screens_at_keys()[0].find("63-64:70"), std::string::npos);
  EXPECT_EQ(console_.RowText(1), std::string(80, '.'));
  EXPECT_EQ(console_.CursorRow(), 3);
  EXPECT_TRUE(console_.Cursor().visible);
  EXPECT_TRUE(KeySetEmpty());
  EXPECT_FALSE(StackFileExists());
}

TEST_F(PopupTest, CalendarMoves) {
  struct Case {
    CalendarDay from;
    int16_t key;
    CalendarDay to;
  };
  const Case cases[] = {
      {{2024, 1, 31}, kKeyRight, {2024, 2, 1}},
      {{2024, 3, 31}, kKeyRight, {2024, 4, 1}},
      {{2024, 1, 1}, kKeyLeft, {2023, 12, 31}},
      {{2024, 1, 31}, kKeyPageDown, {2024, 4, 30}},
      {{2024, 11, 30}, kKeyPageDown, {2025, 2, 28}},  // never 29 February 2025
      {{2023, 11, 30}, kKeyPageDown, {2024, 2, 29}},
      {{2024, 2, 10}, kKeyPageUp, {2023, 11, 10}},
      {{2024, 2, 26}, kKeyDown, {2024, 3, 4}},
      {{2024, 3, 4}, kKeyUp, {2024, 2, 26}},
      {{2024, 5, 31}, kKeyHome, {2024, 1, 31}},
      {{2024, 5, 31}, kKeyEnd, {2024, 12, 31}},
      {{9999, 12, 31}, kKeyRight, {9999, 12, 31}},  // the packed date ends there
      {{1, 2, 1}, kKeyPageUp, {1, 2, 1}},
      {{2024, 5, 5}, 'x', {2024, 5, 5}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MoveCalendarDay(c.from, c.key), c.to)
        << c.from.year << "-" << c.from.month << "-" << c.from.day << " key " << c.key;
  }
  EXPECT_EQ(CalendarMonthLength(2000, 2), 29);
  EXPECT_EQ(CalendarMonthLength(1900, 2), 28);
  EXPECT_EQ(CalendarMonthLength(2024, 2), 29);
  EXPECT_EQ(CalendarMonthLength(2023, 2), 28);
}

TEST_F(PopupTest, CalendarRedrawsAnotherQuarter) {
  Start("20240101", "CAT");
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({kKeyLeft, kKeyEsc});
  CalendarPopup(console_);
  EXPECT_EQ(Area(1, 1, 4, 59, 80),
            "┌─────── 2023 ───────┐\n"
            "│DL DT DC DJ DV DS DG│\n"
            "│      OCTUBRE       │\n"
            "│                   1│\n");
  EXPECT_EQ(Area(1, 22, 22, 59, 80), "│25 26 27 28 29 30 31│\n");
}

TEST_F(PopupTest, CalendarHeadingsFollowTheLanguage) {
  const std::pair<const char*, const char*> cases[] = {
      {"OCI", "DL DT DC DJ DD DS DG"},
      {"SPA", " L  M  X  J  V  S  D"},
      {"GLG", " L  M  X  J  V  S  D"},
      {"ENG", "DL DT DC DJ DV DS DG"},
  };
  console_.memory().KeepScreensAtKeys(true);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetLanguageCode(cases[i].first);
    console_.PressKeys({kKeyEsc});
    CalendarPopup(console_);
    EXPECT_EQ(Area(i, 2, 2, 60, 79), std::string(cases[i].second) + "\n") << cases[i].first;
  }
}

TEST_F(PopupTest, CalendarChoosesWithF) {
  console_.PressKeys({kKeyAltF});
  EXPECT_EQ(CalendarPopup(console_), "5/3/2024  ");
  console_.PressKeys({kKeyPageDown, kKeyRight, 'f'});
  EXPECT_EQ(CalendarPopup(console_), "6/6/2024  ");
  // Without a working date that is a day, the calendar starts from today.
  Start("20241340", "CAT");
  console_.PressKeys({'F'});
  EXPECT_EQ(CalendarPopup(console_), "15/1/2026 ");
}

TEST_F(PopupTest, CalculatorWindowAndTape) {
  console_.memory().KeepScreensAtKeys(true);
  console_.Write(std::string(80 * 25, '.'));
  console_.TypeText("2+3=");
  console_.PressKeys({kKeyLeft, 'F'});
  EXPECT_EQ(Calculator(console_), "500");
  EXPECT_EQ(Area(4, 19, 25, 1, 27),
            "┌────────────────────────┐.\n"
            "│                     2 +│.\n"
            "│                     3 =│.\n"
            "│                     5  │.\n"
            "├────────────────────────┤.\n"
            "│                     5  │.\n"
            "└────────────────────────┘.\n");
  // Left from the first column takes the window to the right edge.
  EXPECT_EQ(Area(5, 24, 24, 54, 80), ".│                     5  │\n");
  EXPECT_EQ(console_.RowText(24), std::string(80, '.'));
  EXPECT_TRUE(KeySetEmpty());
  EXPECT_FALSE(StackFileExists());

  // The tape and the window's place are there the next time.
  console_.PressKeys({kKeyEsc});
  EXPECT_EQ(Calculator(console_), "");
  EXPECT_EQ(Area(6, 19, 23, 55, 80),
            "┌────────────────────────┐\n"
            "│                     2 +│\n"
            "│                     3 =│\n"
            "│                     5  │\n"
            "├────────────────────────┤\n");
}

TEST_F(PopupTest, CalculatorDivisionByZeroShowsMarksAndCClearsThem) {
  console_.memory().KeepScreensAtKeys(true);
  console_.TypeText("1/0=fc");
  console_.PressKeys({kKeyEsc});
  Calculator(console_);
  EXPECT_EQ(Area(4, 24, 24, 1, 26), "│!!!!!!!!!!!!!!!!!!!!!!  │\n");
  EXPECT_EQ(console_.Bells(), 1);  // F has no number to give
  EXPECT_EQ(Area(6, 24, 24, 1, 26), "│                     0  │\n");
}

TEST_F(PopupTest, CalculatorStartsAfreshFromADamagedStateFile) {
  dir_.Write("term/QEBCALC.TMP", "1,22,5,5\n0,0,0,0\n\"\",\"+");  // cut short
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({'7', kKeyEsc});
  Calculator(console_);
  EXPECT_EQ(Area(0, 23, 24, 1, 26),
            "┌────────────────────────┐\n"
            "│                     0  │\n");
  std::optional<CalculatorState> kept = DecodeCalculatorState(dir_.Read("term/QEBCALC.TMP"));
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->value, 7);
  // Nothing but the state file is left in the directory.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path() / "term"),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(PopupTest, CalculatorWithoutAWritableDirectoryWarnsAndGoesOn) {
  RecordingAlerts alerts;
  std::filesystem::remove_all(dir_.path() / "term");
  console_.TypeText("12f");
  EXPECT_EQ(Calculator(console_), "1200");
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_NE(alerts.shown[0].find("QEBCALC.TMP"), std::string::npos);
}

TEST_F(PopupTest, AltXAndAltCTypeIntoTheField) {
  InstallPopups();
  console_.PressKeys({kKeyAltX});
  console_.TypeText("2+3=F");
  console_.PressKeys({kKeyAltC, kKeyAltF});
  std::string typed;
  for (int16_t key = ReadEntryKey(console_); key != kKeyAltC; key = ReadEntryKey(console_)) {
    if (key != kKeyAltX) typed += static_cast<char>(key);
  }
  EXPECT_EQ(typed, "500");
  EXPECT_EQ(Typeahead(), "5/3/2024  ");
}

// The field that opens a pop-up holds the one saved copy of the key set; the pop-up puts back
// the field's keys and that copy, so the field goes on with its own keys and restores the set
// from before it as usual.
TEST_F(PopupTest, PopupsGiveBackTheFieldsKeySet) {
  SetKeySet("ea", "1b");
  SetKeySet("+ea", "d,4800");  // a field's keys
  const SavedKeySet field = SaveKeySet();
  console_.PressKeys({kKeyEsc, kKeyEsc});
  Calculator(console_);
  EXPECT_EQ(SaveKeySet(), field);
  CalendarPopup(console_);
  EXPECT_EQ(SaveKeySet(), field);
  SetKeySet("-");
  EXPECT_EQ(KeySetDelivers(kKeyEsc), kKeyEsc);
  EXPECT_EQ(KeySetDelivers(kKeyEnter), std::nullopt);
  SetCalculatorCall(nullptr);
  SetCalendarCall(nullptr);
  SetBrowseCall(nullptr);
}

}  // namespace
}  // namespace quarnell::testing
