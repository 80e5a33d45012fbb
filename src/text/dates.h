// Packed digits and calendar dates: packing, date entry, display in four languages, arithmetic.
// Proleptic Julian calendar before 5 October 1582, Gregorian from 15 October 1582.
#ifndef QUARNELL_TEXT_DATES_H_
#define QUARNELL_TEXT_DATES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {

// A packed date: 4 bytes (century, year, month, day), each 128 plus the two-digit value.
// Packed dates compare byte by byte in date order.
using Date = std::string;

// The packed "00000000": four bytes of 128.
const Date& EmptyDate();

// n digits to n/2 bytes (rounded up), each 128 + the value of two digits.
std::string PackDigits(std::string_view digits);
// Two digits per byte, the high bit cleared (values 100 to 127 keep their last two digits).
std::string UnpackDigits(std::string_view packed);

// Date entry: day, month, year with "." "/" "-" or six/eight digits; the empty date when
// unreadable.
Date ParseDate(std::string_view text);
// true when the typed text is not a valid date.
bool ValidateDateText(std::string_view text);
// The year ParseDate takes from the typed text, before it is packed (so a year of 10000, which
// the packed form cannot hold, stays 10000), and whether it was typed short and got its century
// from the clock. false when the text is unreadable.
bool TypedDateYear(std::string_view text, int64_t* year, bool* short_year);
// The compact text a date field shows ("050324", "05031900"); empty for an empty date.
std::string DateEditText(const Date& date);
// style -1 ISO, 0 numeric, 1 abbreviated month, >= 2 long form; parts: letters D, M, A.
std::string FormatDate(const Date& date, int style, std::string_view parts);
// unit "D", "M" or "A" (either case); capped at 31 December 9999.
Date DateAdd(const Date& date, int32_t count, char unit);
// The non-negative difference in days, months or completed years; 0 for another unit.
int32_t DateDiff(const Date& a, const Date& b, char unit);
// 1 (Monday) to 7 (Sunday).
int Weekday(const Date& date);

// The packed date of year * 10000 + month * 100 + day (no range check).
Date MakeDate(int32_t yyyymmdd);
// The number year * 10000 + month * 100 + day of a packed date.
int32_t DateNumber(const Date& date);

// Whether `date` is four packed bytes of a day that exists (Julian calendar before the reform,
// Gregorian from 15 October 1582; the ten days between do not exist) from the year 1 on. The empty
// date is not a day.
bool IsRealDate(const Date& date);

}  // namespace quarnell

#endif  // QUARNELL_TEXT_DATES_H_
