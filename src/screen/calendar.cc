#include "screen/calendar.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "config/attributes.h"
#include "config/session.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen/window_stack.h"
#include "text/clock.h"
#include "text/dates.h"
#include "text/folding.h"
#include "text/language.h"

namespace quarnell {
namespace {

constexpr int kTop = 1;
constexpr int kLeft = 59;
constexpr int kBottom = 24;
constexpr int kRight = 80;
constexpr int kInnerWidth = kRight - kLeft - 1;  // window columns 1 to 20
constexpr int kMonthRows = 7;                    // the name and six weeks
constexpr int kCellsPerMonth = 42;
constexpr char kCalendarKeys[] = "4d00,4b00,5000,4800,5100,4900,4700,4f00,2100,1b";

std::string_view WeekdayHeading() {
  static constexpr std::array<std::string_view, 4> kHeadings = {
      "DL DT DC DJ DV DS DG",
      " L  M  X  J  V  S  D",
      " L  M  X  J  V  S  D",
      "DL DT DC DJ DD DS DG",
  };
  return ForLanguage(CurrentLanguage(), kHeadings);
}

Date PackedDay(int year, int month, int day) { return MakeDate(year * 10000 + month * 100 + day); }

int FirstMonthOfQuarter(int month) { return 3 * ((month - 1) / 3) + 1; }

// "##": the number right-aligned in two characters.
std::string TwoColumns(int day) {
  char text[16];
  std::snprintf(text, sizeof text, "%2d", day);
  return text;
}

// The window column of cell `cell` (0 to 41) of a month's grid, and its row below the name row.
int CellColumn(int cell) { return 3 * (cell % 7) + 1; }
int CellRow(int cell) { return cell / 7 + 1; }

class CalendarWindow {
 public:
  explicit CalendarWindow(Console& console) : console_(console) {}

  void DrawQuarter(const CalendarDay& shown) {
    year_ = shown.year;
    first_month_ = FirstMonthOfQuarter(shown.month);
    SetAttribute("n");
    char year[16];
    std::snprintf(year, sizeof year, " %4d ", year_);
    console_.SetCursor(0, (kInnerWidth - 1 - 6 + 1) / 2 + 1);
    console_.Write(year);
    console_.SetCursor(1, 1);
    console_.Write(WeekdayHeading());
    for (int i = 0; i < 3; ++i) DrawMonth(first_month_ + i, 2 + kMonthRows * i);
  }

  bool Shows(const CalendarDay& day) const {
    return day.year == year_ && FirstMonthOfQuarter(day.month) == first_month_;
  }

  // The day's cell in the attribute in force.
  void DrawDay(const CalendarDay& day) {
    const int name_row = 2 + kMonthRows * (day.month - first_month_);
    const int cell = FirstWeekday(day.month) - 1 + day.day - 1;
    console_.SetCursor(name_row + CellRow(cell), CellColumn(cell));
    console_.Write(TwoColumns(day.day));
  }

 private:
  int FirstWeekday(int month) const { return Weekday(PackedDay(year_, month, 1)); }

  void DrawMonth(int month, int name_row) {
    SetAttribute("n");
    console_.SetCursor(name_row, 1);
    console_.WriteBlanks(kInnerWidth);
    SetAttribute("m");
    std::string name = FoldText(FormatDate(PackedDay(year_, month, 1), 2, "m"));
    name.erase(name.find_last_not_of(' ') + 1);
    console_.SetCursor(name_row, (kInnerWidth - static_cast<int>(name.size())) / 2 + 1);
    console_.Write(name);
    SetAttribute("h");
    const int first = FirstWeekday(month) - 1;
    const int length = CalendarMonthLength(year_, month);
    for (int cell = 0; cell < kCellsPerMonth; ++cell) {
      console_.SetCursor(name_row + CellRow(cell), CellColumn(cell));
      const int day = cell - first + 1;
      if (day >= 1 && day <= length) {
        console_.Write(TwoColumns(day));
      } else {
        console_.WriteBlanks(2);
      }
    }
  }

  Console& console_;
  int year_ = 0;
  int first_month_ = 0;
};

// The working date when it is a real day, else today's date.
CalendarDay StartDay() {
  const Date& working = Session().working_date;
  int32_t number = working.size() == 4 ? DateNumber(working) : 0;
  CalendarDay day{number / 10000, number / 100 % 100, number % 100};
  if (day.year < 1 || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > CalendarMonthLength(day.year, day.month)) {
    number = CurrentClock().Today();
    day = CalendarDay{number / 10000, number / 100 % 100, number % 100};
  }
  return day;
}

CalendarDay AddDays(CalendarDay d, int days) {
  d.day += days;
  while (d.day < 1) {
    if (--d.month < 1) {
      d.month = 12;
      --d.year;
    }
    d.day += CalendarMonthLength(d.year, d.month);
  }
  while (d.day > CalendarMonthLength(d.year, d.month)) {
    d.day -= CalendarMonthLength(d.year, d.month);
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  }
  return d;
}

// A quarter on: the day is cut to the new month's length, of the new month's year, so that
// 30 November 2024 goes to 28 February 2025 and never to a 29 February that does not exist.
CalendarDay AddMonths(CalendarDay d, int months) {
  int index = d.year * 12 + (d.month - 1) + months;
  d.year = index / 12;
  d.month = index % 12 + 1;
  d.day = std::min(d.day, CalendarMonthLength(d.year, d.month));
  return d;
}

}  // namespace

int CalendarMonthLength(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

CalendarDay MoveCalendarDay(const CalendarDay& day, int16_t key) {
  CalendarDay moved = day;
  switch (key) {
    case kKeyRight:
      moved = AddDays(day, 1);
      break;
    case kKeyLeft:
      moved = AddDays(day, -1);
      break;
    case kKeyDown:
      moved = AddDays(day, 7);
      break;
    case kKeyUp:
      moved = AddDays(day, -7);
      break;
    case kKeyPageDown:
      moved = AddMonths(day, 3);
      break;
    case kKeyPageUp:
      moved = AddMonths(day, -3);
      break;
    case kKeyHome:
      moved.month = 1;
      break;
    case kKeyEnd:
      moved.month = 12;
      break;
    default:
      break;
  }
  // The packed date holds years 1 to 9999; the calendar stops at their ends.
  return moved.year >= 1 && moved.year <= 9999 ? moved : day;
}

std::string CalendarPopup(Console& console) {
  const SavedKeySet keys = SaveKeySet();
  SetKeySet("ea", kCalendarKeys);
  SetAttribute("+n");
  const bool cursor_was_visible = console.Cursor().visible;
  console.HideCursor();
  PushWindow(console, kTop, kLeft, kBottom, kRight);
  DrawFrame(console, 1);
  CalendarWindow window(console);
  CalendarDay day = StartDay();
  window.DrawQuarter(day);

  std::string result;
  for (;;) {
    SetAttribute("+u");
    window.DrawDay(day);
    const int16_t key = ReadEntryKey(console);
    SetAttribute("-");
    window.DrawDay(day);
    if (key == kKeyAltF || key == 'F' || key == 'f') {
      result = FormatDate(PackedDay(day.year, day.month, day.day), 0, "dma");
      break;
    }
    if (key == kKeyEsc) break;
    day = MoveCalendarDay(day, key);
    if (!window.Shows(day)) window.DrawQuarter(day);
  }

  PopWindow(console);
  if (cursor_was_visible) console.ShowCursor();
  SetAttribute("-");
  RestoreKeySet(keys);
  return result;
}

}  // namespace quarnell
