#include "app/depreciation.h"

#include <cstdint>
#include <string>

#include "text/masks.h"

namespace quarnell {
namespace {

// The packed date of the packed day `month_day` in the year of `date`.
Date SameYear(const Date& date, const std::string& month_day) {
  Date day = date.substr(0, 2);
  return day.append(month_day);
}

}  // namespace

double Depreciation(char method, int16_t life, int32_t cost, int16_t rate, const Date& start,
                    const Date& until) {
  // The day difference is absolute: without this an asset not yet in service would be
  // depreciated for the days until it starts.
  if (start > until) return 0;

  // 64 bits for what is already depreciated: cost - acc must not overflow on odd records.
  int64_t acc = 0;
  int32_t years_done = 0;
  int64_t quota = 0;
  Date d = start;
  const long double yearly_rate = static_cast<long double>(rate) / 10000;
  int64_t digits_sum = 0;
  for (int32_t i = 1; i <= life; ++i) digits_sum += i;

  static const std::string kFirstDay = PackDigits("0101");
  static const std::string kLastDay = PackDigits("1231");
  for (;;) {
    switch (method) {
      case 'C':
        quota = RoundHalfEven(yearly_rate * cost);
        break;
      case 'D': {
        quota = RoundHalfEven(yearly_rate * static_cast<long double>(cost - acc));
        // A life of 0 makes the floor an infinite quotient, which rounds to 0: no floor.
        const int32_t straight_line =
            RoundHalfEven(static_cast<long double>(cost) / static_cast<long double>(life));
        if (straight_line > quota) quota = straight_line;
        break;
      }
      case 'S':
        quota = digits_sum == 0 ? 0
                                : RoundHalfEven(static_cast<long double>(life - years_done) /
                                                static_cast<long double>(digits_sum) * cost);
        break;
      default:
        break;  // quota keeps its value: 0 from the start
    }
    if (cost - acc < quota) quota = cost - acc;

    Date year_end = SameYear(d, kLastDay);
    const int32_t year_days = DateDiff(SameYear(d, kFirstDay), year_end, 'D');
    if (year_end > until) year_end = until;

    const int32_t share = RoundHalfEven(static_cast<long double>(DateDiff(d, year_end, 'D')) /
                                        year_days * static_cast<long double>(quota));
    if (quota == 0 || year_end == until) return share;

    acc += share;
    ++years_done;
    d = SameYear(DateAdd(d, 1, 'A'), kFirstDay);
  }
}

}  // namespace quarnell
