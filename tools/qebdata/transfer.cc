#include "tools/qebdata/transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/record_csv.h"
#include "records/engine/record_call.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/orphans.h"
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

namespace {

// Opens the record file for writing and makes sure it holds records of `file`'s layout.
int OpenForWriting(RecordStore* store, const std::string& root, const FileLayout& file,
                   std::ostream& err) {
  if (int exit = OpenForTool(store, root, file, kOpenNormal, err); exit != kExitOk) return exit;
  uint32_t record_length = 0;
  const int16_t status = store->RecordLength(&record_length);
  if (status == kRecordOk && record_length == static_cast<uint32_t>(file.record_size)) {
    return kExitOk;
  }
  err << "qebdata: " << RecordFilePath(root, file) << " does not hold " << file.base_name
      << " records (record length " << record_length << ", expected " << file.record_size << ")\n";
  return kExitFailure;
}

// Removes every record inside the transaction under way; *removed counts them.
int16_t RemoveAll(RecordStore* store, int64_t* removed) {
  std::string record;
  while (true) {
    int16_t status = store->GetFirst(&record);
    if (status == kRecordEndOfFile) return kRecordOk;
    if (status == kRecordOk) status = store->Delete();
    if (status != kRecordOk) return status;
    ++*removed;
  }
}

std::string Plural(int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// A CSV file read a block at a time.
class CsvFile : public CsvSource {
 public:
  CsvFile() = default;
  ~CsvFile() override {
    if (fd_ >= 0) close(fd_);
  }
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  // False with *why set ("No such file or directory", "Is a directory") when it cannot be read.
  bool Open(const std::string& path, std::string* why) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) {
      *why = std::strerror(errno);
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      *why = std::strerror(EISDIR);
      return false;
    }
    return true;
  }

  size_t Read(char* buffer, size_t capacity) override {
    while (true) {
      const ssize_t got = read(fd_, buffer, capacity);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno == EINTR) continue;
      failure_ = std::strerror(errno);
      return 0;
    }
  }

  // Why the input stopped before its end, or empty.
  const std::string& failure() const { return failure_; }

 private:
  int fd_ = -1;
  std::string failure_;
};

// Tells whether a row is, byte for byte, a record the file held before the import. It reads
// through an open of its own, which sees none of the import's rows until they are committed,
// and keeps the records of the last key it looked up: the rows of a CSV come grouped by key, so
// each key's records are read once.
class RepeatFinder {
 public:
  int16_t Open(const std::string& path) { return store_.Open(path, kOpenReadOnly); }

  int16_t Holds(std::string_view record, size_t key_length, bool* held) {
    const std::string_view key = record.substr(0, key_length);
    if (!loaded_ || key != key_) {
      if (int16_t status = Load(key); status != kRecordOk) return status;
    }
    if (complete_) {
      *held = records_.contains(std::string(record));
      return kRecordOk;
    }
    *held = false;
    return ForEachWithKey(key, [&](const std::string& found) {
      *held = found == record;
      return !*held;
    });
  }

 private:
  // More records than this under one key are compared as they are read rather than kept.
  static constexpr size_t kMaxKept = 65536;

  int16_t Load(std::string_view key) {
    loaded_ = false;
    key_.assign(key);
    records_.clear();
    complete_ = true;
    const int16_t status = ForEachWithKey(key, [&](const std::string& found) {
      if (records_.size() == kMaxKept) {
        complete_ = false;
        records_.clear();
        return false;
      }
      records_.insert(found);
      return true;
    });
    loaded_ = status == kRecordOk;
    return status;
  }

  // Calls `visit` with each record whose key 0 is `key`, until it answers false.
  template <class Visit>
  int16_t ForEachWithKey(std::string_view key, Visit visit) {
    std::string found;
    int16_t status = store_.GetEqual(key, &found);
    while (status == kRecordOk && std::string_view(found).substr(0, key.size()) == key) {
      if (!visit(found)) return kRecordOk;
      status = store_.GetNext(&found);
    }
    const bool ended =
        status == kRecordOk || status == kRecordKeyNotFound || status == kRecordEndOfFile;
    return ended ? kRecordOk : status;
  }

  RecordStore store_;
  std::string key_;
  bool loaded_ = false;
  bool complete_ = false;
  std::unordered_set<std::string> records_;
};

// One import: the rows of a CSV into a record file, in one transaction.
class CsvImport {
 public:
  CsvImport(const std::string& root, const FileLayout& file, std::string_view csv_name,
            ImportMode mode, std::ostream& err)
      : root_(root), file_(file), csv_name_(csv_name), mode_(mode), err_(err) {}

  int Run(CsvFile* csv) {
    if (int exit = OpenForWriting(&store_, root_, file_, err_); exit != kExitOk) return exit;
    if (int exit = OpenRepeatFinder(); exit != kExitOk) return exit;
    // One transaction: other programs go on reading the file and see all the rows or none, and
    // the first bad row undoes the rows before it (and, when replacing, the removal of the old
    // records). Rows are read, converted and added one at a time.
    int16_t status = store_.BeginTransaction();
    if (status != kRecordOk) return Failed("cannot write", status);
    if (mode_ == ImportMode::kReplace) {
      status = RemoveAll(&store_, &removed_);
      if (status != kRecordOk) return Refuse(Failed("cannot remove the records of", status));
    }
    CsvRecordReader reader(file_, csv);
    if (int exit = AddRows(&reader); exit != kExitOk) return Refuse(exit);
    if (!csv->failure().empty()) {
      err_ << "qebdata: cannot read " << csv_name_ << ": " << csv->failure()
           << "; nothing was imported\n";
      return Refuse(kExitFailure);
    }
    if (reader.error()) {
      const CsvError& e = *reader.error();
      err_ << "qebdata: " << Where(csv_name_, e.line, e.column, e.column_name) << ": " << e.message
           << "\n";
      return Refuse(kExitBadInput);
    }
    if (repeats_ > 0) return Refuse(RefuseRepeats());
    status = store_.EndTransaction();
    if (status != kRecordOk) return Failed("cannot write", status, "; nothing was imported");
    status = store_.Close();
    if (status != kRecordOk) return Failed("cannot close", status);
    Report();
    // Records without their owner, property or unit are kept (the parent may be the next file
    // imported) but said, and so are those a replaced parent file leaves behind.
    orphans_.Warn(err_);
    if (mode_ == ImportMode::kReplace) WarnOfOrphansLeft(root_, file_, err_);
    return kExitOk;
  }

 private:
  int OpenRepeatFinder() {
    if (mode_ != ImportMode::kAdd) return kExitOk;
    uint32_t count = 0;
    int16_t status = store_.RecordCount(&count);
    if (status == kRecordOk && count == 0) return kExitOk;  // nothing to repeat
    if (status == kRecordOk) status = repeats_finder_.Open(RecordFilePath(root_, file_));
    if (status != kRecordOk) return Failed("cannot read", status);
    check_repeats_ = true;
    return kExitOk;
  }

  int AddRows(CsvRecordReader* reader) {
    std::string record;
    while (reader->Next(&record)) {
      ++rows_;
      if (int exit = CheckUniqueInCsv(*reader, record); exit != kExitOk) return exit;
      if (check_repeats_) {
        bool held = false;
        const int16_t status = repeats_finder_.Holds(record, key_length_, &held);
        if (status != kRecordOk) return Failed("cannot read", status);
        if (held) {
          if (repeats_++ == 0) first_repeat_line_ = reader->line();
          continue;
        }
      }
      if (int exit = Insert(*reader, record); exit != kExitOk) return exit;
    }
    return kExitOk;
  }

  // A unique key 0 given twice in the CSV, named with both lines.
  int CheckUniqueInCsv(const CsvRecordReader& reader, const std::string& record) {
    if (file_.key_duplicates) return kExitOk;
    const auto [it, first] = key_lines_.emplace(record.substr(0, key_length_), reader.line());
    if (first) return kExitOk;
    err_ << "qebdata: "
         << Where(csv_name_, reader.line(), reader.key_column(), file_.fields[0].name)
         << ": duplicate key: " << DescribeKey(file_, record) << " is also on line " << it->second
         << "\n";
    return kExitBadInput;
  }

  int Insert(const CsvRecordReader& reader, const std::string& record) {
    const int16_t status = store_.Insert(record);
    if (status == kRecordOk) {
      ++added_;
      orphans_.Add(record);
      return kExitOk;
    }
    if (status == kRecordDuplicateKey) {
      err_ << "qebdata: "
           << Where(csv_name_, reader.line(), reader.key_column(), file_.fields[0].name)
           << ": duplicate key: " << DescribeKey(file_, record) << " is already in "
           << file_.base_name << "\n";
      return kExitBadInput;
    }
    err_ << "qebdata: " << Where(csv_name_, reader.line(), 1, "")
         << ": the record could not be added to " << file_.base_name << " (" << StatusText(status)
         << "); nothing was imported\n";
    return kExitFailure;
  }

  int RefuseRepeats() {
    err_ << "qebdata: " << csv_name_ << ": " << repeats_ << " of the "
         << Plural(rows_, "row", "rows") << (repeats_ == 1 ? " is a record" : " are records")
         << " already in " << file_.base_name << ", byte for byte (the first on line "
         << first_repeat_line_ << "); nothing was imported. To replace the records of "
         << file_.base_name
         << " with the CSV's, import with --replace; to add the rows all the same, with "
            "--allow-repeats\n";
    return kExitBadInput;
  }

  void Report() {
    err_ << "qebdata: ";
    if (mode_ == ImportMode::kReplace) {
      err_ << Plural(removed_, "record", "records") << " removed from " << file_.base_name << ", ";
    }
    err_ << Plural(added_, "record", "records") << " added to " << file_.base_name << "\n";
  }

  int Failed(std::string_view what, int16_t status, std::string_view after = "") {
    err_ << "qebdata: " << what << " " << RecordFilePath(root_, file_) << ": " << StatusText(status)
         << after << "\n";
    return kExitFailure;
  }

  int Refuse(int exit) {
    store_.AbortTransaction();
    return exit;
  }

  const std::string& root_;
  const FileLayout& file_;
  std::string_view csv_name_;
  ImportMode mode_;
  std::ostream& err_;
  RecordStore store_;
  RepeatFinder repeats_finder_;
  bool check_repeats_ = false;
  const size_t key_length_ = static_cast<size_t>(file_.KeyLength());
  OrphanTally orphans_{root_, file_};
  std::unordered_map<std::string, int64_t> key_lines_;  // unique keys: the line that has each
  int64_t rows_ = 0;
  int64_t added_ = 0;
  int64_t removed_ = 0;
  int64_t repeats_ = 0;
  int64_t first_repeat_line_ = 0;
};

}  // namespace

int ImportCsvFile(const std::string& root, const FileLayout& file, const std::string& csv_path,
                  ImportMode mode, std::ostream& err) {
  CsvFile csv;
  std::string why;
  if (!csv.Open(csv_path, &why)) {
    err << "qebdata: cannot read " << csv_path << ": " << why << "\n";
    return kExitBadInput;
  }
  return CsvImport(root, file, csv_path, mode, err).Run(&csv);
}

int ClearRecords(const std::string& root, const FileLayout& file, std::ostream& err) {
  RecordStore store;
  if (int exit = OpenForWriting(&store, root, file, err); exit != kExitOk) return exit;
  int64_t removed = 0;
  int16_t status = store.BeginTransaction();
  if (status == kRecordOk) status = RemoveAll(&store, &removed);
  if (status == kRecordOk) status = store.EndTransaction();
  if (status != kRecordOk) {
    store.AbortTransaction();
    err << "qebdata: cannot remove the records of " << RecordFilePath(root, file) << ": "
        << StatusText(status) << "; nothing was removed\n";
    return kExitFailure;
  }
  status = store.Close();
  if (status != kRecordOk) {
    err << "qebdata: cannot close " << RecordFilePath(root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  err << "qebdata: " << Plural(removed, "record", "records") << " removed from " << file.base_name
      << "\n";
  WarnOfOrphansLeft(root, file, err);
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
