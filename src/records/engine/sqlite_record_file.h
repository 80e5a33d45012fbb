// Record files kept as SQLite databases: the default storage, one database per file at its path.
#ifndef QUARNELL_RECORDS_ENGINE_SQLITE_RECORD_FILE_H_
#define QUARNELL_RECORDS_ENGINE_SQLITE_RECORD_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/engine/file_layout.h"
#include "records/engine/record_file.h"

namespace quarnell::engine {

// RecordFile::Open and Create for a file at a host path. REQUIRES: a non-empty path and a valid
// mode, as RecordFile checks them.
int16_t OpenSqliteRecordFile(const std::string& path, int8_t mode, std::string_view owner,
                             std::unique_ptr<RecordFile>* file);
int16_t CreateSqliteRecordFile(const std::string& path, const FileLayout& layout, int8_t mode);

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_SQLITE_RECORD_FILE_H_
