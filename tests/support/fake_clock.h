// A clock for tests: a fixed date, sleeps that only add up, random numbers from a list.
#ifndef QUARNELL_TESTS_SUPPORT_FAKE_CLOCK_H_
#define QUARNELL_TESTS_SUPPORT_FAKE_CLOCK_H_

#include <cstdint>
#include <vector>

#include "text/clock.h"

namespace quarnell::testing {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int32_t today = 20260115) : today_(today) { SetClock(this); }
  ~FakeClock() override { SetClock(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  int32_t Today() override { return today_; }
  int32_t SecondsOfDay() override { return seconds_of_day_; }
  void SleepMilliseconds(int32_t milliseconds) override {
    slept_ += milliseconds;
    sleeps_.push_back(milliseconds);
  }
  double Random() override {
    if (randoms_.empty()) return 0.5;
    double r = randoms_[next_random_ % randoms_.size()];
    ++next_random_;
    return r;
  }

  void set_today(int32_t today) { today_ = today; }
  void set_seconds_of_day(int32_t seconds) { seconds_of_day_ = seconds; }
  void set_randoms(std::vector<double> randoms) { randoms_ = std::move(randoms); }
  int64_t slept() const { return slept_; }
  const std::vector<int32_t>& sleeps() const { return sleeps_; }

 private:
  int32_t today_;
  int32_t seconds_of_day_ = 12 * 3600;
  int64_t slept_ = 0;
  std::vector<int32_t> sleeps_;
  std::vector<double> randoms_;
  size_t next_random_ = 0;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_SUPPORT_FAKE_CLOCK_H_
