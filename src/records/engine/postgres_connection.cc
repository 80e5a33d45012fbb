#include "records/engine/postgres_connection.h"

#include <cstring>
#include <mutex>

#include "records/engine/record_call.h"

namespace quarnell::engine {
namespace {

std::mutex problem_mutex;
std::string last_problem;

std::string BigEndian(uint64_t value, int bytes) {
  std::string out(static_cast<size_t>(bytes), '\0');
  for (int i = bytes - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  return out;
}

// The first line of a libpq message, without its line end.
std::string_view FirstLine(std::string_view text) {
  text = text.substr(0, text.find('\n'));
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  return text;
}

bool IsUri(std::string_view server) {
  return server.starts_with("postgresql://") || server.starts_with("postgres://");
}

}  // namespace

void NoteServerProblem(const std::string& server, std::string_view problem) {
  std::lock_guard<std::mutex> guard(problem_mutex);
  last_problem = server + ": " + std::string(FirstLine(problem));
}

int16_t ServerConnectionString(const std::string& server, std::string* conninfo) {
  *conninfo = server;
  if (!server.empty() && server.find('=') == std::string::npos && !IsUri(server)) {
    *conninfo = "service=" + server;
  }
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo->c_str(), &error);
  if (options == nullptr) {
    NoteServerProblem(server, error != nullptr ? error : "not a connection string");
    PQfreemem(error);
    return kRecordInvalidFileName;
  }
  bool password = false;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (std::strcmp(option->keyword, "password") == 0 && option->val != nullptr &&
        option->val[0] != '\0') {
      password = true;
    }
  }
  PQconninfoFree(options);
  if (password) {
    // Named without the text itself, which holds the password.
    NoteServerProblem("the server address",
                      "holds a password; keep passwords in the password file (~/.pgpass), a "
                      "service file or the environment");
    return kRecordInvalidFileName;
  }
  return kRecordOk;
}

PgParams& PgParams::Bytes(std::string_view bytes) {
  values_.emplace_back(bytes);
  lengths_.push_back(static_cast<int>(bytes.size()));
  formats_.push_back(1);
  return *this;
}

PgParams& PgParams::Int64(int64_t value) {
  return Bytes(BigEndian(static_cast<uint64_t>(value), 8));
}

PgParams& PgParams::Int32(int32_t value) {
  return Bytes(BigEndian(static_cast<uint32_t>(value), 4));
}

PgParams& PgParams::Text(std::string_view text) { return Bytes(text); }

const char* const* PgParams::values() const {
  pointers_.clear();
  for (const std::string& value : values_) pointers_.push_back(value.data());
  return pointers_.data();
}

bool PgResult::ok() const {
  if (!result_) return false;
  ExecStatusType status = PQresultStatus(result_.get());
  return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
}

std::string_view PgResult::Bytes(int row, int column) const {
  return std::string_view(PQgetvalue(result_.get(), row, column),
                          static_cast<size_t>(PQgetlength(result_.get(), row, column)));
}

int64_t PgResult::Int64(int row, int column) const {
  std::string_view bytes = Bytes(row, column);
  if (bytes.size() != 8) return 0;
  uint64_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<uint8_t>(c);
  return static_cast<int64_t>(value);
}

bool PgResult::Bool(int row, int column) const {
  std::string_view bytes = Bytes(row, column);
  return bytes.size() == 1 && bytes[0] != 0;
}

std::string_view PgResult::State() const {
  if (!result_) return {};
  const char* state = PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE);
  return state != nullptr ? std::string_view(state) : std::string_view();
}

std::string_view PgResult::Tag() const {
  return result_ ? std::string_view(PQcmdStatus(result_.get())) : std::string_view();
}

PgConnection::~PgConnection() {
  if (conn_ != nullptr) PQfinish(conn_);
}

int16_t PgConnection::Connect(const std::string& server) {
  server_ = server;
  std::string conninfo;
  if (int16_t status = ServerConnectionString(server, &conninfo); status != kRecordOk) {
    return status;
  }
  // The address comes after our defaults, so that what the installation sets wins.
  const char* keys[] = {"connect_timeout", "dbname", "fallback_application_name", nullptr};
  const char* values[] = {"10", conninfo.c_str(), "quarnell", nullptr};
  conn_ = PQconnectdbParams(keys, values, 1);
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    NoteServerProblem(server, conn_ != nullptr ? PQerrorMessage(conn_) : "out of memory");
    if (conn_ != nullptr) PQfinish(conn_);
    conn_ = nullptr;
    return kRecordServerUnavailable;
  }
  // A write waits this long for another program's write before it gives kRecordFileLocked.
  // Every statement of a record file is a keyed read or write that an index answers, but the
  // plans of a new table, made before it has statistics, would scan it whole: as the table grows
  // inside a large import, each insert would read every row before it. The server's notices are
  // routine (a table that exists already, when an init completes an installation) and libpq would
  // print them on standard error; warnings still come through.
  return StatusOf(RunSql(
      "SELECT set_config('lock_timeout', '1000', false),"
      " set_config('enable_seqscan', 'off', false), set_config('enable_bitmapscan', 'off', false),"
      " set_config('enable_sort', 'off', false), set_config('client_min_messages', 'warning', "
      "false)"));
}

int16_t PgConnection::Prepare(const std::string& name, const std::string& sql,
                              const std::vector<Oid>& types) {
  if (conn_ == nullptr) return kRecordServerUnavailable;
  Discard();
  PgResult result(
      PQprepare(conn_, name.c_str(), sql.c_str(), static_cast<int>(types.size()), types.data()));
  return StatusOf(result);
}

PgResult PgConnection::Run(const std::string& name, const PgParams& params) {
  if (conn_ == nullptr) return PgResult();
  Discard();
  return PgResult(PQexecPrepared(conn_, name.c_str(), params.count(), params.values(),
                                 params.lengths(), params.formats(), 1));
}

PgResult PgConnection::RunSql(const std::string& sql, const PgParams& params) {
  if (conn_ == nullptr) return PgResult();
  Discard();
  return PgResult(PQexecParams(conn_, sql.c_str(), params.count(), nullptr, params.values(),
                               params.lengths(), params.formats(), 1));
}

void PgConnection::Send(const std::string& name, const PgParams& params) {
  if (conn_ == nullptr) return;
  Discard();
  // When it cannot be sent, Receive gives the failure as a result, as Run would.
  sent_ = PQsendQueryPrepared(conn_, name.c_str(), params.count(), params.values(),
                              params.lengths(), params.formats(), 1) == 1;
}

PgResult PgConnection::Receive() {
  if (conn_ == nullptr || !sent_) return PgResult();
  sent_ = false;
  PgResult result(PQgetResult(conn_));
  // A statement has one result; the null that ends it frees the connection for the next.
  while (PGresult* more = PQgetResult(conn_)) PQclear(more);
  return result;
}

void PgConnection::Discard() {
  if (sent_) Receive();
}

int16_t PgConnection::StatusOf(const PgResult& result) {
  if (result.ok()) return kRecordOk;
  if (lost()) {
    NoteServerProblem(server_, conn_ != nullptr ? PQerrorMessage(conn_) : "connection lost");
    return kRecordServerUnavailable;
  }
  const std::string_view state = result.State();
  if (state == "55P03" || state == "40P01" || state == "40001" || state == "57014") {
    return kRecordFileLocked;
  }
  if (state == "42501" || state == "25006") return kRecordAccessDenied;
  NoteServerProblem(server_, PQerrorMessage(conn_));
  if (state.starts_with("08") || state.starts_with("57P")) return kRecordServerUnavailable;
  return kRecordIoError;
}

}  // namespace quarnell::engine

namespace quarnell {

std::string TakeRecordServerMessage() {
  std::lock_guard<std::mutex> guard(engine::problem_mutex);
  std::string message;
  message.swap(engine::last_problem);
  return message;
}

}  // namespace quarnell
