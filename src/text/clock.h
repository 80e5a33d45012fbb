// The one seam for time: the system date, sleeping and the pseudo-random numbers of the waiting
// loops. Tests install a fake so that nothing sleeps for real and dates are fixed.
#ifndef QUARNELL_TEXT_CLOCK_H_
#define QUARNELL_TEXT_CLOCK_H_

#include <cstdint>

namespace quarnell {

class Clock {
 public:
  virtual ~Clock() = default;
  // Today's date as the number year * 10000 + month * 100 + day.
  virtual int32_t Today() = 0;
  // Seconds since midnight, local time.
  virtual int32_t SecondsOfDay() = 0;
  virtual void SleepMilliseconds(int32_t milliseconds) = 0;
  // A fresh pseudo-random number in [0, 1).
  virtual double Random() = 0;
};

// The clock in force: the system clock unless a test installed another.
Clock& CurrentClock();

// Installs `clock` (not owned; must outlive its use); nullptr puts the system clock back.
void SetClock(Clock* clock);

}  // namespace quarnell

#endif  // QUARNELL_TEXT_CLOCK_H_
