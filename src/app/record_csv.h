// Records of the rental files as CSV rows: one column per field of the layout table, values in
// UTF-8 and plain notation (codes and numbers as integers, amounts as decimals with at most two
// decimals, dates as YYYY-MM-DD).
#ifndef QUARNELL_APP_RECORD_CSV_H_
#define QUARNELL_APP_RECORD_CSV_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/csv.h"
#include "app/record_layouts.h"

namespace quarnell {

// A record with every field at its "left out" value: texts blank, numbers and amounts 0, dates
// empty, codes the packed zero; bytes outside the fields are zero bytes.
std::string BlankRecord(const FileLayout& file);

// Stores the CSV value `value` (UTF-8) in the field. Returns the empty text on success; otherwise
// a message saying why the value does not fit (the record is then unchanged). An empty value
// stores the field's "left out" value. Blanks around a value that is not text are ignored.
std::string StoreFieldValue(const FieldLayout& field, std::string_view value,
                            std::span<char> record);

// The CSV value of a field (texts without their trailing blanks). *faithful becomes false when
// the stored bytes are not a value of the field's type (a damaged code or date, a control
// character in a text), so that importing the value would not give the same bytes back.
std::string FieldValue(const FieldLayout& field, std::span<const char> record, bool* faithful);

// The header row of a file's CSV: every field name in layout order.
std::vector<std::string> CsvHeader(const FileLayout& file);

// The row of one record, in the order of CsvHeader. *faithful as for FieldValue, for all fields;
// `unfaithful_column`, when given, receives the name of the first such field.
std::vector<std::string> RecordToCsvRow(const FileLayout& file, std::span<const char> record,
                                        bool* faithful, std::string* unfaithful_column = nullptr);

// The most characters a value of any column of `file` takes in a CSV (or a column name, when
// longer): the bound on every field of an import.
size_t WidestCsvColumn(const FileLayout& file);

// Converts the rows of a CSV to records of `file`, one row in memory at a time.
class CsvRecordReader {
 public:
  // `text` or `source` must outlive the reader.
  CsvRecordReader(const FileLayout& file, std::string_view text);
  CsvRecordReader(const FileLayout& file, CsvSource* source);

  // Reads the header on the first call, then one row per call into *record. Returns false at the
  // end or on the first error (error() then names line and column). Errors: an unknown or
  // repeated column; a header that leaves out a column whose blank value would keep records out
  // of the statement without a word (the kind and state of a payment, the type of a contract,
  // the language of an owner); a row with too few or too many fields; a field longer than the
  // widest column; a value that does not fit its field or, for an owner's language, is no
  // language code of the message file; a CSV syntax error. A text without any row, not even a
  // header, is an error. Semicolons or tabs between the header's names, decimal commas and
  // dates written day first are refused with a hint on how to save the file.
  bool Next(std::string* record);

  // The line on which the row last returned began.
  int64_t line() const { return reader_.row_line(); }
  // The CSV column (1-based) holding key 0's first field, or 1 when the CSV leaves it out.
  int32_t key_column() const { return key_column_; }
  const std::optional<CsvError>& error() const { return error_; }

 private:
  bool ReadHeader();
  bool CheckHeaderNames();
  bool CheckRequiredColumns();
  bool StoreRow(std::string* record);
  bool Fail(int64_t line, int32_t column, std::string message);
  bool FailReading();

  const FileLayout& file_;
  CsvReader reader_;
  std::string blank_;  // every field at its "left out" value, the start of every record
  bool header_read_ = false;
  std::vector<const FieldLayout*> columns_;
  int32_t key_column_ = 1;
  std::vector<std::string> fields_;
  std::vector<int64_t> field_lines_;
  std::optional<CsvError> error_;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_RECORD_CSV_H_
