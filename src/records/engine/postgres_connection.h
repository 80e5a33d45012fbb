// One connection to a PostgreSQL server through libpq, as the server storage of record files uses
// it: prepared statements whose parameters and results all travel in binary form, so that no value
// is ever written into the text of a statement, and the record manager's status for each failure.
#ifndef QUARNELL_RECORDS_ENGINE_POSTGRES_CONNECTION_H_
#define QUARNELL_RECORDS_ENGINE_POSTGRES_CONNECTION_H_

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell::engine {

// The parameters of one statement. Each value is kept here until the statement has run.
class PgParams {
 public:
  PgParams& Bytes(std::string_view bytes);  // bytea
  PgParams& Int64(int64_t value);           // int8
  PgParams& Int32(int32_t value);           // int4
  PgParams& Text(std::string_view text);    // text

  int count() const { return static_cast<int>(values_.size()); }
  const char* const* values() const;
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

 private:
  std::vector<std::string> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
  mutable std::vector<const char*> pointers_;
};

// A statement's result, in binary form; its rows stay valid as long as the result lives.
class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(PGresult* result) : result_(result, PQclear) {}

  bool ok() const;
  int rows() const { return result_ ? PQntuples(result_.get()) : 0; }
  bool IsNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
  std::string_view Bytes(int row, int column) const;
  int64_t Int64(int row, int column) const;  // an int8 column
  bool Bool(int row, int column) const;
  // The SQLSTATE of a failed statement ("" when it did not fail on the server).
  std::string_view State() const;
  // The command tag ("COMMIT", "ROLLBACK", ...).
  std::string_view Tag() const;

 private:
  std::shared_ptr<PGresult> result_;
};

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects to `server` (a connection URI, a keyword=value string or a service name) with the
  // settings the record files need. kRecordOk, or kRecordServerUnavailable with the reason noted
  // (NoteServerProblem).
  int16_t Connect(const std::string& server);

  // Prepares `sql` as statement `name` with parameters of the given type OIDs.
  int16_t Prepare(const std::string& name, const std::string& sql, const std::vector<Oid>& types);
  // Runs a prepared statement, or (RunSql) a statement text without parameters. A statement sent
  // ahead and not yet received is discarded first.
  PgResult Run(const std::string& name, const PgParams& params);
  PgResult RunSql(const std::string& sql, const PgParams& params = PgParams());

  // Sends a prepared statement and returns at once: the server works on it while the caller goes
  // on, and Receive gives its result. Any other statement run before Receive discards it.
  void Send(const std::string& name, const PgParams& params);
  PgResult Receive();
  // A statement was sent and is neither received nor discarded.
  bool sent() const { return sent_; }

  // The record manager's status for `result`: kRecordOk when it succeeded; otherwise the failure
  // is noted and mapped (a lock the server would not give in time: kRecordFileLocked; no
  // permission: kRecordAccessDenied; a connection lost: kRecordServerUnavailable, after which
  // every statement fails; anything else kRecordIoError).
  int16_t StatusOf(const PgResult& result);

  bool lost() const { return conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK; }
  // Inside a transaction that a failed statement has ended on the server.
  bool in_failed_transaction() const {
    return conn_ != nullptr && PQtransactionStatus(conn_) == PQTRANS_INERROR;
  }
  // The server as the configuration names it, for messages.
  const std::string& server() const { return server_; }

 private:
  // Waits for the result of a statement sent ahead, if any, and drops it.
  void Discard();

  PGconn* conn_ = nullptr;
  std::string server_;
  bool sent_ = false;  // a statement was sent and its result not yet received
};

// The server address as libpq takes it: a bare word is a service name. Returns kRecordOk, or
// kRecordInvalidFileName (with the reason noted) when the text cannot be parsed or holds a
// password, which must come from libpq's password file, service file or environment instead.
int16_t ServerConnectionString(const std::string& server, std::string* conninfo);

// The last failure a server gave, for the fatal message of the record-file layer; see
// TakeRecordServerMessage in record_call.h.
void NoteServerProblem(const std::string& server, std::string_view problem);

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_POSTGRES_CONNECTION_H_
