// Comma-separated values with the quoting of RFC 4180: the exchange format of the data tool.
// Bytes pass through unchanged (the files are UTF-8; conversion is the caller's business).
#ifndef QUARNELL_APP_CSV_H_
#define QUARNELL_APP_CSV_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

// Where something went wrong in a CSV text: 1-based line and column (the column counts fields,
// not characters), and what.
struct CsvError {
  int64_t line = 0;
  int32_t column = 0;
  std::string message;
  std::string
      column_name;  // the column's header name, when the value of a named column is at fault
};

class CsvReader {
 public:
  // Reads rows from `text`, which must outlive the reader. A leading UTF-8 byte order mark is
  // skipped.
  explicit CsvReader(std::string_view text);

  // Reads the next row into *fields (and the line on which each field begins into
  // *field_lines, when given). Returns false at the end of the text or on a syntax error, which
  // error() then describes; *fields is then unspecified. Rows end with LF or CR LF; lines that
  // hold nothing at all are skipped. A quoted field may hold commas, line breaks and doubled
  // quotes; a quote inside an unquoted field, text after a closing quote or a quote left open
  // is an error.
  bool ReadRow(std::vector<std::string>* fields, std::vector<int64_t>* field_lines = nullptr);

  // The line on which the last row read began.
  int64_t row_line() const { return row_line_; }
  const std::optional<CsvError>& error() const { return error_; }

 private:
  bool Fail(int64_t line, int32_t column, std::string message);

  std::string_view text_;
  size_t pos_ = 0;
  int64_t line_ = 1;
  int64_t row_line_ = 0;
  std::optional<CsvError> error_;
};

// Appends one row to *out: the fields separated by commas, a field quoted when it holds a comma,
// a quote, a line break or a leading or trailing blank (or when it is the row's only field and
// empty), and a final LF.
void AppendCsvRow(std::string* out, const std::vector<std::string>& fields);

}  // namespace quarnell

#endif  // QUARNELL_APP_CSV_H_
