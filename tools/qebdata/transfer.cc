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

}  // namespace

std::string StatusText(int16_t status) {
  switch (status) {
    case kRecordFileLocked:
      return "it is in use by another program; try again when it is free";
    case kRecordFileNotFound:
      return "it does not exist (run qebdata init first)";
    case kRecordIoError:
      return "it is damaged or cannot be read";
    case kRecordServerUnavailable:
      return "its database server cannot be used (" + TakeRecordServerMessage() + ")";
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

int ImportCsv(const std::string& root, const FileLayout& file, std::string_view csv_name,
              std::string_view csv, std::ostream& err) {
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
  // One transaction: other programs go on reading the file and see all the rows or none, and
  // the first bad row undoes the rows before it. Rows are converted and added one at a time, so
  // a large file needs no more memory than its text.
  status = store.BeginTransaction();
  if (status != kRecordOk) {
    err << "qebdata: cannot write " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  const auto refuse = [&](int exit) {
    store.AbortTransaction();
    return exit;
  };
  CsvRecordReader reader(file, csv);
  const size_t key_length = static_cast<size_t>(file.KeyLength());
  const std::string key_name(file.fields[0].name);
  std::unordered_map<std::string, int64_t> key_lines;  // unique keys: the line that has each
  std::string record;
  int64_t added = 0;
  while (reader.Next(&record)) {
    if (!file.key_duplicates) {
      const auto [it, first] = key_lines.emplace(record.substr(0, key_length), reader.line());
      if (!first) {
        err << "qebdata: " << Where(csv_name, reader.line(), reader.key_column(), key_name)
            << ": duplicate key: " << DescribeKey(file, record) << " is also on line " << it->second
            << "\n";
        return refuse(kExitBadInput);
      }
    }
    status = store.Insert(record);
    if (status == kRecordDuplicateKey) {
      err << "qebdata: " << Where(csv_name, reader.line(), reader.key_column(), key_name)
          << ": duplicate key: " << DescribeKey(file, record) << " is already in " << file.base_name
          << "\n";
      return refuse(kExitBadInput);
    }
    if (status != kRecordOk) {
      err << "qebdata: " << Where(csv_name, reader.line(), 1, "")
          << ": the record could not be added to " << file.base_name << " (" << StatusText(status)
          << "); nothing was imported\n";
      return refuse(kExitFailure);
    }
    ++added;
  }
  if (reader.error()) {
    const CsvError& e = *reader.error();
    err << "qebdata: " << Where(csv_name, e.line, e.column, e.column_name) << ": " << e.message
        << "\n";
    return refuse(kExitBadInput);
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
  err << "qebdata: " << added << (added == 1 ? " record" : " records") << " added to "
      << file.base_name << "\n";
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
