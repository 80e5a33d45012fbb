#include "app/rental_files.h"

#include <array>
#include <cassert>
#include <string>

#include "config/session.h"
#include "records/record_files.h"

namespace quarnell {
namespace {

constexpr size_t kLargestRecord = [] {
  size_t largest = 0;
  for (const FileLayout& file : kRentalFiles) {
    largest = std::max(largest, static_cast<size_t>(file.record_size));
  }
  return largest;
}();

// One area per file, in layout-table order; each file uses the first record_size bytes of its row.
std::array<std::array<char, kLargestRecord>, kRentalFiles.size()> record_areas{};

}  // namespace

std::span<char> RecordArea(int16_t file_number) {
  for (size_t i = 0; i < kRentalFiles.size(); ++i) {
    if (kRentalFiles[i].file_number == file_number) {
      return std::span<char>(record_areas[i].data(),
                             static_cast<size_t>(kRentalFiles[i].record_size));
    }
  }
  assert(false && "not a rental file number");
  return {};
}

void OpenRentalFiles() {
  const std::string& root = Session().root_directory;
  for (const FileLayout& file : kRentalFiles) {
    int16_t status = 0;
    OpenRecordFile(file.file_number, root + "DADES\\" + std::string(file.base_name),
                   RecordArea(file.file_number), status);
    if (status != 0) continue;  // only when the fatal exit was replaced
    // The dictionary without its length word is the Create data the file was made from.
    RequireRecordLayout(file.file_number, DictionaryBytes(file).substr(2), file.base_name);
  }
}

void HoldRentalSnapshots() {
  for (const FileLayout& file : kRentalFiles) {
    const int16_t status = BeginReadSnapshot(file.file_number);
    if (status != kRecordOk) FatalRecordAccess(file.file_number, status);
  }
}

void VerifyRentalKeys() {
  for (const FileLayout& file : kRentalFiles) {
    const int16_t status = VerifyRecordFileKeys(file.file_number);
    if (status == kRecordIoError) {
      FatalRecordAccess(file.file_number, status,
                        "damaged: its keys do not find every record, or a page of it cannot be "
                        "read; restore it from a copy");
    } else if (status != kRecordOk) {
      FatalRecordAccess(file.file_number, status);
    }
  }
}

void ReleaseRentalSnapshots() {
  // A file that was never snapshot answers "invalid operation"; there is nothing to undo.
  for (const FileLayout& file : kRentalFiles) EndReadSnapshot(file.file_number);
}

int16_t CheckRead(int16_t file_number, int16_t status) {
  if (status != kRecordOk && status != kRecordEndOfFile && status != kRecordKeyNotFound) {
    FatalRecordAccess(file_number, status);
  }
  return status;
}

}  // namespace quarnell
