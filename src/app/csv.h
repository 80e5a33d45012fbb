// Comma-separated values with the quoting of RFC 4180: the exchange format of the data tool.
// Bytes pass through unchanged (the files are UTF-8; conversion is the caller's business).
// The reader takes its input a block at a time, so a file of any size is read in the same small
// memory, and it can be told how many fields a row and how many characters a field may have, so
// that a row of a million commas or a field of a gigabyte is refused without being held.
#ifndef QUARNELL_APP_CSV_H_
#define QUARNELL_APP_CSV_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

enum class CsvErrorKind : uint8_t {
  kSyntax,         // broken quoting
  kTooManyFields,  // a row with more fields than CsvLimits::max_fields
  kFieldTooLong,   // a field with more characters than CsvLimits::max_field_characters
};

// Where something went wrong in a CSV text: 1-based line and column (the column counts fields,
// not characters), and what.
struct CsvError {
  int64_t line = 0;
  int32_t column = 0;
  std::string message;
  std::string
      column_name;  // the column's header name, when the value of a named column is at fault
  CsvErrorKind kind = CsvErrorKind::kSyntax;
  // kFieldTooLong: the field's first characters, and whether it began with a quote and ran on
  // over commas or line ends (a quote left open swallows the rest of the file).
  std::string value;
  bool open_quote = false;
};

// Where a CsvReader takes its bytes from, one block at a time.
class CsvSource {
 public:
  virtual ~CsvSource() = default;
  // Copies up to `capacity` bytes into `buffer` and returns how many; 0 at the end of the input,
  // and also when the input cannot be read, which the source keeps for its owner to report.
  virtual size_t Read(char* buffer, size_t capacity) = 0;
};

// A CSV text held in memory; the text must outlive the source.
class CsvText : public CsvSource {
 public:
  explicit CsvText(std::string_view text) : text_(text) {}
  size_t Read(char* buffer, size_t capacity) override;

 private:
  std::string_view text_;
};

// Bounds on what one row may hold; 0 means no bound.
struct CsvLimits {
  size_t max_fields = 0;
  // Counted in UTF-8 characters. A field may also hold at most four bytes per character allowed,
  // so bytes that are no UTF-8 cannot slip past the bound.
  size_t max_field_characters = 0;
};

class CsvReader {
 public:
  // Reads rows from `text`, which must outlive the reader.
  explicit CsvReader(std::string_view text);
  // Reads rows from `source`, which must outlive the reader. A leading UTF-8 byte order mark is
  // skipped either way.
  explicit CsvReader(CsvSource* source);
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Applies from the next row on.
  void set_limits(const CsvLimits& limits) { limits_ = limits; }

  // Reads the next row into *fields (and the line on which each field begins into
  // *field_lines, when given). Returns false at the end of the text or on an error, which
  // error() then describes; *fields is then unspecified. Rows end with LF or CR LF; lines that
  // hold nothing at all are skipped. A quoted field may hold commas, line breaks and doubled
  // quotes; a quote inside an unquoted field, text after a closing quote or a quote left open
  // is an error, and so is a row or a field beyond the limits: reading stops at the first field
  // too many or the first character too many.
  bool ReadRow(std::vector<std::string>* fields, std::vector<int64_t>* field_lines = nullptr);

  // The line on which the last row read began.
  int64_t row_line() const { return row_line_; }
  const std::optional<CsvError>& error() const { return error_; }

 private:
  static constexpr int kEnd = -1;

  // The byte `ahead` places from the current one, or kEnd.
  int Peek(size_t ahead = 0);
  bool Refill(size_t wanted);
  bool AtRowEnd();
  bool ReadField(std::string* field, int32_t column);
  // The bytes from the current one up to the first that may end the field (a quote or a line
  // feed in a quoted field; also a comma or a carriage return in another) or the end of the
  // buffer; they become read.
  std::string_view RunUntil(bool quoted);
  bool Append(std::string* field, std::string_view bytes, int64_t field_line, int32_t column,
              bool quoted);
  bool Fail(int64_t line, int32_t column, std::string message,
            CsvErrorKind kind = CsvErrorKind::kSyntax);

  std::optional<CsvText> own_text_;
  CsvSource* source_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // the current byte in buffer_
  size_t end_ = 0;    // one past the last byte read into buffer_
  bool exhausted_ = false;
  bool started_ = false;
  CsvLimits limits_;
  size_t field_characters_ = 0;
  int64_t line_ = 1;
  int64_t row_line_ = 0;
  std::optional<CsvError> error_;
};

// What a message adds when a field too long began with a quote left open.
std::string OpenQuoteHint();

// Appends one row to *out: the fields separated by commas, a field quoted when it holds a comma,
// a quote, a line break or a leading or trailing blank (or when it is the row's only field and
// empty), and a final LF.
void AppendCsvRow(std::string* out, const std::vector<std::string>& fields);

}  // namespace quarnell

#endif  // QUARNELL_APP_CSV_H_
