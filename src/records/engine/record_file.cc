// The checks every storage shares, and the choice of the storage behind a path: the files of a
// directory given to SetRecordServer live on that server, all others in SQLite databases.
#include "records/engine/record_file.h"

#include <filesystem>
#include <mutex>
#include <vector>

#include "records/engine/file_layout.h"
#include "records/engine/postgres_connection.h"
#include "records/engine/postgres_record_file.h"
#include "records/engine/record_call.h"
#include "records/engine/sqlite_record_file.h"

namespace quarnell::engine {
namespace {

struct ServerDirectory {
  std::string directory;
  std::string server;
};

std::mutex servers_mutex;
std::vector<ServerDirectory> servers;

std::string NormalDirectory(const std::string& directory) {
  std::string normal = std::filesystem::path(directory).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

// The server that keeps the files of the directory of `path`, or false.
bool ServerOf(const std::string& path, std::string* server) {
  const std::string directory =
      NormalDirectory(std::filesystem::path(path).lexically_normal().parent_path().string());
  std::lock_guard<std::mutex> guard(servers_mutex);
  for (const ServerDirectory& entry : servers) {
    if (entry.directory == directory) {
      *server = entry.server;
      return true;
    }
  }
  return false;
}

}  // namespace

int16_t RecordFile::Open(const std::string& path, int8_t mode, std::string_view owner,
                         std::unique_ptr<RecordFile>* file) {
  if (path.empty()) return kRecordInvalidFileName;
  if (mode != kOpenNormal && mode != kOpenReadOnly && mode != kOpenExclusive) {
    return kRecordInvalidOperation;
  }
  std::string server;
  if (!ServerOf(path, &server)) return OpenSqliteRecordFile(path, mode, owner, file);
  std::string table;
  if (!TableNameOfPath(path, &table)) return kRecordInvalidFileName;
  return OpenPostgresRecordFile(server, table, mode, owner, file);
}

int16_t RecordFile::Create(const std::string& path, std::span<const uint8_t> create_data,
                           int8_t mode) {
  if (path.empty()) return kRecordInvalidFileName;
  if (mode != kCreateReplace && mode != kCreateNew) return kRecordInvalidOperation;
  FileLayout layout;
  if (FileLayout::Parse(create_data, &layout) != kRecordOk) return kRecordInvalidCreateData;
  std::string server;
  if (!ServerOf(path, &server)) return CreateSqliteRecordFile(path, layout, mode);
  std::string table;
  if (!TableNameOfPath(path, &table)) return kRecordInvalidFileName;
  return CreatePostgresRecordFile(server, table, layout, mode);
}

}  // namespace quarnell::engine

namespace quarnell {

int16_t SetRecordServer(const std::string& directory, const std::string& server) {
  std::string conninfo;
  if (!server.empty()) {
    if (int16_t status = engine::ServerConnectionString(server, &conninfo); status != kRecordOk) {
      return status;
    }
  }
  const std::string normal = engine::NormalDirectory(directory);
  std::lock_guard<std::mutex> guard(engine::servers_mutex);
  std::erase_if(engine::servers,
                [&](const engine::ServerDirectory& entry) { return entry.directory == normal; });
  if (!server.empty()) engine::servers.push_back({normal, server});
  return kRecordOk;
}

}  // namespace quarnell
