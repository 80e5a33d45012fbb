#include "tools/qebdata/copy.h"

#include <cstdint>
#include <string>

#include "app/record_layouts.h"
#include "records/engine/record_call.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/record_store.h"
#include "tools/qebdata/transfer.h"

namespace quarnell {
namespace {

// Both files must hold records of the layout the program reads.
int CheckRecordLength(RecordStore& store, const std::string& root, const FileLayout& file,
                      std::ostream& err) {
  uint32_t length = 0;
  const int16_t status = store.RecordLength(&length);
  if (status == kRecordOk && length == static_cast<uint32_t>(file.record_size)) return kExitOk;
  err << "qebdata: " << RecordFilePath(root, file) << " does not hold " << file.base_name
      << " records (record length " << length << ", expected " << file.record_size << ")\n";
  return kExitFailure;
}

int CopyFile(const std::string& from_root, const std::string& to_root, const FileLayout& file,
             std::ostream& err) {
  RecordStore source;
  RecordStore target;
  if (int exit = OpenForTool(&source, from_root, file, kOpenReadOnly, err); exit != kExitOk) {
    return exit;
  }
  // Nobody else uses the new file until it holds every record.
  if (int exit = OpenForTool(&target, to_root, file, kOpenExclusive, err); exit != kExitOk) {
    return exit;
  }
  if (int exit = CheckRecordLength(source, from_root, file, err); exit != kExitOk) return exit;
  if (int exit = CheckRecordLength(target, to_root, file, err); exit != kExitOk) return exit;
  int16_t status = target.BeginTransaction();
  if (status != kRecordOk) {
    err << "qebdata: cannot write " << RecordFilePath(to_root, file) << ": " << StatusText(status)
        << "\n";
    return kExitFailure;
  }
  std::string record;
  int64_t copied = 0;
  int16_t read = source.GetFirst(&record);
  for (; read == kRecordOk; read = source.GetNext(&record)) {
    status = target.Insert(record);
    if (status != kRecordOk) break;
    ++copied;
  }
  if (read != kRecordEndOfFile || status != kRecordOk) {
    target.AbortTransaction();
    const bool reading = read != kRecordEndOfFile && read != kRecordOk;
    err << "qebdata: cannot " << (reading ? "read " : "write ")
        << RecordFilePath(reading ? from_root : to_root, file) << ": "
        << StatusText(reading ? read : status) << "; nothing of " << file.base_name
        << " was copied\n";
    return kExitFailure;
  }
  status = target.EndTransaction();
  if (status != kRecordOk) {
    err << "qebdata: cannot write " << RecordFilePath(to_root, file) << ": " << StatusText(status)
        << "; nothing of " << file.base_name << " was copied\n";
    return kExitFailure;
  }
  err << "qebdata: " << copied << (copied == 1 ? " record" : " records") << " copied to "
      << file.base_name << "\n";
  return kExitOk;
}

}  // namespace

int CopyInstallation(const std::string& from_root, const std::string& to_root, std::ostream& err) {
  for (const FileLayout& file : kRentalFiles) {
    uint32_t count = 0;
    if (!CountRecords(from_root, file, &count)) {
      err << "qebdata: cannot read " << RecordFilePath(from_root, file) << "\n";
      return kExitFailure;
    }
    if (!CountRecords(to_root, file, &count)) {
      err << "qebdata: cannot read " << RecordFilePath(to_root, file) << " (run qebdata init "
          << to_root << " first)\n";
      return kExitFailure;
    }
    if (count > 0) {
      err << "qebdata: " << to_root << " already holds records (" << count << " in "
          << file.base_name << "); copy into an installation without records\n";
      return kExitBadInput;
    }
  }
  for (const FileLayout& file : kRentalFiles) {
    if (int exit = CopyFile(from_root, to_root, file, err); exit != kExitOk) return exit;
  }
  return kExitOk;
}

}  // namespace quarnell
