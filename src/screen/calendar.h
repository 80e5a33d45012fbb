// The calendar pop-up of field entry (Alt+C): one quarter of a year at the right edge of the
// screen, a highlighted day the operator moves with the cursor keys, and the chosen date as the
// text a date field takes.
#ifndef QUARNELL_SCREEN_CALENDAR_H_
#define QUARNELL_SCREEN_CALENDAR_H_

#include <cstdint>
#include <string>

#include "screen/console.h"

namespace quarnell {

// A day of the calendar.
struct CalendarDay {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

// Runs the calendar from the session's working date (today's date when it has none that is a
// real day) until the operator chooses a day with F, f or Alt+F, or leaves with Esc. Keys: Right
// and Left a day, Down and Up a week, PgDn and PgUp a quarter (the day cut to the new month's
// length), Home January and End December of the year shown. Returns the chosen date as
// FormatDate style 0 with parts "dma" gives it, or the empty text after Esc. The screen under the
// window, the key set, the attributes and the cursor's visibility are as they were on return.
std::string CalendarPopup(Console& console);

// Where a key moves the highlighted day; the day itself for keys that do not move it and for moves
// that would leave the years 1 to 9999.
CalendarDay MoveCalendarDay(const CalendarDay& day, int16_t key);

// Days of the month by the Gregorian rules.
int CalendarMonthLength(int year, int month);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_CALENDAR_H_
