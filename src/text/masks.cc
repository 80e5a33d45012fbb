#include "text/masks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "text/user_settings.h"

namespace quarnell {
namespace {

// The peseta rate is held in single precision, as the amounts printed in pesetas always were.
constexpr double kPesetaFactor = static_cast<double>(166.386f);

// Field widths beyond this make no sense for a field and would only exhaust memory.
constexpr int64_t kMaxFormatNumber = 999;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

struct Separators {
  int generation = -1;
  char decimal = '\'';
  char thousands = '.';
};

const Separators& LoadSeparators() {
  static Separators separators;
  if (separators.generation == UserSettingsGeneration()) return separators;
  separators.generation = UserSettingsGeneration();
  const std::string decimal = ReadUserSetting("DecCaracter");
  const std::string thousands = ReadUserSetting("MilCaracter");
  separators.decimal = decimal.empty() || decimal[0] == ' ' ? '\'' : decimal[0];
  separators.thousands = thousands.empty() || thousands[0] == ' ' ? '.' : thousands[0];
  return separators;
}

// The decimal digits of a whole, non-negative double without leading zeros ("" for zero). The
// text is exact: every double has a finite decimal expansion, so nothing is cast to an integer.
std::string WholeDigits(double whole) {
  if (whole == 0) return std::string();
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), whole, std::chars_format::fixed, 0);
  return std::string(buffer, result.ptr);
}

// The digits of `magnitude` (finite, not negative) times 10^decimals, rounded half to even on the
// scaled value. When the scaled value lies beyond the double range the exact decimal expansion of
// the magnitude is used instead, which is what the scaling would give with unlimited range.
std::string ScaledDigits(double magnitude, int64_t decimals) {
  if (magnitude == 0) return std::string();
  const double scaled = magnitude * std::pow(10.0, static_cast<double>(decimals));
  if (std::isfinite(scaled)) {
    double whole = std::trunc(scaled);
    const double fraction = scaled - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    return WholeDigits(whole);
  }
  std::string buffer(static_cast<size_t>(decimals) + 400, '\0');
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                    std::chars_format::fixed, static_cast<int>(decimals));
  std::string digits;
  for (const char* p = buffer.data(); p != result.ptr; ++p) {
    if (*p == '.' || (*p == '0' && digits.empty())) continue;
    digits.push_back(*p);
  }
  return digits;
}

// The shortest decimal digits that read back as `magnitude`, and how many of them are decimals.
void ShortestDigits(double magnitude, std::string* digits, int64_t* decimals) {
  digits->clear();
  *decimals = 0;
  if (magnitude == 0) return;
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), magnitude, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = text.find('e');
  for (const char c : text.substr(0, e)) {
    if (c != '.') digits->push_back(c);
  }
  int exponent = 0;
  std::string_view exponent_text = text.substr(e + 1);
  if (!exponent_text.empty() && exponent_text[0] == '+') exponent_text.remove_prefix(1);
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
  const int64_t shift = static_cast<int64_t>(exponent) - static_cast<int64_t>(digits->size() - 1);
  if (shift >= 0) {
    digits->append(static_cast<size_t>(shift), '0');
  } else {
    *decimals = -shift;
  }
}

bool IsDigitPlace(char c) { return c == '9' || c == 'Z' || c == 'z' || c == '*'; }
bool IsDecimalAreaChar(char c) { return IsDigitPlace(c) || c == '-' || c == '+'; }

// The text shown when a value does not fit its mask: the plain number (sign, digits, decimal
// character) right-justified, or all "!" when even that is longer than the mask. Cutting the plain
// number to the mask's width would print a different number (257698037,6 for 257698037,64), so a
// number is shown whole or not at all.
std::string OverflowText(size_t length, std::string digits, int64_t decimals, bool negative,
                         char decimal_char) {
  const size_t n = static_cast<size_t>(decimals);
  if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
  std::string text = negative ? "-" : "";
  text += digits.substr(0, digits.size() - n);
  if (n >= 1) {
    text.push_back(decimal_char);
    text += digits.substr(digits.size() - n);
  }
  if (text.size() > length) return std::string(length, '!');
  return std::string(length - text.size(), ' ') + text;
}

CurrencyState& MutableCurrency() {
  static CurrencyState state;
  return state;
}

// Numeric value of a text that passed CheckNumberSyntax: blanks ignored, an optional sign, digits
// with at most one point; an empty number is 0. Too many digits give infinity, never overflow.
double NumberValue(std::string_view text) {
  std::string cleaned;
  bool negative = false;
  for (const char c : text) {
    if (c == ' ') continue;
    if (c == '-' || c == '+') {
      negative = c == '-';
      continue;
    }
    cleaned.push_back(c);
  }
  double value = 0;
  const auto result = std::from_chars(cleaned.data(), cleaned.data() + cleaned.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range either way: a non-zero digit before the point means too large, else too small.
    value = 0;
    for (const char c : cleaned) {
      if (c == '.') break;
      if (c >= '1' && c <= '9') {
        value = std::numeric_limits<double>::infinity();
        break;
      }
    }
  } else if (result.ec != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

}  // namespace

int32_t RoundHalfEven(long double value) {
  if (!std::isfinite(value)) return 0;
  long double whole = std::trunc(value);
  const long double fraction = std::fabs(value - whole);
  if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0)) {
    whole += value < 0 ? -1.0L : 1.0L;
  }
  if (whole > static_cast<long double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (whole < static_cast<long double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(whole);
}

std::string FormatMask(std::string_view mask, double value) {
  const Separators& separators = LoadSeparators();
  const char decimal_char = separators.decimal;
  const char thousands_char = separators.thousands;
  const int64_t length = static_cast<int64_t>(mask.size());
  // An infinite or undefined value (a division by zero upstream) can never fit.
  if (!std::isfinite(value)) return std::string(mask.size(), '!');

  // Analyse the mask.
  const bool has_sign = mask.find_first_of("-+") != std::string_view::npos;
  const size_t point = mask.find('.');
  int64_t tail = 0;
  int64_t decimals = 0;
  if (point != std::string_view::npos) {
    for (size_t i = point + 1; i < mask.size(); ++i) {
      if (IsDecimalAreaChar(mask[i])) ++tail;
    }
    if (tail > 0) {
      for (size_t i = point + 1; i < mask.size() && IsDigitPlace(mask[i]); ++i) ++decimals;
    }
  }

  // Scale, round and take the digits; the sign is judged on the unrounded value.
  const std::string digits = ScaledDigits(std::fabs(value), decimals);
  const int64_t count = static_cast<int64_t>(digits.size());
  const bool negative = value < 0;
  // zero_from[k]: the digits from the k-th (1-based) to the last are all zeros.
  std::vector<bool> zero_from(static_cast<size_t>(count) + 2, true);
  for (int64_t k = count; k >= 1; --k) {
    zero_from[k] = zero_from[k + 1] && digits[k - 1] == '0';
  }

  // The fill state: the character that fills positions left of the digits, and whether the last
  // digit position was left empty (a point next to it then takes the fill instead of showing).
  char fill = 0;
  bool marked = false;

  // Right-to-left fill of the digits. Positions are 1-based as in the mask's description.
  std::string out(mask);
  int64_t k = count + tail - decimals;
  int64_t i = length;
  for (; i >= 1 && k >= 1; --i) {
    char& r = out[i - 1];
    const bool beyond = k > count;
    switch (r) {
      case '9':
        r = beyond ? '0' : digits[k - 1];
        fill = 0;
        marked = false;
        --k;
        break;
      case 'Z':
      case 'z':
        if (i < length - tail) {
          r = beyond ? ' ' : digits[k - 1];
          fill = ' ';
          marked = beyond;
        } else if (zero_from[beyond ? count + 1 : k]) {
          r = ' ';
          fill = ' ';
          marked = true;
        } else {
          r = digits[k - 1];
          fill = ' ';
          marked = false;
        }
        --k;
        break;
      case '*':
        r = beyond ? '*' : digits[k - 1];
        fill = '*';
        marked = beyond;
        --k;
        break;
      case '.':
        r = marked ? fill : decimal_char;
        tail = 0;
        break;
      case ',':
        r = thousands_char;
        break;
      case '-':
        if (!negative) r = ' ';
        if (tail != 0) --k;
        break;
      case '+':
        r = negative ? '-' : '+';
        if (tail != 0) --k;
        break;
      default:
        break;
    }
  }

  if (k >= 1 || (negative && !has_sign && i == 0)) {
    return OverflowText(mask.size(), digits, decimals, negative, decimal_char);
  }

  // Positions left of the last digit placed; a minus without a sign position floats into the
  // first one that can take it.
  bool minus_pending = negative && !has_sign;
  for (; i >= 1; --i) {
    char& r = out[i - 1];
    switch (r) {
      case '9':
        if (minus_pending && i < length - tail) {
          r = '-';
          minus_pending = false;
        } else {
          r = '0';
        }
        fill = 0;
        marked = false;
        break;
      case 'Z':
      case 'z':
        if (minus_pending) {
          r = '-';
          minus_pending = false;
        } else if (i < length - tail || value == 0) {
          r = ' ';
          fill = ' ';
          marked = true;
        } else {
          r = '0';
          fill = ' ';
          marked = false;
        }
        break;
      case '*':
        if (minus_pending) {
          r = '-';
          minus_pending = false;
        } else {
          r = i < length - tail ? '*' : '0';
          fill = '*';
          marked = false;
        }
        break;
      case ',':
        if (minus_pending) {
          r = '-';
          minus_pending = false;
        } else {
          r = fill != 0 ? fill : thousands_char;
        }
        break;
      case '.':
        r = marked ? fill : decimal_char;
        break;
      case '-':
        if (!negative) r = ' ';
        break;
      case '+':
        r = negative ? '-' : '+';
        break;
      default:
        break;
    }
  }
  // A non-zero negative value whose minus found no place would read as positive: it does not fit.
  if (minus_pending && count > 0) {
    return OverflowText(mask.size(), digits, decimals, negative, decimal_char);
  }
  return out;
}

std::string FormatAmount(std::string_view mask, double hundredths) {
  const size_t length = mask.size();
  char fill = 'Z';
  bool zero_digit = hundredths != 0;
  bool group = false;
  char sign = 0;
  bool leading_sign = false;
  int64_t dp = 0;
  for (size_t i = 0; i < length; ++i) {
    switch (mask[i]) {
      case '.':
        ++dp;
        break;
      case '9':
        if (dp != 0) {
          ++dp;
        } else {
          zero_digit = true;
        }
        break;
      case '-':
      case '+':
        sign = mask[i];
        leading_sign = i == 0;
        break;
      case ',':
        group = true;
        break;
      case 'Z':
        fill = 'Z';
        break;
      case '*':
        fill = '*';
        break;
      default:
        break;
    }
  }
  const auto keep_last = [length](std::string text) {
    return text.size() > length ? text.substr(text.size() - length) : text;
  };
  std::string rebuilt(length, fill);
  if (zero_digit) rebuilt = keep_last(rebuilt + "9");
  if (group) {
    for (int64_t b = static_cast<int64_t>(length) - 3; b >= 1; b -= 4) {
      const size_t at = static_cast<size_t>(b);
      rebuilt = keep_last(rebuilt.substr(0, at) + "," + rebuilt.substr(at));
    }
  }
  double value;
  if (Currency().output == "P") {
    value = hundredths / 100 * kPesetaFactor;
  } else {
    value = hundredths / 100;
    dp += dp == 0 ? 3 : 2;
  }
  if (dp != 0) {
    // Only the last `length` characters survive, so more decimals than that are never needed.
    const size_t places = static_cast<size_t>(std::min<int64_t>(dp - 1, length + 1));
    rebuilt = keep_last(rebuilt + "." + std::string(places, zero_digit ? '9' : 'Z'));
  }
  if (sign != 0) {
    if (leading_sign) {
      if (!rebuilt.empty()) rebuilt[0] = sign;
    } else {
      rebuilt = keep_last(rebuilt + sign);
    }
  }
  return FormatMask(rebuilt, value);
}

std::string PlainAmount(double hundredths) {
  // Room for any amount a 32-bit record field or a sum of them holds; no "," asks for no groups.
  const std::string text = FormatAmount("-ZZZZZZZZZZZZZZZZZZZZ9", hundredths);
  const char decimal_char = LoadSeparators().decimal;
  std::string plain;
  for (char c : text) {
    if (c == ' ') continue;
    plain.push_back(c == decimal_char ? '.' : c);
  }
  return plain;
}

void SetCurrency(std::string_view command) {
  CurrencyState& currency = MutableCurrency();
  const char first = command.empty() ? '\0' : Upper(command[0]);
  const size_t comma = command.find(',');
  if (comma != std::string_view::npos) {
    const std::string_view rest = TrimBlanks(command.substr(comma + 1));
    const std::string code = rest.empty() ? std::string() : std::string(1, Upper(rest[0]));
    if (first == 'A') {
      currency.main = code;
      currency.output = currency.main;
    } else {
      currency.secondary = code;
    }
  } else if (first == 'P') {
    currency.output = currency.secondary.empty() ? currency.main : currency.secondary;
  } else {
    currency.output = currency.main;
  }
}

const CurrencyState& Currency() { return MutableCurrency(); }

std::string NumberText(double value) { return FixedNumberText(value, ""); }

std::string FixedNumberText(double value, std::string_view format) {
  int64_t width = 0;
  int64_t decimals = 0;
  bool point = false;
  bool implied_point = false, zero_integer = false, plus_sign = false, n_sign = false,
       m_sign = false;
  for (const char c : format) {
    if (c >= '0' && c <= '9') {
      int64_t& target = point ? decimals : width;
      target = std::min(target * 10 + (c - '0'), kMaxFormatNumber);
      continue;
    }
    switch (Upper(c)) {
      case '.':
        point = true;
        break;
      case 'V':
        implied_point = true;
        break;
      case 'Z':
        zero_integer = true;
        break;
      case 'S':
        plus_sign = true;
        break;
      case 'N':
        n_sign = true;
        break;
      case 'M':
        m_sign = true;
        break;
      default:
        break;
    }
  }
  // A field cannot hold an infinite or undefined value; it is written as zero, as amounts are.
  if (!std::isfinite(value)) value = 0;

  std::string digits;
  if (width > 0 || point) {
    digits = ScaledDigits(std::fabs(value), decimals);
  } else {
    ShortestDigits(std::fabs(value), &digits, &decimals);
  }
  const size_t n = static_cast<size_t>(decimals);
  if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
  std::string integer = digits.substr(0, digits.size() - n);
  const std::string decimal_part = digits.substr(digits.size() - n);
  std::string decimal_text;
  if (!decimal_part.empty()) decimal_text = implied_point ? decimal_part : "." + decimal_part;
  // assign(1, c) rather than = "0": GCC 12 at -O3 warns falsely about the latter.
  if (zero_integer && integer.empty()) integer.assign(1, '0');
  const size_t w = static_cast<size_t>(width);
  if (w > 0) {
    integer = integer.size() < w ? std::string(w - integer.size(), '0') + integer
                                 : integer.substr(integer.size() - w);
  }
  char sign = 0;
  if (plus_sign && value >= 0) {
    sign = '+';
  } else if (n_sign && value < 0) {
    sign = 'N';
  } else if (m_sign) {
    sign = value < 0 ? 'N' : ' ';
  } else if (value < 0) {
    sign = '-';
  }
  if (sign != 0) {
    if (w > 0) {
      integer[0] = sign;
    } else {
      integer.insert(integer.begin(), sign);
    }
  }
  return integer + decimal_text;
}

std::string ZeroPad(int64_t value, int width) {
  if (width <= 0) return std::string();
  const uint64_t magnitude =
      value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string text = std::string(static_cast<size_t>(width), '0') + std::to_string(magnitude);
  return text.substr(text.size() - static_cast<size_t>(width));
}

bool CheckNumberSyntax(std::string_view text, std::string_view allowed) {
  bool point_seen = allowed.find('.') == std::string_view::npos;
  bool sign_closed = allowed.find_first_of("-+") == std::string_view::npos;
  bool error = false;
  for (const char c : text) {
    if (c == '+' || c == '-') {
      if (sign_closed) error = true;
      sign_closed = true;
    } else if (c == '.') {
      if (point_seen) error = true;
      point_seen = true;
      sign_closed = true;
    } else if (c >= '0' && c <= '9') {
      sign_closed = true;
    } else if (c != ' ') {
      error = true;
    }
  }
  return error;
}

bool ValidateNumber(std::string_view text, double minimum, double maximum, int decimals) {
  if (maximum < minimum || decimals < 0 || decimals > 16) return true;
  std::string allowed;
  if (decimals > 0) allowed += '.';
  if (minimum < 0) allowed += '-';
  if (CheckNumberSyntax(text, allowed)) return true;
  const double scale = std::pow(10.0, decimals);
  const double v = std::floor(scale * NumberValue(text) + 0.5);
  return v < std::floor(scale * minimum) || v > std::floor(scale * maximum + 0.5);
}

bool ValidateDottedCode(std::string_view text) {
  if (TrimBlanks(text).empty()) return false;
  size_t dots = 0;
  for (const char c : text) dots += c == '.' ? 1 : 0;
  if (dots > text.size() / 7) return true;
  bool error = false;
  const double first_limit = (text.size() - 1) % 5 == 0 ? 999999 : 9999;
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t end = text.find('.', start);
    const std::string_view piece =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    error = ValidateNumber(piece, 1, first ? first_limit : 9999, 0) || error;
    first = false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return error;
}

}  // namespace quarnell
