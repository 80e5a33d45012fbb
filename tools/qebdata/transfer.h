// Moving records between record files and CSV.
#ifndef QUARNELL_TOOLS_QEBDATA_TRANSFER_H_
#define QUARNELL_TOOLS_QEBDATA_TRANSFER_H_

#include <ostream>
#include <string>
#include <string_view>

#include "app/record_layouts.h"

namespace quarnell {

// Exit statuses of the data tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // the system failed us: a file locked, unreadable, ...
inline constexpr int kExitBadInput = 2;  // bad usage or bad data: the user can mend it

// What an import does with the records already in the file.
enum class ImportMode {
  kAdd,           // adds the rows; refuses the import when rows are records already in the file
  kAllowRepeats,  // adds the rows, also those that are records already in the file
  kReplace,       // removes the file's records and adds the rows, in the same transaction
};

// Imports the rows of the CSV file at `csv_path` into the record file of `file` under `root`.
// All or nothing: the rows go in as one transaction (with the removal of the old records under
// kReplace), which the first bad row (a value that does not fit, a unique key 0 repeated in the
// CSV or already in the file, a CSV syntax error), a read error or any failure undoes whole; the
// message names the CSV line and column. Under kAdd, rows that are byte for byte records already
// in the file are counted and, when there are any, nothing is imported. The CSV is read a block
// at a time, so memory does not follow its size. Messages go to `err`. Returns an exit status.
int ImportCsvFile(const std::string& root, const FileLayout& file, const std::string& csv_path,
                  ImportMode mode, std::ostream& err);

// Removes every record of the record file of `file` under `root`, in one transaction.
int ClearRecords(const std::string& root, const FileLayout& file, std::ostream& err);

// Writes every record of `file` under `root`, in key 0 order, as CSV with all columns to `out`.
// A record whose bytes are no value of some column is still written, with a warning on `err`.
// Returns an exit status.
int ExportCsv(const std::string& root, const FileLayout& file, std::ostream& out,
              std::ostream& err);

// What a record-manager status means to the user of the data tool; a server's failure names the
// server and its reason.
std::string StatusText(int16_t status);

class RecordStore;
// Opens the record file of `file` under `root` in `mode` for a command; on failure says why on
// `err` and returns the exit status (2 when the file does not exist, else 1).
int OpenForTool(RecordStore* store, const std::string& root, const FileLayout& file, int8_t mode,
                std::ostream& err);

// The number of records in the record file of `file` under `root`; false when it cannot be
// read.
bool CountRecords(const std::string& root, const FileLayout& file, uint32_t* count);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_TRANSFER_H_
