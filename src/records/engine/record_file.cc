// The checks every storage shares, and the choice of the storage behind a path.
#include "records/engine/record_file.h"

#include "records/engine/file_layout.h"
#include "records/engine/record_call.h"
#include "records/engine/sqlite_record_file.h"

namespace quarnell::engine {

int16_t RecordFile::Open(const std::string& path, int8_t mode, std::string_view owner,
                         std::unique_ptr<RecordFile>* file) {
  if (path.empty()) return kRecordInvalidFileName;
  if (mode != kOpenNormal && mode != kOpenReadOnly && mode != kOpenExclusive) {
    return kRecordInvalidOperation;
  }
  return OpenSqliteRecordFile(path, mode, owner, file);
}

int16_t RecordFile::Create(const std::string& path, std::span<const uint8_t> create_data,
                           int8_t mode) {
  if (path.empty()) return kRecordInvalidFileName;
  if (mode != kCreateReplace && mode != kCreateNew) return kRecordInvalidOperation;
  FileLayout layout;
  if (FileLayout::Parse(create_data, &layout) != kRecordOk) return kRecordInvalidCreateData;
  return CreateSqliteRecordFile(path, layout, mode);
}

}  // namespace quarnell::engine
