#include "text/dates.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/clock.h"
#include "text/cp850.h"
#include "text/language.h"
#include "text/masks.h"
#include "text/user_settings.h"

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

// ---------------------------------------------------------------------------------------------
// Calendar rules.

namespace {

constexpr int32_t kGregorianStart = 15821015;
// The first of the ten days the Gregorian reform dropped: dates from here on follow the new rules
// in the operations that choose their rule by date.
constexpr int32_t kReformDay = 15821005;
// A field value that does not fit a 16-bit integer makes the typed date unreadable.
constexpr int32_t kMaxField = 32767;

struct Ymd {
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
};

bool IsLeap(int64_t year, bool julian) {
  if (julian) return year % 4 == 0;
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Month lengths by the arithmetic rule, which also gives a length for months outside 1..12 (stored
// dates are not checked, and the arithmetic must not misbehave on them).
int64_t MonthLength(int64_t month, int64_t year, bool julian) {
  const int64_t cycle = ((month + 1) % 9 + 9) % 9;
  int64_t length = 30 + (1 + cycle) % 2;
  if (month == 2) length -= IsLeap(year, julian) ? 1 : 2;
  return length;
}

int CurrentYear() { return CurrentClock().Today() / 10000; }

Ymd Split(const Date& date) {
  const int32_t number = DateNumber(date);
  return Ymd{number / 10000, number / 100 % 100, number % 100};
}

std::string Digits(int64_t value, int width) { return ZeroPad(value, width); }

// The fields of a typed date, as steps 1 and 2 of date entry read them.
struct TypedDate {
  int32_t day = 0;
  int32_t month = 0;
  int32_t year = 0;
  bool short_year = false;
};

// Value of a field: its digits, blanks ignored; false when it does not fit a 16-bit integer.
bool FieldValue(std::string_view field, int32_t* value) {
  int32_t result = 0;
  for (const char c : field) {
    if (c == ' ') continue;
    result = result * 10 + (c - '0');
    if (result > kMaxField) return false;
  }
  *value = result;
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// false when the text is unreadable.
bool ReadTypedDate(std::string_view text, TypedDate* out) {
  std::string_view fields[3];
  int separators = 0;
  size_t field_start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= '0' && c <= '9') || c == ' ') continue;
    if (c != '.' && c != '/' && c != '-') return false;
    if (separators == 2) return false;
    fields[separators++] = text.substr(field_start, i - field_start);
    field_start = i + 1;
  }
  std::string_view year_text;
  if (separators == 0) {
    fields[0] = text.substr(0, 2);
    fields[1] = text.size() > 2 ? text.substr(2, 2) : std::string_view();
    year_text = text.size() > 4 ? text.substr(4) : std::string_view();
  } else if (separators == 2) {
    year_text = text.substr(field_start);
  } else {
    return false;
  }
  TypedDate typed;
  if (!FieldValue(fields[0], &typed.day) || !FieldValue(fields[1], &typed.month) ||
      !FieldValue(year_text, &typed.year)) {
    return false;
  }
  typed.short_year = TrimBlanks(year_text).size() <= 3;
  *out = typed;
  return true;
}

// Lengths of the months of a year by the rule of its time (Julian before 1582).
int64_t YearLength(int64_t year) { return IsLeap(year, year < 1582) ? 366 : 365; }

int64_t DaysBetween(const Ymd& early, const Ymd& late) {
  int64_t days = 0;
  for (int64_t year = early.year + 1; year < late.year; ++year) days += YearLength(year);
  const bool julian_early = early.year < 1582;
  if (early.year < late.year) {
    for (int64_t m = early.month; m <= 12; ++m) days += MonthLength(m, early.year, julian_early);
    const bool julian_late = late.year < 1582;
    for (int64_t m = 1; m < late.month; ++m) days += MonthLength(m, late.year, julian_late);
  } else {
    for (int64_t m = early.month; m < late.month; ++m) {
      days += MonthLength(m, early.year, julian_early);
    }
  }
  return days - early.day + late.day;
}

// ---------------------------------------------------------------------------------------------
// Display tables and settings.

struct LanguageWords {
  std::string_view months[12];
  std::string_view before_consonant;
  std::string_view before_vowel;
  std::string_view before_other;
};

const LanguageWords& WordsOf(Language language) {
  static const std::array<LanguageWords, 4> kWords = {{
      {{"gener", "febrer", "març"_cp850, "abril", "maig", "juny", "juliol", "agost", "setembre",
        "octubre", "novembre", "desembre"},
       " de ",
       " d'",
       " del "},
      {{"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto", "septiembre",
        "octubre", "noviembre", "diciembre"},
       " de ",
       " de ",
       " de "},
      {{"janeiro", "fevereiro", "março"_cp850, "abril", "maio", "junho", "julho", "agosto",
        "setembro", "outubro", "novembro", "dezembro"},
       " de ",
       " de ",
       " do "},
      {{"gèr"_cp850, "hereuèr"_cp850, "març"_cp850, "abriu", "mai", "junh", "junhsega", "agost",
        "seteme", "octobre", "noveme", "deseme"},
       " de ",
       " d'",
       " deth "},
  }};
  return ForLanguage(language, kWords);
}

struct DateSettings {
  int generation = -1;
  char separator = '/';
  std::string order = "DMA";
};

const DateSettings& LoadDateSettings() {
  static DateSettings settings;
  if (settings.generation == UserSettingsGeneration()) return settings;
  settings.generation = UserSettingsGeneration();
  const std::string separator = ReadUserSetting("DatCaracter");
  settings.separator = separator.empty() || separator[0] == ' ' ? '/' : separator[0];
  const std::string order_setting = ReadUserSetting("DatOrdre");
  const std::string_view order = TrimBlanks(order_setting);
  settings.order = order.empty() ? std::string("DMA") : std::string(order.substr(0, 3));
  return settings;
}

bool HasLetter(std::string_view parts, char upper) {
  for (const char c : parts) {
    if (c == upper || c == upper + ('a' - 'A')) return true;
  }
  return false;
}

bool StartsWithVowel(std::string_view name) {
  if (name.empty()) return false;
  const char c = name[0] >= 'a' && name[0] <= 'z' ? static_cast<char>(name[0] - 32) : name[0];
  return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
}

// The number text of a value without leading zeros ("0" for zero).
std::string PlainNumber(int64_t value) { return std::to_string(value); }

}  // namespace

namespace {

// The year of a typed date as date entry completes it: a short year gets the century that puts it
// nearest the current year.
int64_t EntryYear(const TypedDate& typed) {
  int64_t year = typed.year;
  if (typed.day > 0 && typed.month > 0 && typed.short_year) {
    const int64_t current_year = CurrentYear();
    year += 100 * (current_year / 100);
    if (year - current_year > 49) {
      year -= 100;
    } else if (current_year - year > 50) {
      year += 100;
    }
  }
  return year;
}

}  // namespace

Date ParseDate(std::string_view text) {
  TypedDate typed;
  if (!ReadTypedDate(text, &typed)) return EmptyDate();
  return PackDigits(Digits(EntryYear(typed), 4) + Digits(typed.month, 2) + Digits(typed.day, 2));
}

bool TypedDateYear(std::string_view text, int64_t* year, bool* short_year) {
  TypedDate typed;
  if (!ReadTypedDate(text, &typed)) return false;
  *year = EntryYear(typed);
  *short_year = typed.short_year;
  return true;
}

bool ValidateDateText(std::string_view text) {
  TypedDate typed;
  if (!ReadTypedDate(text, &typed)) return true;
  int64_t year = typed.year;
  if (year < 100 && typed.short_year) {
    const int64_t current_year = CurrentYear();
    year += 100 * (current_year / 100);
    const int64_t distance = year - current_year;
    if (distance > 50) {
      year -= 100;
    } else if (distance < -50) {
      year += 100;
    }
  }
  const int64_t number = year * 10000 + typed.month * 100 + typed.day;
  if (number > 15821004 && number < kGregorianStart) return true;
  if (typed.month < 1 || typed.month > 12 || typed.day < 1) return true;
  return typed.day > MonthLength(typed.month, year, /*julian=*/false);
}

std::string DateEditText(const Date& date) {
  // Day and month are the last two bytes, the year the (up to two) bytes before them.
  const size_t size = date.size();
  const auto byte_value = [&](size_t from_end) -> int64_t {
    if (from_end >= size) return 0;
    return (static_cast<unsigned char>(date[size - 1 - from_end]) & 127) % 100;
  };
  const int64_t day = byte_value(0);
  const int64_t month = byte_value(1);
  const int64_t year = byte_value(3) * 100 + byte_value(2);
  if (day == 0 && month == 0) return std::string();
  const int64_t current_year = CurrentYear();
  const bool near = year >= current_year - 50 && year <= current_year + 49;
  return Digits(day, 2) + Digits(month, 2) + (near ? Digits(year % 100, 2) : Digits(year, 4));
}

std::string FormatDate(const Date& date, int style, std::string_view parts) {
  const DateSettings& settings = LoadDateSettings();
  const std::string digits = UnpackDigits(date) + std::string(8, '0');
  const std::string year_text = digits.substr(0, 4);
  if (style == -1) {
    return year_text + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
  }
  // Styles below -1 have no caller; they read as the numeric style.
  if (style < -1) style = 0;
  const int month = (digits[4] - '0') * 10 + (digits[5] - '0');
  const int day = (digits[6] - '0') * 10 + (digits[7] - '0');
  const std::string month_text = PlainNumber(month);
  const std::string day_text = PlainNumber(day);
  std::string result;
  if (month_text + day_text > "00") {
    const LanguageWords& words = WordsOf(CurrentLanguage());
    // A month outside 1..12 (an unchecked stored date) shows its number in every style.
    const bool named = month >= 1 && month <= 12 && style >= 1;
    const std::string_view name = named ? words.months[month - 1] : std::string_view();
    for (const char c : settings.order) {
      if (c != 'D' && c != 'M' && c != 'A') continue;
      if (!HasLetter(parts, c)) continue;
      std::string piece;
      if (c == 'D') {
        piece = day_text;
      } else if (c == 'A') {
        piece = year_text;
      } else if (!named) {
        piece = month_text;
      } else if (style >= 2) {
        piece = name;
      } else {
        // The abbreviation is the first three characters of the blank-padded slot.
        piece = std::string(name.substr(0, 3));
        piece.resize(3, ' ');
      }
      if (!result.empty()) {
        if (style < 2) {
          result.push_back(settings.separator);
        } else if (c == 'M') {
          result += StartsWithVowel(piece) ? words.before_vowel : words.before_consonant;
        } else {
          result += words.before_other;
        }
      }
      result += piece;
    }
  }
  if (style < 2) {
    int64_t width = static_cast<int64_t>(parts.size()) - 1;
    if (HasLetter(parts, 'D')) width += 2;
    if (HasLetter(parts, 'M')) width += style + 2;
    if (HasLetter(parts, 'A')) width += 4;
    result.resize(static_cast<size_t>(width < 0 ? 0 : width), ' ');
  }
  return result;
}

Date DateAdd(const Date& date, int32_t count, char unit) {
  if (count == 0) return date;
  const int32_t start = DateNumber(date);
  const bool julian = start < kReformDay;
  Ymd d = Split(date);
  const char u = unit >= 'a' && unit <= 'z' ? static_cast<char>(unit - 32) : unit;
  const int64_t n = count;
  // Whole cycles of the calendar in force are skipped in one step, so that a huge count in days
  // takes no longer than a small one; the month-by-month walk below gives the same result.
  const int64_t cycle_years = julian ? 4 : 400;
  const int64_t cycle_days = julian ? 1461 : 146097;
  const auto next_month = [&d] {
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  };
  const auto previous_month = [&d] {
    if (--d.month < 1) {
      d.month = 12;
      --d.year;
    }
  };
  if (u == 'D') {
    d.day += n;
  } else if (u == 'M') {
    const int64_t months = d.month - 1 + n;
    const int64_t years = months >= 0 ? months / 12 : -((-months + 11) / 12);
    d.year += years;
    d.month = months - 12 * years + 1;
  } else if (u == 'A') {
    d.year += n;
  }
  if (n > 0) {
    if (u == 'D') {
      while (d.day > cycle_days + 31 && d.year <= 9999) {
        d.day -= cycle_days;
        d.year += cycle_years;
      }
      while (d.year <= 9999 && d.day > MonthLength(d.month, d.year, julian)) {
        d.day -= MonthLength(d.month, d.year, julian);
        next_month();
      }
    } else if (d.day > MonthLength(d.month, d.year, julian)) {
      d.day = MonthLength(d.month, d.year, julian);
    }
  } else {
    if (u == 'D') {
      while (d.day <= -cycle_days && d.year >= 0) {
        d.day += cycle_days;
        d.year -= cycle_years;
      }
      while (d.year >= 0 && d.day <= 0) {
        previous_month();
        d.day += MonthLength(d.month, d.year, julian);
      }
    } else if ((u == 'M' || u == 'A') && d.day > MonthLength(d.month, d.year, julian)) {
      d.day = MonthLength(d.month, d.year, julian);
    }
  }
  if (d.year > 9999) return MakeDate(99991231);
  // Going back beyond year 0 stops at its first day rather than wrapping into a meaningless date.
  if (d.year < 0) return MakeDate(101);
  return PackDigits(Digits(d.year * 10000 + d.month * 100 + d.day, 8));
}

int32_t DateDiff(const Date& a, const Date& b, char unit) {
  const bool a_first = a <= b;
  const Ymd early = Split(a_first ? a : b);
  const Ymd late = Split(a_first ? b : a);
  const char u = unit >= 'a' && unit <= 'z' ? static_cast<char>(unit - 32) : unit;
  int64_t result = 0;
  if (u == 'D') {
    result = DaysBetween(early, late);
  } else if (u == 'M') {
    result = 12 * (late.year - early.year) + late.month - early.month;
  } else if (u == 'A') {
    result = late.year - early.year;
    if (early.month > late.month || (early.month == late.month && early.day > late.day)) {
      --result;
    }
  }
  return static_cast<int32_t>(result);
}

int Weekday(const Date& date) {
  const Ymd d = Split(date);
  const int64_t y = d.year - 1;
  // The days from 1 January as DateDiff counts them: an unchecked stored date that lies before it
  // (day or month 0) is counted from it, not backwards.
  const int64_t days = DateDiff(MakeDate(static_cast<int32_t>(d.year * 10000 + 101)), date, 'D');
  int64_t weekday;
  if (DateNumber(date) >= kReformDay) {
    weekday = ((y + y / 4 - y / 100 + y / 400) % 7 + days) % 7;
  } else {
    weekday = ((y + y / 4) % 7 + 5 + days) % 7;
  }
  return static_cast<int>((weekday % 7 + 7) % 7) + 1;
}

bool IsRealDate(const Date& date) {
  if (date.size() != 4) return false;
  for (const char c : date) {
    if (static_cast<unsigned char>(c) < 128 || static_cast<unsigned char>(c) > 128 + 99) {
      return false;
    }
  }
  const Ymd day = Split(date);
  const int32_t number = DateNumber(date);
  if (number >= kReformDay && number < kReformDay + 10) return false;
  return day.year >= 1 && day.month >= 1 && day.month <= 12 && day.day >= 1 &&
         day.day <= MonthLength(day.month, day.year, number < kReformDay);
}

}  // namespace quarnell
