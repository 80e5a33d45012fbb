// The two storages of record files that the engine and layer tests run on: SQLite databases, and
// tables of a PostgreSQL server. Each server test gets a schema of its own on the test server,
// dropped when the test ends, so that tests may run at once.
//
// The test server is the one libpq's environment names (PGHOST, PGDATABASE, ...; scripts/test
// starts one), or the keyword=value connection string in QEB_PG. QEB_PG=off skips the server
// tests; otherwise a server that cannot be reached fails them.
#ifndef QUARNELL_TESTS_RECORDS_STORAGES_H_
#define QUARNELL_TESTS_RECORDS_STORAGES_H_

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "records/engine/record_call.h"
#include "support/temp_dir.h"

namespace quarnell::testing {

enum class Storage { kSqlite, kServer };

inline const auto kBothStorages = ::testing::Values(Storage::kSqlite, Storage::kServer);

inline std::string StorageName(const ::testing::TestParamInfo<Storage>& info) {
  return info.param == Storage::kSqlite ? "Sqlite" : "Server";
}

inline bool ServerTestsOff() {
  const char* setting = std::getenv("QEB_PG");
  return setting != nullptr && std::string(setting) == "off";
}

// A connection to the test server for the tests' own statements.
class TestServer {
 public:
  TestServer() {
    const char* setting = std::getenv("QEB_PG");
    base_ = setting != nullptr ? setting : "";
    conn_ = PQconnectdb(base_.c_str());
  }
  ~TestServer() { PQfinish(conn_); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  bool connected() const { return PQstatus(conn_) == CONNECTION_OK; }
  std::string error() const { return PQerrorMessage(conn_); }
  // The connection string of the test server with `schema` first on the search path; its
  // connections carry the schema's name as their application name.
  std::string WithSchema(const std::string& schema) const {
    return base_ + (base_.empty() ? "" : " ") + "options='-csearch_path=" + schema +
           "' application_name=" + schema;
  }
  // The first column of the first row `sql` gives, as text; empty when there is none.
  std::string Value(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    std::string value;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) {
      value = PQgetvalue(result, 0, 0);
    }
    PQclear(result);
    return value;
  }
  // Runs `sql`; false with the server's message in *error when it fails.
  bool Run(const std::string& sql, std::string* error = nullptr) {
    PGresult* result = PQexec(conn_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok && error != nullptr) *error = PQresultErrorMessage(result);
    PQclear(result);
    return ok;
  }

 private:
  std::string base_;
  PGconn* conn_ = nullptr;
};

// A schema of its own on the test server for one test, dropped with everything in it at the end.
class ServerSchema {
 public:
  ServerSchema() {
    static std::atomic<int> counter{0};
    name_ = "qebtest_" + std::to_string(getpid()) + "_" + std::to_string(++counter) + "_" +
            std::to_string(std::random_device()() % 100000);
    if (!server_.connected()) {
      error_ =
          "no PostgreSQL server for the tests (set QEB_PG=off to skip them): " + server_.error();
      return;
    }
    server_.Run("CREATE SCHEMA " + name_, &error_);
  }
  ~ServerSchema() {
    if (error_.empty()) server_.Run("DROP SCHEMA " + name_ + " CASCADE");
  }
  ServerSchema(const ServerSchema&) = delete;
  ServerSchema& operator=(const ServerSchema&) = delete;

  const std::string& error() const { return error_; }
  // The server text for SetRecordServer or Tova.ini.
  std::string server() const { return server_.WithSchema(name_); }
  // Runs `sql` with the schema first on the search path.
  bool Run(const std::string& sql, std::string* error = nullptr) {
    return server_.Run("SET search_path = " + name_ + "; " + sql, error);
  }
  std::string Value(const std::string& sql) {
    server_.Run("SET search_path = " + name_);
    return server_.Value(sql);
  }
  // Ends the server's side of every connection the record manager opened for this schema, as a
  // server restart or a network fault would.
  void CutConnections() {
    server_.Run(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '" +
        name_ + "'");
  }

 private:
  TestServer server_;
  std::string name_;
  std::string error_;
};

// Keeps the record files of `directory` on the storage under test: nothing to do for SQLite; for
// the server a fresh schema in *schema. Skips the test when the server tests are off, fails it when
// there is no server. Callers return when the test is skipped or failed.
inline void UseStorage(Storage storage, const std::string& directory,
                       std::unique_ptr<ServerSchema>* schema) {
  if (storage != Storage::kServer) return;
  if (ServerTestsOff()) GTEST_SKIP() << "QEB_PG=off: no server tests";
  *schema = std::make_unique<ServerSchema>();
  ASSERT_EQ("", (*schema)->error());
  ASSERT_EQ(kRecordOk, SetRecordServer(directory, (*schema)->server()));
}

// The base of engine tests that run on both storages: the files of dir_ live on the storage of
// the test's parameter.
class StorageTest : public ::testing::TestWithParam<Storage> {
 protected:
  void SetUp() override { UseStorage(GetParam(), dir_.dir(), &schema_); }
  bool OnServer() const { return GetParam() == Storage::kServer; }

  TempDir dir_;
  std::unique_ptr<ServerSchema> schema_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_STORAGES_H_
