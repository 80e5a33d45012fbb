// Edit masks, amounts and number texts with arbitrary masks, field formats and values (infinite, not a
// number and huge ones included): nothing may crash, and every formatted text has its mask's
// length.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "text/masks.h"
#include "text/user_settings.h"

namespace {

// Reports the broken invariant's line before stopping, so that a finding explains itself.
void Check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
  std::abort();
}

double PickValue(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return std::numeric_limits<double>::infinity();
    case 1:
      return -std::numeric_limits<double>::infinity();
    case 2:
      return std::nan("");
    case 3:
      return input.ConsumeBool() ? 1e300 : -1e300;
    case 4:
      return std::numeric_limits<double>::denorm_min();
    case 5:
      return static_cast<double>(input.ConsumeIntegral<int32_t>()) / 100;
    default:
      return input.ConsumeFloatingPoint<double>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string decimal = input.ConsumeRandomLengthString(2);
  const std::string thousands = input.ConsumeRandomLengthString(2);
  quarnell::SetUserSettingReader([&](std::string_view key) {
    return key == "DecCaracter" ? decimal : key == "MilCaracter" ? thousands : std::string();
  });
  const double value = PickValue(input);
  const std::string command = input.ConsumeRandomLengthString(4);
  const std::string format = input.ConsumeRandomLengthString(12);
  const std::string number = input.ConsumeRandomLengthString(40);
  const int decimals = input.ConsumeIntegralInRange<int>(-2, 20);
  const double minimum = PickValue(input);
  const double maximum = PickValue(input);
  const std::string mask = input.ConsumeRemainingBytesAsString().substr(0, 600);

  Check(quarnell::FormatMask(mask, value).size() == mask.size());
  quarnell::SetCurrency(command);
  Check(quarnell::FormatAmount(mask, value).size() == mask.size());
  if (!std::isfinite(value)) {
    Check(quarnell::FormatMask(mask, value) == std::string(mask.size(), '!'));
  }
  quarnell::FixedNumberText(value, format);
  quarnell::NumberText(value);
  quarnell::ZeroPad(input.ConsumeIntegral<int64_t>(), decimals);
  const int32_t rounded = quarnell::RoundHalfEven(value);
  if (std::isfinite(value) && std::fabs(value) < 2e9) {
    Check(std::fabs(static_cast<double>(rounded) - value) <= 0.5);
  }
  quarnell::CheckNumberSyntax(number, format);
  quarnell::ValidateNumber(number, minimum, maximum, decimals);
  quarnell::SetUserSettingReader({});
  return 0;
}
