// The depreciation of one asset for the year of the statement: the yearly quota by method, with a
// day-based share of the first and the last year, walked year by year from the asset's start.
#ifndef QUARNELL_APP_DEPRECIATION_H_
#define QUARNELL_APP_DEPRECIATION_H_

#include <cstdint>

#include "text/dates.h"

namespace quarnell {

// The share, in whole hundredths, of the asset's depreciation that falls in the year of `until`
// from 1 January (or from `start` in the asset's first year) to `until`. Methods: 'C' constant
// (quota = rate x cost), 'D' declining balance (rate x what remains, never below cost / life),
// 'S' sum of the years' digits; `rate` is in ten-thousandths (300 = 3 %). Earlier years only
// count towards what is already depreciated, and nothing is depreciated beyond the cost.
// An asset that starts after `until` has depreciated nothing yet and gives 0, as does any other
// method.
double Depreciation(char method, int16_t life, int32_t cost, int16_t rate, const Date& start,
                    const Date& until);

}  // namespace quarnell

#endif  // QUARNELL_APP_DEPRECIATION_H_
