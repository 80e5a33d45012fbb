#include "tools/qebdata/transfer.h"

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/record_csv.h"
#include "records/engine/record_call.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/record_store.h"

namespace quarnell {
namespace {

struct PendingRecord {
  std::string bytes;
  int64_t line;
};

std::string Where(std::string_view csv_name, int64_t line, int32_t column,
                  std::string_view column_name) {
  std::string where = std::string(csv_name) + ", line " + std::to_string(line) + ", column " +
                      std::to_string(column);
  if (!column_name.empty()) where += " (" + std::string(column_name) + ")";
  return where;
}

// "owner 3, property 2": key 0 of a record as the CSV writes it.
std::string DescribeKey(const FileLayout& file, std::string_view record) {
  std::string text;
  for (int16_t i = 0; i < file.key_field_count; ++i) {
    bool faithful = true;
    if (i > 0) text += ", ";
    text += std::string(file.fields[i].name) + " " + FieldValue(file.fields[i], record, &faithful);
  }
  return text;
}

std::string StatusText(int16_t status) {
  switch (status) {
    case kRecordFileLocked:
      return "it is in use by another program; try again when it is free";
    case kRecordFileNotFound:
      return "it does not exist (run qebdata init first)";
    case kRecordIoError:
      return "it is damaged or cannot be read";
    default:
      return "record manager status " + std::to_string(status);
  }
}

int OpenForTool(RecordStore* store, const std::string& root, const FileLayout& file, int8_t mode,
                std::ostream& err) {
  const std::string path = RecordFilePath(root, file);
  const int16_t status = store->Open(path, mode);
  if (status == kRecordOk) return kExitOk;
  err << "qebdata: cannot open " << path << ": " << StatusText(status) << "\n";
  return status == kRecordFileNotFound ? kExitBadInput : kExitFailure;
}

}  // namespace

int ImportCsv(const std::string& root, const FileLayout& file, std::string_view csv_name,
              std::string_view csv, std::ostream& err) {
  // Every row is read and checked before the record file is touched.
  CsvRecordReader reader(file, csv);
  std::vector<PendingRecord> records;
  std::string record;
  while (reader.Next(&record)) records.push_back({record, reader.line()});
  if (reader.error()) {
    const CsvError& e = *reader.error();
    err << "qebdata: " << Where(csv_name, e.line, e.column, e.column_name) << ": " << e.message
        << "\n";
    return kExitBadInput;
  }
  const size_t key_length = static_cast<size_t>(file.KeyLength());
  const std::string key_name(file.fields[0].name);
  if (!file.key_duplicates) {
    std::unordered_map<std::string, int64_t> first_line;
    for (const PendingRecord& pending : records) {
      const auto [it, inserted] =
          first_line.emplace(pending.bytes.substr(0, key_length), pending.line);
      if (!inserted) {
        err << "qebdata: " << Where(csv_name, pending.line, reader.key_column(), key_name)
            << ": duplicate key: " << DescribeKey(file, pending.bytes) << " is also on line "
            << it->second << "\n";
        return kExitBadInput;
      }
    }
  }

  // One transaction: other programs go on reading the file and see all the rows or none, and
  // nobody else writes between the duplicate check and the last insert.
  RecordStore store;
  if (int exit = OpenForTool(&store, root, file, kOpenNormal, err); exit != kExitOk) {
    return exit;
  }
  uint32_t record_length = 0;
  int16_t status = store.RecordLength(&record_length);
  if (status != kRecordOk || record_length != static_cast<uint32_t>(file.record_size)) {
    err << "qebdata: " << RecordFilePath(root, file) << " does not hold " << file.base_name
        << " records (record length " << record_length << ", expected " << file.record_size
        << ")\n";
    return kExitFailure;
  }
  status = store.BeginTransaction();
  if (status != kRecordOk) {
    err << "qebdata: cannot write " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  for (const PendingRecord& pending : records) {
    status = store.Insert(pending.bytes);
    if (status == kRecordOk) continue;
    store.AbortTransaction();
    if (status == kRecordDuplicateKey) {
      err << "qebdata: " << Where(csv_name, pending.line, reader.key_column(), key_name)
          << ": duplicate key: " << DescribeKey(file, pending.bytes) << " is already in "
          << file.base_name << "\n";
      return kExitBadInput;
    }
    err << "qebdata: " << Where(csv_name, pending.line, 1, "")
        << ": the record could not be added to " << file.base_name << " (" << StatusText(status)
        << "); nothing was imported\n";
    return kExitFailure;
  }
  status = store.EndTransaction();
  if (status != kRecordOk) {
    err << "qebdata: cannot write " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "; nothing was imported\n";
    return kExitFailure;
  }
  status = store.Close();
  if (status != kRecordOk) {
    err << "qebdata: cannot close " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  err << "qebdata: " << records.size() << (records.size() == 1 ? " record" : " records")
      << " added to " << file.base_name << "\n";
  return kExitOk;
}

int ExportCsv(const std::string& root, const FileLayout& file, std::ostream& out,
              std::ostream& err) {
  RecordStore store;
  if (int exit = OpenForTool(&store, root, file, kOpenReadOnly, err); exit != kExitOk) {
    return exit;
  }
  std::string text;
  AppendCsvRow(&text, CsvHeader(file));
  std::string record;
  int64_t number = 0;
  int16_t status = store.GetFirst(&record);
  while (status == kRecordOk) {
    ++number;
    bool faithful = true;
    std::string column;
    AppendCsvRow(&text, RecordToCsvRow(file, record, &faithful, &column));
    if (!faithful) {
      err << "qebdata: warning: " << file.base_name << " record " << number << " ("
          << DescribeKey(file, record) << "): the bytes of column " << column
          << " are no valid value; importing this row will not give them back\n";
    }
    if (text.size() >= (1 << 16)) {
      out << text;
      text.clear();
    }
    status = store.GetNext(&record);
  }
  out << text;
  out.flush();
  if (status != kRecordEndOfFile) {
    err << "qebdata: cannot read " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  if (!out) {
    err << "qebdata: cannot write the CSV\n";
    return kExitFailure;
  }
  return kExitOk;
}

bool CountRecords(const std::string& root, const FileLayout& file, uint32_t* count) {
  RecordStore store;
  return store.Open(RecordFilePath(root, file), kOpenReadOnly) == kRecordOk &&
         store.RecordCount(count) == kRecordOk;
}

}  // namespace quarnell
