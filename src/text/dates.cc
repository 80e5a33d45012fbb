#include "text/dates.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {
namespace {

bool IsBlank(char c) { return c == ' '; }

int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

}  // namespace

const Date& EmptyDate() {
  static const Date kEmpty(4, static_cast<char>(128));
  return kEmpty;
}

std::string PackDigits(std::string_view digits) {
  const size_t n = digits.size();
  size_t first = 0;
  size_t last = n;
  while (first < last && IsBlank(digits[first])) ++first;
  while (last > first && IsBlank(digits[last - 1])) --last;
  // Right-align the trimmed digits in the original width; blanks left inside read as zeros.
  std::string aligned(n - (last - first), '0');
  aligned.append(digits.substr(first, last - first));
  std::string packed;
  packed.reserve((n + 1) / 2);
  for (size_t i = 0; i + 1 <= n; i += 2) {
    const int high = DigitValue(aligned[i]);
    const int low = i + 1 < n ? DigitValue(aligned[i + 1]) : 0;
    packed.push_back(static_cast<char>(128 + 10 * high + low));
  }
  return packed;
}

std::string UnpackDigits(std::string_view packed) {
  std::string digits;
  digits.reserve(packed.size() * 2);
  for (const char c : packed) {
    const int value = (static_cast<unsigned char>(c) & 127) % 100;
    digits.push_back(static_cast<char>('0' + value / 10));
    digits.push_back(static_cast<char>('0' + value % 10));
  }
  return digits;
}

Date MakeDate(int32_t yyyymmdd) {
  // The last eight digits of the magnitude, as ZeroPad would give them.
  int64_t magnitude = yyyymmdd < 0 ? -static_cast<int64_t>(yyyymmdd) : yyyymmdd;
  std::string digits(8, '0');
  for (int i = 7; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  return PackDigits(digits);
}

int32_t DateNumber(const Date& date) {
  // The last four bytes are century, year, month and day; shorter texts lack the leading ones.
  int32_t number = 0;
  const size_t start = date.size() > 4 ? date.size() - 4 : 0;
  for (size_t i = start; i < date.size(); ++i) {
    number = number * 100 + (static_cast<unsigned char>(date[i]) & 127) % 100;
  }
  return number;
}

}  // namespace quarnell
