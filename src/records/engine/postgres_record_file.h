// Record files kept as tables of a PostgreSQL database, for installations whose workstations
// share one server.
#ifndef QUARNELL_RECORDS_ENGINE_POSTGRES_RECORD_FILE_H_
#define QUARNELL_RECORDS_ENGINE_POSTGRES_RECORD_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/engine/file_layout.h"
#include "records/engine/record_file.h"

namespace quarnell::engine {

// RecordFile::Open and Create for the file kept as table `table` of the database at `server`.
// REQUIRES: `table` is a valid table name (TableNameOfPath); a valid mode, as RecordFile checks.
int16_t OpenPostgresRecordFile(const std::string& server, const std::string& table, int8_t mode,
                               std::string_view owner, std::unique_ptr<RecordFile>* file);
int16_t CreatePostgresRecordFile(const std::string& server, const std::string& table,
                                 const FileLayout& layout, int8_t mode);

// The table that keeps the file at `path`: the base name of its last component (up to the first
// dot) in lower case. False when that is no name a table may have here: empty, longer than 48
// characters, other characters than letters, digits and "_", starting with a digit, or the name
// of the table that describes the files.
bool TableNameOfPath(const std::string& path, std::string* table);

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_POSTGRES_RECORD_FILE_H_
