#include "app/record_csv.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "text/cp850.h"
#include "text/dates.h"
#include "text/language.h"

namespace quarnell {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The value of a digit text, or nullopt beyond `limit`.
std::optional<int64_t> DigitValue(std::string_view digits, int64_t limit) {
  int64_t value = 0;
  for (const char c : digits) {
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return value;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "\"" + text at -O3.
std::string Quoted(std::string_view value) {
  std::string quoted = "\"";
  quoted.append(value);
  quoted.push_back('"');
  return quoted;
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsCalendarDate(int year, int month, int day) {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Why a text is refused, or the empty text; *converted receives the code page 850 bytes.
std::string ConvertText(const FieldLayout& field, std::string_view value, std::string* converted) {
  size_t bad_offset = 0;
  std::optional<std::string> bytes = Utf8ToCp850(value, &bad_offset);
  if (!bytes) {
    size_t pos = bad_offset;
    const char32_t character = cp850_internal::DecodeUtf8(value.data(), value.size(), &pos);
    if (character > 0x10FFFF) return "the text is not valid UTF-8";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    return "the character \"" + std::string(value.substr(bad_offset, pos - bad_offset)) + "\" (" +
           code + ") does not exist in code page 850";
  }
  for (const char c : *bytes) {
    if (IsControl(static_cast<unsigned char>(c))) {
      return "the text holds a control character (tab, line break or similar)";
    }
  }
  // Trailing blanks are padding anyway; only what is left must fit.
  size_t length = bytes->size();
  while (length > 0 && (*bytes)[length - 1] == ' ') --length;
  if (length > static_cast<size_t>(field.width)) {
    return Quoted(value) + " has " + std::to_string(length) + " characters; the field holds " +
           std::to_string(field.width);
  }
  bytes->resize(length);
  *converted = std::move(*bytes);
  return "";
}

std::string ParseCode(const FieldLayout& field, std::string_view value, int32_t* code) {
  int64_t limit = 1;
  for (int i = 0; i < 2 * field.width; ++i) limit *= 10;
  --limit;
  // Messages are made only when needed: an import converts millions of values.
  const auto refuse = [&] {
    return Quoted(value) + " is not a code from 0 to " + std::to_string(limit);
  };
  if (!AllDigits(value)) return refuse();
  const std::optional<int64_t> number = DigitValue(value, limit);
  if (!number) return refuse();
  *code = static_cast<int32_t>(*number);
  return "";
}

std::string ParseNumber(const FieldLayout& field, std::string_view value, int32_t* number) {
  int64_t low = 0;
  int64_t high = 255;
  if (field.type == FieldType::kInt16) {
    low = INT16_MIN;
    high = INT16_MAX;
  } else if (field.type == FieldType::kInt32) {
    low = INT32_MIN;
    high = INT32_MAX;
  }
  const auto refuse = [&] {
    return Quoted(value) + " is not a whole number from " + std::to_string(low) + " to " +
           std::to_string(high);
  };
  std::string_view digits = value;
  const bool negative = digits.starts_with('-');
  if (negative) digits.remove_prefix(1);
  if (!AllDigits(digits)) return refuse();
  const std::optional<int64_t> magnitude = DigitValue(digits, high + 1);
  if (!magnitude) return refuse();
  const int64_t signed_value = negative ? -*magnitude : *magnitude;
  if (signed_value < low || signed_value > high) return refuse();
  *number = static_cast<int32_t>(signed_value);
  return "";
}

std::string ParseAmount(std::string_view value, int32_t* hundredths);

// Spreadsheets set up for Spanish or Catalan write "1.234,50": say how to write it here.
std::string DecimalCommaHint(std::string_view value) {
  std::string suggestion;
  for (const char c : value) {
    if (c != '.') suggestion.push_back(c == ',' ? '.' : c);
  }
  int32_t unused = 0;
  if (std::count(value.begin(), value.end(), ',') != 1 ||
      !ParseAmount(suggestion, &unused).empty()) {
    return "; the decimal separator is a point";
  }
  return "; it has a decimal comma: write it " + suggestion +
         " (a decimal point, no thousands separator)";
}

std::string ParseAmount(std::string_view value, int32_t* hundredths) {
  const auto what = [value] {
    std::string message = Quoted(value) +
                          " is not an amount (digits, an optional minus in front, at most two "
                          "decimals after a point, from -21474836.48 to 21474836.47)";
    if (value.find(',') != std::string_view::npos) message += DecimalCommaHint(value);
    return message;
  };
  std::string_view text = value;
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view decimals =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (!AllDigits(whole)) return what();
  if (point != std::string_view::npos && (decimals.empty() || decimals.size() > 2)) return what();
  if (!decimals.empty() && !AllDigits(decimals)) return what();
  constexpr int64_t kLimit = static_cast<int64_t>(INT32_MAX) + 1;
  const std::optional<int64_t> units = DigitValue(whole, kLimit);
  if (!units) return what();
  int64_t cents = *units * 100;
  if (!decimals.empty()) {
    cents += (decimals[0] - '0') * 10;
    if (decimals.size() == 2) cents += decimals[1] - '0';
  }
  if (negative) cents = -cents;
  if (cents < INT32_MIN || cents > INT32_MAX) return what();
  *hundredths = static_cast<int32_t>(cents);
  return "";
}

// Day-first dates, as spreadsheets write them for Spanish or Catalan ("01/12/2025"): show the
// value as it must be written.
std::string DayFirstHint(std::string_view value) {
  if (value.size() != 10 || (value[2] != '/' && value[2] != '-' && value[2] != '.') ||
      value[5] != value[2]) {
    return "";
  }
  const std::string_view day = value.substr(0, 2);
  const std::string_view month = value.substr(3, 2);
  const std::string_view year = value.substr(6, 4);
  if (!AllDigits(day) || !AllDigits(month) || !AllDigits(year)) return "";
  return " (write " + std::string(year) + "-" + std::string(month) + "-" + std::string(day) + ")";
}

std::string ParseDateValue(std::string_view value, Date* date) {
  const auto what = [value] {
    return Quoted(value) + " is not a date written YYYY-MM-DD" + DayFirstHint(value);
  };
  if (value.size() != 10 || value[4] != '-' || value[7] != '-') return what();
  const std::string_view year = value.substr(0, 4);
  const std::string_view month = value.substr(5, 2);
  const std::string_view day = value.substr(8, 2);
  if (!AllDigits(year) || !AllDigits(month) || !AllDigits(day)) return what();
  if (value == "0000-00-00") {
    *date = EmptyDate();
    return "";
  }
  const int y = static_cast<int>(*DigitValue(year, 9999));
  const int m = static_cast<int>(*DigitValue(month, 99));
  const int d = static_cast<int>(*DigitValue(day, 99));
  if (!IsCalendarDate(y, m, d)) return Quoted(value) + " is not a day of the calendar";
  *date = MakeDate(y * 10000 + m * 100 + d);
  return "";
}

std::string FormatAmount2(int32_t hundredths) {
  const int64_t value = hundredths;
  const int64_t magnitude = value < 0 ? -value : value;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", value < 0 ? "-" : "",
                static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
  return text;
}

}  // namespace

std::string BlankRecord(const FileLayout& file) {
  std::string record(static_cast<size_t>(file.record_size), '\0');
  for (const FieldLayout& field : file.fields) {
    switch (field.type) {
      case FieldType::kText:
        WriteText(record, field, "");
        break;
      case FieldType::kCode:
        WriteCode(record, field, 0);
        break;
      case FieldType::kDate:
        WriteDate(record, field, EmptyDate());
        break;
      default:
        break;  // numbers and amounts: zero bytes are 0
    }
  }
  return record;
}

std::string StoreFieldValue(const FieldLayout& field, std::string_view value,
                            std::span<char> record) {
  if (field.type == FieldType::kText) {
    std::string bytes;
    std::string problem = ConvertText(field, value, &bytes);
    if (problem.empty()) WriteText(record, field, bytes);
    return problem;
  }
  value = TrimBlanks(value);
  std::string problem;
  switch (field.type) {
    case FieldType::kCode: {
      int32_t code = 0;
      if (!value.empty()) problem = ParseCode(field, value, &code);
      if (problem.empty()) WriteCode(record, field, code);
      break;
    }
    case FieldType::kDate: {
      Date date = EmptyDate();
      if (!value.empty()) problem = ParseDateValue(value, &date);
      if (problem.empty()) WriteDate(record, field, date);
      break;
    }
    case FieldType::kAmount: {
      int32_t hundredths = 0;
      if (!value.empty()) problem = ParseAmount(value, &hundredths);
      if (problem.empty()) WriteAmount(record, field, hundredths);
      break;
    }
    case FieldType::kByte:
    case FieldType::kInt16:
    case FieldType::kInt32: {
      int32_t number = 0;
      if (!value.empty()) problem = ParseNumber(field, value, &number);
      if (!problem.empty()) break;
      if (field.type == FieldType::kByte) {
        WriteByte(record, field, static_cast<uint8_t>(number));
      } else if (field.type == FieldType::kInt16) {
        WriteInt16(record, field, static_cast<int16_t>(number));
      } else {
        WriteInt32(record, field, number);
      }
      break;
    }
    case FieldType::kText:
      break;
  }
  return problem;
}

std::string FieldValue(const FieldLayout& field, std::span<const char> record, bool* faithful) {
  switch (field.type) {
    case FieldType::kText: {
      std::string bytes = ReadText(record, field);
      while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
      for (const char c : bytes) {
        if (IsControl(static_cast<unsigned char>(c))) *faithful = false;
      }
      return Cp850ToUtf8(bytes);
    }
    case FieldType::kCode: {
      const std::string packed = ReadCode(record, field);
      const int32_t value = CodeValue(packed);
      if (value >= 0) return std::to_string(value);
      *faithful = false;
      return UnpackDigits(packed);
    }
    case FieldType::kDate: {
      const Date date = ReadDate(record, field);
      if (date == EmptyDate()) return "";
      const std::string digits = UnpackDigits(date);
      const int32_t number = DateNumber(date);
      if (CodeValue(date) < 0 ||
          !IsCalendarDate(number / 10000, number / 100 % 100, number % 100)) {
        *faithful = false;
      }
      return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
    }
    case FieldType::kByte:
      return std::to_string(ReadByte(record, field));
    case FieldType::kInt16:
      return std::to_string(ReadInt16(record, field));
    case FieldType::kInt32:
      return std::to_string(ReadInt32(record, field));
    case FieldType::kAmount:
      return FormatAmount2(ReadAmount(record, field));
  }
  return "";
}

std::vector<std::string> CsvHeader(const FileLayout& file) {
  std::vector<std::string> header;
  for (const FieldLayout& field : file.fields) header.emplace_back(field.name);
  return header;
}

std::vector<std::string> RecordToCsvRow(const FileLayout& file, std::span<const char> record,
                                        bool* faithful, std::string* unfaithful_column) {
  std::vector<std::string> row;
  row.reserve(file.fields.size());
  *faithful = true;
  for (const FieldLayout& field : file.fields) {
    bool field_faithful = true;
    row.push_back(FieldValue(field, record, &field_faithful));
    if (!field_faithful && *faithful && unfaithful_column != nullptr) {
      *unfaithful_column = std::string(field.name);
    }
    if (!field_faithful) *faithful = false;
  }
  return row;
}

namespace {

// Columns whose blank value keeps a record out of the statement, or changes how it counts, with
// no sign of it on the page. A CSV must name them, if only to leave a value empty on purpose.
struct RequiredColumn {
  std::string_view file;
  std::string_view column;
  std::string_view why;
};

constexpr RequiredColumn kRequiredColumns[] = {
    {"VPagos", "kind", "a payment counts in a statement only when its kind is P"},
    {"VPagos", "state", "a payment counts in a statement only when its state is N"},
    {"VDepCont", "type",
     "the rents of a unit count as housing (with its reductions) only when the contract type is V "
     "or O"},
    {"VPropiet", "language", "an owner whose language is blank gets the statements in Catalan"},
};

// The field holding an owner's language code.
constexpr bool IsLanguageField(const FieldLayout& field) {
  return field.name == RentalField("VPropiet", "language").name &&
         field.offset == RentalField("VPropiet", "language").offset;
}

std::string LanguageCodeList() {
  std::string list;
  for (size_t i = 0; i < kLanguageCodes.size(); ++i) {
    if (i > 0) list += i + 1 == kLanguageCodes.size() ? " or " : ", ";
    list += kLanguageCodes[i];
  }
  return list;
}

// The language code as the statement compares it (upper case, no blanks around it); empty when
// `value` is no code the message file knows. An empty value stays empty: Catalan.
std::optional<std::string> KnownLanguageCode(std::string_view value) {
  std::string code(TrimBlanks(value));
  for (char& c : code) c = layout_internal::AsciiUpper(c);
  if (code.empty()) return code;
  for (const std::string_view known : kLanguageCodes) {
    if (code == known) return code;
  }
  return std::nullopt;
}

size_t CsvWidth(const FieldLayout& field) {
  switch (field.type) {
    case FieldType::kText:
      return static_cast<size_t>(field.width);
    case FieldType::kCode:
      return 2 * static_cast<size_t>(field.width);
    case FieldType::kDate:
      return 10;  // 2025-12-31
    case FieldType::kByte:
      return 3;  // 255
    case FieldType::kInt16:
      return 6;  // -32768
    case FieldType::kInt32:
      return 11;  // -2147483648
    case FieldType::kAmount:
      return 12;  // -21474836.48
  }
  return 0;
}

bool HasAmountColumn(const FileLayout& file) {
  return std::any_of(file.fields.begin(), file.fields.end(),
                     [](const FieldLayout& field) { return field.type == FieldType::kAmount; });
}

}  // namespace

size_t WidestCsvColumn(const FileLayout& file) {
  size_t widest = 0;
  for (const FieldLayout& field : file.fields) {
    widest = std::max({widest, CsvWidth(field), field.name.size()});
  }
  return widest;
}

CsvRecordReader::CsvRecordReader(const FileLayout& file, std::string_view text)
    : file_(file), reader_(text), blank_(BlankRecord(file)) {}

CsvRecordReader::CsvRecordReader(const FileLayout& file, CsvSource* source)
    : file_(file), reader_(source), blank_(BlankRecord(file)) {}

bool CsvRecordReader::Fail(int64_t line, int32_t column, std::string message) {
  error_.emplace();
  error_->line = line;
  error_->column = column;
  error_->message = std::move(message);
  return false;
}

// Takes over the reader's error, saying what the limits it broke were.
bool CsvRecordReader::FailReading() {
  error_ = reader_.error();
  if (!error_) return false;
  const size_t column = static_cast<size_t>(error_->column);
  const FieldLayout* field = nullptr;
  if (header_read_ && column >= 1 && column <= columns_.size()) {
    field = columns_[column - 1];
    error_->column_name = std::string(field->name);
  }
  if (error_->kind == CsvErrorKind::kFieldTooLong) {
    const size_t widest = WidestCsvColumn(file_);
    error_->message = "the value \"" + error_->value + "...\" has more than " +
                      std::to_string(widest) + " characters";
    error_->message += field != nullptr && CsvWidth(*field) == widest
                           ? "; the field holds " + std::to_string(widest)
                           : ", more than any column of " + std::string(file_.base_name) + " holds";
    if (error_->open_quote) error_->message += OpenQuoteHint();
  } else if (error_->kind == CsvErrorKind::kTooManyFields && !header_read_) {
    error_->message = "the header names more columns than " + std::string(file_.base_name) +
                      " has (" + std::to_string(file_.fields.size()) + ")";
  } else if (error_->kind == CsvErrorKind::kTooManyFields) {
    error_->message += "; the header names " + std::to_string(columns_.size()) + " columns";
    if (HasAmountColumn(file_)) {
      error_->message +=
          " (an amount with a decimal comma and no quotes splits in two: write "
          "amounts with a decimal point)";
    }
  }
  return false;
}

bool CsvRecordReader::ReadHeader() {
  // A header of more names than the file has columns is wrong whatever they are; one field may
  // hold them all when another separator than the comma joins them, which the hint below names.
  size_t all_names = 0;
  for (const FieldLayout& field : file_.fields) all_names += field.name.size() + 1;
  reader_.set_limits({file_.fields.size(), std::max(all_names, WidestCsvColumn(file_))});
  if (!reader_.ReadRow(&fields_, &field_lines_)) {
    if (reader_.error()) return FailReading();
    header_read_ = true;
    return Fail(1, 1, "the file is empty: the first line must name the columns");
  }
  header_read_ = true;
  if (!CheckHeaderNames() || !CheckRequiredColumns()) return false;
  reader_.set_limits({columns_.size(), WidestCsvColumn(file_)});
  return true;
}

bool CsvRecordReader::CheckHeaderNames() {
  const std::string_view key_name = file_.fields[0].name;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const int32_t column = static_cast<int32_t>(i) + 1;
    const std::string_view name = TrimBlanks(fields_[i]);
    for (const char separator : {';', '\t'}) {
      if (name.find(separator) == std::string_view::npos) continue;
      const std::string shown = separator == ';' ? "\";\"" : "a tab";
      return Fail(field_lines_[i], column,
                  "the columns are separated by " + shown +
                      ", not by commas: save the file as CSV with commas between the values and "
                      "a point before the decimals (spreadsheets set up for Spanish or Catalan "
                      "write semicolons and decimal commas)");
    }
    const FieldLayout* field = nullptr;
    for (const FieldLayout& candidate : file_.fields) {
      if (layout_internal::SameNameIgnoringCase(candidate.name, name)) field = &candidate;
    }
    if (field == nullptr) {
      std::string known;
      for (const FieldLayout& candidate : file_.fields) {
        known += (known.empty() ? "" : ", ") + std::string(candidate.name);
      }
      return Fail(field_lines_[i], column,
                  "unknown column " + Quoted(name) + " for " + std::string(file_.base_name) +
                      " (columns: " + known + ")");
    }
    for (size_t j = 0; j < i; ++j) {
      if (columns_[j] == field) {
        return Fail(field_lines_[i], column,
                    "column " + Quoted(field->name) + " appears twice (also column " +
                        std::to_string(j + 1) + ")");
      }
    }
    if (field->name == key_name) key_column_ = column;
    columns_.push_back(field);
  }
  return true;
}

bool CsvRecordReader::CheckRequiredColumns() {
  for (const RequiredColumn& required : kRequiredColumns) {
    if (!layout_internal::SameNameIgnoringCase(required.file, file_.base_name)) continue;
    const bool named = std::any_of(columns_.begin(), columns_.end(), [&](const FieldLayout* f) {
      return f->name == required.column;
    });
    if (named) continue;
    return Fail(1, 1,
                "the header leaves out the column " + Quoted(required.column) + ", and " +
                    std::string(required.why) + ": add the column (an empty value stays allowed)");
  }
  return true;
}

bool CsvRecordReader::StoreRow(std::string* record) {
  *record = blank_;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldLayout& field = *columns_[i];
    std::string_view value = fields_[i];
    std::optional<std::string> code;
    std::string problem;
    if (IsLanguageField(field)) {
      code = KnownLanguageCode(value);
      if (code) {
        value = *code;
      } else {
        problem = Quoted(value) + " is no language code of the message file: write " +
                  LanguageCodeList() + " (upper or lower case), or leave it empty for Catalan";
      }
    }
    if (problem.empty()) problem = StoreFieldValue(field, value, *record);
    if (!problem.empty()) {
      Fail(field_lines_[i], static_cast<int32_t>(i) + 1, std::move(problem));
      error_->column_name = std::string(field.name);
      return false;
    }
  }
  return true;
}

bool CsvRecordReader::Next(std::string* record) {
  if (error_) return false;
  if (!header_read_ && !ReadHeader()) return false;
  if (!reader_.ReadRow(&fields_, &field_lines_)) return FailReading();
  if (fields_.size() != columns_.size()) {
    const int32_t column = static_cast<int32_t>(fields_.size() + 1);
    return Fail(reader_.row_line(), column,
                "the row has " + std::to_string(fields_.size()) + " fields; the header names " +
                    std::to_string(columns_.size()) + " columns");
  }
  return StoreRow(record);
}

}  // namespace quarnell
