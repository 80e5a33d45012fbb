// Date entry, display and arithmetic on arbitrary input: nothing may crash, and the results keep
// their shape (four-byte dates, fixed display widths, weekdays 1 to 7, consistent arithmetic).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/clock.h"
#include "text/dates.h"
#include "text/language.h"
#include "text/user_settings.h"

namespace {

using quarnell::Date;

class FixedClock : public quarnell::Clock {
 public:
  int32_t today = 20260115;
  int32_t Today() override { return today; }
  int32_t SecondsOfDay() override { return 0; }
  void SleepMilliseconds(int32_t) override {}
  double Random() override { return 0.5; }
};

// Reports the broken invariant's line before stopping, so that a finding explains itself.
void Check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
  std::abort();
}

bool IsLeap(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// A date that exists in the Gregorian calendar (the dates all checks below rely on).
bool IsGregorian(int32_t number) {
  const int32_t year = number / 10000, month = number / 100 % 100, day = number % 100;
  static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  return day <= kLength[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
}

const char* const kLanguages[] = {"CAT", "SPA", "GLG", "OCI", "", "XX"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FixedClock clock;
  quarnell::SetClock(&clock);
  FuzzedDataProvider input(data, size);
  clock.today = input.ConsumeIntegralInRange<int32_t>(1, 9999) * 10000 + 101;
  quarnell::SetLanguageCode(kLanguages[input.ConsumeIntegralInRange<size_t>(0, 5)]);
  const std::string separator = input.ConsumeRandomLengthString(3);
  const std::string order = input.ConsumeRandomLengthString(5);
  quarnell::SetUserSettingReader([&](std::string_view key) {
    return key == "DatCaracter" ? separator : key == "DatOrdre" ? order : std::string();
  });
  const int style = input.ConsumeIntegralInRange<int>(-3, 4);
  const std::string parts = input.ConsumeRandomLengthString(6);
  const int32_t count = input.ConsumeIntegral<int32_t>();
  const char unit = input.ConsumeIntegral<char>();
  const std::string raw = input.ConsumeBytesAsString(4);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const Date parsed = quarnell::ParseDate(text);
  Check(parsed.size() == 4);
  const bool invalid = quarnell::ValidateDateText(text);
  if (!invalid) Check(parsed != quarnell::EmptyDate());

  for (const Date& date : {parsed, raw}) {
    const std::string shown = quarnell::FormatDate(date, style, parts);
    if (style == 0 || style == 1) {
      int64_t width = static_cast<int64_t>(parts.size()) - 1;
      const auto has = [&](char c) {
        return parts.find(c) != std::string::npos || parts.find(c + 32) != std::string::npos;
      };
      if (has('D')) width += 2;
      if (has('M')) width += style + 2;
      if (has('A')) width += 4;
      Check(static_cast<int64_t>(shown.size()) == (width < 0 ? 0 : width));
    }
    const std::string edit = quarnell::DateEditText(date);
    const Date added = quarnell::DateAdd(date, count, unit);
    const int32_t diff = quarnell::DateDiff(date, added, unit);
    const int weekday = quarnell::Weekday(date);
    (void)edit;
    (void)diff;
    if (date.size() != 4) continue;
    const int32_t number = quarnell::DateNumber(date);
    // The checks below hold for real dates in their packed form (not for stray bytes).
    if (!IsGregorian(number) || quarnell::MakeDate(number) != date) continue;
    Check(weekday >= 1 && weekday <= 7);
    Check(quarnell::DateAdd(date, 0, unit) == date);
    // Entry reads back what an entry field shows.
    Check(quarnell::DateNumber(quarnell::ParseDate(edit)) == number);
    Check(quarnell::DateDiff(date, added, 'D') >= 0);
    // In the Gregorian era adding days and counting them agree.
    const int32_t result = quarnell::DateNumber(quarnell::DateAdd(date, count, 'D'));
    if (number >= 15830101 && result >= 15830101 && result < 99991231) {
      Check(quarnell::DateDiff(date, quarnell::MakeDate(result), 'D') ==
            (count < 0 ? -static_cast<int64_t>(count) : count));
      Check(quarnell::Weekday(quarnell::MakeDate(result)) ==
            static_cast<int>(((weekday - 1 + static_cast<int64_t>(count)) % 7 + 7) % 7 + 1));
    }
  }
  quarnell::SetUserSettingReader({});
  return 0;
}
