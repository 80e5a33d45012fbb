#include "text/clock.h"

#include <chrono>
#include <ctime>
#include <random>
#include <thread>

namespace quarnell {
namespace {

class SystemClock : public Clock {
 public:
  int32_t Today() override {
    std::tm local = Now();
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
  }
  int32_t SecondsOfDay() override {
    std::tm local = Now();
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  }
  void SleepMilliseconds(int32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  double Random() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

 private:
  static std::tm Now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
  std::mt19937_64 engine_{std::random_device{}()};
};

SystemClock system_clock;
Clock* installed = nullptr;

}  // namespace

Clock& CurrentClock() { return installed != nullptr ? *installed : system_clock; }

void SetClock(Clock* clock) { installed = clock; }

}  // namespace quarnell
