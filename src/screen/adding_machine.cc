#include "screen/adding_machine.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>
#include <vector>

#include "screen/key_codes.h"

namespace quarnell {
namespace {

constexpr std::string_view kOperators = "+-*/%RC=";

double PowerOfTen(int exponent) { return std::pow(10.0, exponent); }

// The value rounded to 15 significant digits. Typed numbers and results never hold more, so this
// takes away the binary noise of a multiplication (1.234 x 1000 = 1233.9999999999998) before
// digits are cut or counted.
double Snap(double value) {
  if (!std::isfinite(value)) return value;
  char buffer[64];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                               kSignificantDigits);
  double snapped = value;
  std::from_chars(buffer, written.ptr, snapped);
  return snapped;
}

// The number of digits of the whole part of |value|; 0 below 1.
int IntegerDigits(double value) {
  const double whole = std::trunc(std::fabs(value));
  if (whole < 1) return 0;
  if (!std::isfinite(whole)) return 400;
  char buffer[400];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0);
  return static_cast<int>(written.ptr - buffer);
}

// The digits of a whole, finite, non-negative value, "0" for zero.
std::string WholeDigits(double whole) {
  char buffer[400];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0);
  return std::string(buffer, written.ptr);
}

// After a result: at most 15 significant digits, no trailing zero decimals; the decimals shown
// are those left.
void Normalise(CalculatorState& s) {
  if (!std::isfinite(s.value)) {
    s.point = false;
    s.decimals = 0;
    return;
  }
  int decimals = std::max(0, kSignificantDigits - IntegerDigits(s.value));
  double digits = std::nearbyint(std::fabs(s.value) * PowerOfTen(decimals));
  while (decimals > 0 && std::fmod(digits, 10.0) == 0) {
    digits /= 10;
    --decimals;
  }
  const double magnitude = digits / PowerOfTen(decimals);
  s.value = std::signbit(s.value) ? -magnitude : magnitude;
  s.decimals = decimals;
  s.point = decimals > 0;
}

void AppendTapeLine(CalculatorState& s, char op) {
  if (s.first_line > 2) --s.first_line;
  for (size_t i = 0; i + 1 < s.tape.size(); ++i) s.tape[i] = s.tape[i + 1];
  s.tape.back() = TapeLine{s.value, s.point, s.decimals, op};
}

void StartNumberIfNew(CalculatorState& s) {
  if (s.entering) return;
  s.value = 0;
  s.point = false;
  s.decimals = 0;
}

// A digit goes onto the magnitude, so that a number whose sign was changed while it was typed
// goes on growing away from zero: 12, T, 3 gives -123.
void TypeDigit(CalculatorState& s, int digit) {
  StartNumberIfNew(s);
  if (s.entering && IntegerDigits(s.value) + s.decimals >= kSignificantDigits) return;
  const double signed_digit = std::signbit(s.value) ? -digit : digit;
  if (!s.point) {
    s.value = s.value * 10 + signed_digit;
  } else {
    ++s.decimals;
    s.value = Snap(s.value + signed_digit / PowerOfTen(s.decimals));
  }
  s.entering = true;
}

void TypePoint(CalculatorState& s) {
  StartNumberIfNew(s);
  if (!s.point) {
    s.point = true;
    s.decimals = 0;
  }
  s.entering = true;
}

void Backspace(CalculatorState& s) {
  if (!s.point) {
    s.value = std::trunc(s.value / 10);
  } else if (--s.decimals < 0) {
    s.point = false;
    s.decimals = 0;
  } else {
    const double scale = PowerOfTen(s.decimals);
    s.value = std::trunc(Snap(s.value * scale)) / scale;
  }
  s.entering = s.entering && s.value != 0;
}

// Rounds to cents, half to even on the magnitude: -2.559 gives -2.56 as 2.559 gives 2.56.
void RoundToCents(CalculatorState& s) {
  const double scaled = Snap(std::fabs(s.value) * 100);
  double whole = std::trunc(scaled);
  const double fraction = scaled - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) == 1)) whole += 1;
  s.value = std::signbit(s.value) ? -whole / 100 : whole / 100;
  s.total = s.value;
  s.point = true;
  s.decimals = 2;
  AppendTapeLine(s, 'R');
}

void Percent(CalculatorState& s) {
  AppendTapeLine(s, '%');
  if (s.pending == '+' || s.pending == '-') {
    s.value = s.total / 100 * s.value;
  } else {
    s.value = s.value / 100;
  }
  Normalise(s);
}

// C: the entry while one is typed, else everything but the tape, else the tape.
CalculatorStep Clear(CalculatorState& s) {
  CalculatorStep step = CalculatorStep::kRedraw;
  if (s.entering) {
    s.entering = false;
    s.value = s.total;
    s.op = s.pending;
    // The total comes back with the decimals it has, not cut to a whole number.
    Normalise(s);
  } else if (!s.cleared) {
    s.value = 0;
    s.total = 0;
    s.point = false;
    s.decimals = 0;
    s.op = 0;
    s.cleared = true;
  } else {
    s.first_line = kTapeEmpty;
    s.tape.fill(TapeLine{});
    step = CalculatorStep::kReplace;
  }
  s.pending = s.op;
  return step;
}

void Apply(CalculatorState& s) {
  switch (s.pending) {
    case '+':
      s.total += s.value;
      break;
    case '-':
      s.total -= s.value;
      break;
    case '*':
      s.total *= s.value;
      break;
    case '/':
      s.total /= s.value;
      break;
    default:
      s.total = s.value;
      break;
  }
  AppendTapeLine(s, s.op);
  s.value = s.total;
  Normalise(s);
  s.entering = false;
  if (s.op == '=') {
    s.op = 0;
    AppendTapeLine(s, 0);
  }
  s.cleared = false;
  s.pending = s.op;
}

CalculatorStep OperatorStep(CalculatorState& s, char op) {
  s.op = op;
  switch (op) {
    case 'C':
      return Clear(s);
    case 'R':
      RoundToCents(s);
      break;
    case '%':
      Percent(s);
      break;
    default:
      Apply(s);
      break;
  }
  return CalculatorStep::kRedraw;
}

// What F gives, as a whole number: the value being typed, else the total, without its sign,
// times 10 to the power of its decimals (at least 2). Not finite for a value that is no number or
// too large to be written out.
double ResultHundredths(const CalculatorState& s) {
  const double given = s.entering ? s.value : s.total;
  return std::nearbyint(Snap(std::fabs(given) * PowerOfTen(std::max(s.decimals, 2))));
}

char UpperCase(int16_t key) {
  if (key >= 'a' && key <= 'z') return static_cast<char>(key - 'a' + 'A');
  return key > 0 && key < 128 ? static_cast<char>(key) : '\0';
}

}  // namespace

CalculatorStep PressCalculatorKey(CalculatorState& s, int16_t key) {
  switch (key) {
    case kKeyEsc:
      return CalculatorStep::kLeave;
    case kKeyAltF:
      key = 'F';
      break;
    case kKeyEnter:
      key = '=';
      break;
    case kKeyBackspace:
      Backspace(s);
      return CalculatorStep::kRedraw;
    case kKeyLeft:
    case kKeyCtrlLeft:
      s.x = s.x <= 1 ? kCalculatorLastColumn : s.x - 1;
      return CalculatorStep::kReplace;
    case kKeyRight:
    case kKeyCtrlRight:
      s.x = s.x >= kCalculatorLastColumn ? 1 : s.x + 1;
      return CalculatorStep::kReplace;
    default:
      break;
  }
  const char c = UpperCase(key);
  if (c >= '0' && c <= '9') {
    TypeDigit(s, c - '0');
  } else if (c == '.') {
    TypePoint(s);
  } else if (c == 'T') {
    s.value = -s.value;
  } else if (c == 'F') {
    return std::isfinite(ResultHundredths(s)) ? CalculatorStep::kFinish : CalculatorStep::kRefused;
  } else if (c == '=') {
    if (s.entering) return OperatorStep(s, '=');
  } else if (c != '\0' && kOperators.find(c) != std::string_view::npos) {
    return OperatorStep(s, c);
  }
  return CalculatorStep::kRedraw;
}

std::string CalculatorResult(const CalculatorState& s) {
  const int decimals = std::max(s.decimals, 2);
  std::string digits = WholeDigits(ResultHundredths(s));
  if (decimals == 2) return digits;
  // The hundredths keep a digit before their point: 0.001 gives "0.1".
  const size_t after_point = static_cast<size_t>(decimals - 2);
  if (digits.size() <= after_point) digits.insert(0, after_point + 1 - digits.size(), '0');
  digits.insert(digits.size() - after_point, 1, '.');
  return digits;
}

std::string ValueMask(bool point, int decimals) {
  std::string mask = "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9";
  if (point) mask += '.';
  mask.append(static_cast<size_t>(std::max(decimals, 0)), '9');
  return "-" + mask.substr(mask.size() - 21);
}

namespace {

std::string NumberField(double value) {
  char buffer[64];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

std::string Flag(bool on) { return on ? "-1" : "0"; }

std::string Quoted(char op) { return op == 0 ? "\"\"" : std::string("\"") + op + "\""; }

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

bool ParseDouble(std::string_view text, double* value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool ParseInt(std::string_view text, int low, int high, int* value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
         *value >= low && *value <= high;
}

bool ParseFlag(std::string_view text, bool* flag) {
  if (text != "-1" && text != "0") return false;
  *flag = text == "-1";
  return true;
}

bool ParseOperator(std::string_view text, char* op) {
  if (text.size() < 2 || text.size() > 3 || text.front() != '"' || text.back() != '"') return false;
  *op = text.size() == 3 ? text[1] : '\0';
  return *op == '\0' || kOperators.find(*op) != std::string_view::npos;
}

bool ParseTapeLine(std::string_view line, TapeLine* tape) {
  std::vector<std::string_view> f = Split(line, ',');
  return f.size() == 4 && ParseDouble(f[0], &tape->value) && ParseFlag(f[1], &tape->point) &&
         ParseInt(f[2], 0, kSignificantDigits, &tape->decimals) && ParseOperator(f[3], &tape->op);
}

}  // namespace

std::string EncodeCalculatorState(const CalculatorState& s) {
  std::string text = std::to_string(s.x) + "," + std::to_string(s.first_line) + "," +
                     NumberField(s.value) + "," + NumberField(s.total) + "\n";
  text += Flag(s.cleared) + "," + Flag(s.entering) + "," + Flag(s.point) + "," +
          std::to_string(s.decimals) + "\n";
  text += Quoted(s.op) + "," + Quoted(s.pending) + "\n";
  for (const TapeLine& line : s.tape) {
    text += NumberField(line.value) + "," + Flag(line.point) + "," + std::to_string(line.decimals) +
            "," + Quoted(line.op) + "\n";
  }
  return text;
}

std::optional<CalculatorState> DecodeCalculatorState(std::string_view text) {
  std::vector<std::string_view> lines = Split(text, '\n');
  for (std::string_view& line : lines) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() != 3 + kTapeLines) return std::nullopt;
  CalculatorState s;
  std::vector<std::string_view> f = Split(lines[0], ',');
  if (f.size() != 4 || !ParseInt(f[0], 1, kCalculatorLastColumn, &s.x) ||
      !ParseInt(f[1], 2, kTapeEmpty, &s.first_line) || !ParseDouble(f[2], &s.value) ||
      !ParseDouble(f[3], &s.total)) {
    return std::nullopt;
  }
  f = Split(lines[1], ',');
  if (f.size() != 4 || !ParseFlag(f[0], &s.cleared) || !ParseFlag(f[1], &s.entering) ||
      !ParseFlag(f[2], &s.point) || !ParseInt(f[3], 0, kSignificantDigits, &s.decimals)) {
    return std::nullopt;
  }
  f = Split(lines[2], ',');
  if (f.size() != 2 || !ParseOperator(f[0], &s.op) || !ParseOperator(f[1], &s.pending)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < s.tape.size(); ++i) {
    if (!ParseTapeLine(lines[3 + i], &s.tape[i])) return std::nullopt;
  }
  return s;
}

}  // namespace quarnell
