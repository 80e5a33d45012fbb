// Record files stored as tables of a PostgreSQL database.
//
// Schema: the table record_files has one row per record file (its name, the Create data, the
// record count and the owner name). The records of file "vcobros" are the rows of table
// "vcobros": `pos` (bigint, the primary key) is the record's position, `data` (bytea) its bytes,
// and each key k has a column k<k> with the key's comparable bytes and an index on (k<k>, pos),
// so that duplicates come in position order, which is insertion order because positions only
// grow at the end. bytea compares byte by byte, as the comparable form needs.
//
// Each open file has a connection of its own, so that a transaction on one file never takes in
// another's writes, and the locks of two opens of one file exclude each other as those of two
// processes do. The locks are the server's advisory locks on (table oid, position): position 0,
// which no record has, is the open lock (shared, or exclusive for an exclusive open), any other
// the record lock. The server drops them when the connection ends, however the process ends.
// Writers take the file's row of record_files FOR UPDATE for the length of their transaction:
// that is the file's write lock, waited for up to the connection's lock_timeout.
//
// Key-ordered reads fetch the records that follow in batches (keyset pages on (k, pos)), so that
// a walk costs a round trip per batch rather than per record. Once a walk has shown that it goes
// on, each batch it takes asks for the next one at once, so that the server finds the next
// records while the program works through these. A batch is used for at most kSnapshotLifetime,
// the freshness the record manager promises. A read snapshot asked for by the caller is a
// read-only repeatable-read transaction begun with a read, held until its end; inside it a batch
// never grows stale, and a read by key forward of the walk that lands in the batch is answered
// from it.
//
// Table names come from file names that pass TableNameOfPath and are quoted; every value travels
// as a parameter of a prepared statement, in binary form.
#include "records/engine/postgres_record_file.h"

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "records/engine/postgres_connection.h"
#include "records/engine/record_call.h"
#include "records/engine/storage_common.h"

namespace quarnell::engine {
namespace {

constexpr char kCatalogueTable[] = "record_files";
constexpr size_t kMaxTableName = 48;
// Rows a read that starts afresh fetches (the record and a few that a walk would read next), the
// first refill of a walk, and the most bytes of records one batch may hold. Refills double. A
// batch of that size fits the connection's socket buffer whole, so that the server writes a batch
// asked for ahead without waiting for the program to read it.
constexpr int64_t kFirstBatchRows = 8;
constexpr int64_t kWalkBatchRows = 32;
constexpr int64_t kBatchBytes = 128 * 1024;
// Refills of a walk before it asks for the next batch ahead (see Refill).
constexpr int kRefillsBeforeAhead = 2;

constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;

constexpr char kCatalogueSql[] =
    "CREATE TABLE IF NOT EXISTS record_files (name text PRIMARY KEY, format text NOT NULL,"
    " version integer NOT NULL, create_data bytea NOT NULL, record_count bigint NOT NULL,"
    " owner bytea)";

std::string Quoted(const std::string& identifier) { return "\"" + identifier + "\""; }

std::string Parameter(size_t number) {
  std::string text = "$";
  text += std::to_string(number);
  return text;
}

// The second half of a lock's name: positions fit 32 bits, as the lock names need.
int32_t LockKey(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

class PostgresRecordFile : public RecordFile {
 public:
  ~PostgresRecordFile() override;

  int16_t OpenAt(const std::string& server, const std::string& table, int8_t mode,
                 std::string_view owner);

  int16_t Read(int16_t operation, bool lock, CallBuffers& io) override;
  int16_t GetPosition(bool lock, CallBuffers& io) override;
  int16_t GetDirect(bool lock, CallBuffers& io) override;
  int16_t Insert(CallBuffers& io) override;
  int16_t Update(CallBuffers& io) override;
  int16_t Delete() override;
  int16_t Stat(CallBuffers& io) override;
  int16_t Unlock() override;
  int16_t SetOwner(std::string_view owner) override;
  int16_t BeginTransaction() override;
  int16_t EndTransaction() override;
  int16_t AbortTransaction() override;
  int16_t BeginSnapshot() override;
  int16_t EndSnapshot() override;
  // The server keeps its indexes whole itself.
  int16_t VerifyKeys() override { return kRecordOk; }

 private:
  // A record as a statement returned it; `data` points into the statement's result.
  struct Found {
    int64_t position = 0;
    std::string_view data;
  };

  // What a batch holds: up to `rows` records of key `key` beyond (from_value, from_position) in
  // the direction asked, as the server saw the file at `since`.
  struct BatchAsked {
    size_t key = 0;
    bool forward = true;
    std::string from_value;
    int64_t from_position = 0;
    int64_t rows = 0;
    int64_t since = 0;
  };

  int16_t PrepareAll();
  int16_t CheckColumns();
  int16_t Fetch(size_t key, bool forward, const std::string& value, int64_t position, int64_t rows);
  // The next batch of a walk whose batch is used up: the one asked for ahead when there is one
  // fresh enough, else fetched now; then asks for the one after it.
  int16_t Refill(size_t key, bool forward, const std::string& value, int64_t position);
  void AskAhead();
  int16_t TakeBatch(PgResult result, BatchAsked asked);
  int16_t SeekInBatches(size_t key, const std::string& value, int64_t position, bool* served);
  // Whether batch row `row` lies beyond (value, position) in the batch's direction.
  bool RowBeyond(int row, const std::string& value, int64_t position) const;
  bool Fresh(int64_t since) const;
  // The batch row `row` as a record; kRecordIoError when its length is not the record length.
  int16_t BatchRow(int row, Found* found);
  bool BatchUsable(size_t key, bool forward) const;
  // The connection drops the batch asked for ahead when it runs its next statement.
  void DropBatch() {
    batch_live_ = false;
    ahead_ = false;
  }
  // Whether the batch asked for ahead is on its way: any other statement drops it.
  bool AheadPending() const { return ahead_ && conn_.sent(); }
  int16_t LoadRow(int64_t position, bool* found_it, Found* found);
  int16_t CursorToKey(size_t key);
  // Makes batch_row_ the record a read by `plan` finds, when batch_live_ says there is one: the
  // next row of a walk's batch, a row of a batch already fetched, or the first of a new one.
  // kRecordEndOfFile when a walk's batch was the last.
  int16_t FindInBatch(const ReadPlan& plan, size_t key, bool step, bool lock);
  int16_t RefreshLocked(size_t key, Found* found);
  // Makes `found` the current record and hands it to the caller. `comparable`: the record's key
  // `key` in comparable form.
  int16_t Deliver(size_t key, const Found& found, const std::string& comparable, CallBuffers& io);
  // Whether the record `data` gives the value `stored` of key `key` under which it is filed.
  bool FiledUnderItsKey(size_t key, std::string_view data, std::string_view stored);

  // Record locks, held at most once each as byte-range locks are.
  int16_t TakeRecordLock(int64_t position);
  int16_t LockRecord(int64_t position);
  void UnlockRecord(int64_t position);
  void DropRecordLock();
  void ReleaseWriteLock(int64_t position, bool written);
  void ReleaseTransactionLocks();

  // Runs `body` holding the file's write lock: inside the caller's transaction, or in one of its
  // own that commits when the body succeeds.
  int16_t Write(const std::function<int16_t()>& body);
  int16_t BeginLocked();
  // Commits the write transaction, adding what its writes changed to the file's record count.
  int16_t Commit();
  void Rollback();

  PgConnection conn_;
  std::string name_;   // the file's name in record_files, also its table's name
  std::string table_;  // the table's name quoted
  int32_t lock_space_ = 0;
  FileLayout layout_;
  bool read_only_ = false;
  int64_t max_batch_rows_ = kWalkBatchRows;

  bool transaction_ = false;
  bool snapshot_ = false;       // between BeginSnapshot and EndSnapshot
  int64_t snapshot_count_ = 0;  // the record count the snapshot sees
  // A write the server failed inside the caller's transaction: the server has undone the
  // transaction, and every write until its End or Abort gives this status.
  int16_t transaction_failure_ = kRecordOk;
  std::vector<int64_t> transaction_locks_;
  // Records added less records removed by the open write transaction. The count in record_files
  // changes once, at the commit: a row updated once per record of a large transaction would leave
  // a chain of versions that every further update walks.
  int64_t count_change_ = 0;
  std::set<int64_t> held_locks_;
  int64_t locked_position_ = 0;  // the lock of the last locked read; 0 = none

  Cursor cursor_;

  // The records that follow the current one in key order, as one statement fetched them.
  PgResult batch_;
  int batch_row_ = 0;
  bool batch_live_ = false;
  BatchAsked batch_asked_;
  bool batch_complete_ = false;  // the statement found fewer rows than asked: none lie beyond
  int64_t batch_rows_ = kWalkBatchRows;  // rows the next refill asks for
  int refills_ = 0;                      // refills since the walk began
  // The batch that follows this one has been asked for and is on its way.
  bool ahead_ = false;
  BatchAsked ahead_asked_;

  PgResult row_;  // the last record read by position
  std::string search_;
  std::string comparable_;
  std::vector<std::string> new_keys_;
};

PostgresRecordFile::~PostgresRecordFile() {
  if (conn_.lost()) return;
  // Others may write and lock as soon as Close returns, not when the server notices the end of
  // the connection.
  if (transaction_ || snapshot_) conn_.RunSql("ROLLBACK");
  conn_.RunSql("SELECT pg_advisory_unlock_all()");
}

int16_t PostgresRecordFile::OpenAt(const std::string& server, const std::string& table, int8_t mode,
                                   std::string_view owner) {
  read_only_ = mode == kOpenReadOnly;
  if (int16_t status = conn_.Connect(server); status != kRecordOk) return status;
  name_ = table;
  table_ = Quoted(table);
  PgResult info = conn_.RunSql(
      "SELECT format, version::int8, create_data, owner, to_regclass($2)::oid::int8"
      " FROM record_files WHERE name = $1",
      PgParams().Text(name_).Text(table_));
  if (!info.ok() && info.State() != "42P01") return conn_.StatusOf(info);
  if (!info.ok() || info.rows() == 0) {
    // A table of that name that no row describes belongs to another program.
    PgResult other = conn_.RunSql("SELECT to_regclass($1)::oid::int8", PgParams().Text(table_));
    if (int16_t status = conn_.StatusOf(other); status != kRecordOk) return status;
    return other.IsNull(0, 0) ? kRecordFileNotFound : kRecordIoError;
  }
  if (info.Bytes(0, 0) != kFormatName || info.Int64(0, 1) != kFormatVersion || info.IsNull(0, 4)) {
    return kRecordIoError;
  }
  std::string_view create_data = info.Bytes(0, 2);
  if (FileLayout::Parse(
          std::span(reinterpret_cast<const uint8_t*>(create_data.data()), create_data.size()),
          &layout_) != kRecordOk) {
    return kRecordIoError;
  }
  if (!info.IsNull(0, 3) && info.Bytes(0, 3) != owner) return kRecordWrongOwner;
  const int64_t oid = info.Int64(0, 4);
  lock_space_ = LockKey(oid);

  PgResult locked =
      conn_.RunSql(mode == kOpenExclusive ? "SELECT pg_try_advisory_lock($1::int4, 0)"
                                          : "SELECT pg_try_advisory_lock_shared($1::int4, 0)",
                   PgParams().Int32(lock_space_));
  if (int16_t status = conn_.StatusOf(locked); status != kRecordOk) return status;
  if (!locked.Bool(0, 0)) return kRecordFileLocked;
  // A Create may have replaced the table between the look and the lock.
  PgResult again = conn_.RunSql("SELECT to_regclass($1)::oid::int8", PgParams().Text(table_));
  if (int16_t status = conn_.StatusOf(again); status != kRecordOk) return status;
  if (again.IsNull(0, 0) || again.Int64(0, 0) != oid) return kRecordFileLocked;

  if (int16_t status = CheckColumns(); status != kRecordOk) return status;
  max_batch_rows_ = std::max<int64_t>(kWalkBatchRows, kBatchBytes / layout_.record_length());
  new_keys_.resize(layout_.key_count());
  return PrepareAll();
}

// Another program may have changed the table; its columns must be what the description says.
int16_t PostgresRecordFile::CheckColumns() {
  PgResult columns = conn_.RunSql(
      "SELECT attname::text, format_type(atttypid, atttypmod) FROM pg_attribute"
      " WHERE attrelid = to_regclass($1) AND attnum > 0 AND NOT attisdropped ORDER BY attnum",
      PgParams().Text(table_));
  if (int16_t status = conn_.StatusOf(columns); status != kRecordOk) return status;
  std::vector<std::pair<std::string, std::string>> expected = {{"pos", "bigint"},
                                                               {"data", "bytea"}};
  for (size_t k = 0; k < layout_.key_count(); ++k) expected.emplace_back(KeyColumn(k), "bytea");
  if (columns.rows() != static_cast<int>(expected.size())) return kRecordIoError;
  for (int i = 0; i < columns.rows(); ++i) {
    const auto& [name, type] = expected[static_cast<size_t>(i)];
    if (columns.Bytes(i, 0) != name || columns.Bytes(i, 1) != type) return kRecordIoError;
  }
  return kRecordOk;
}

int16_t PostgresRecordFile::PrepareAll() {
  std::string key_list;
  std::string values;
  std::string unique;
  std::string assignments;
  std::vector<Oid> insert_types = {kByteaOid};
  std::vector<Oid> update_types = {kInt8Oid, kByteaOid};
  for (size_t k = 0; k < layout_.key_count(); ++k) {
    const std::string column = KeyColumn(k);
    key_list += ", " + column;
    values += ", " + Parameter(k + 2);
    if (!layout_.key(k).duplicates) {
      unique += " AND NOT EXISTS (SELECT 1 FROM " + table_ + " WHERE " + column + " = " +
                Parameter(k + 2) + ")";
    }
    assignments += ", " + column + " = " + Parameter(k + 3);
    insert_types.push_back(kByteaOid);
    update_types.push_back(kByteaOid);
  }
  struct Statement {
    std::string name;
    std::string sql;
    std::vector<Oid> types;
  };
  std::vector<Statement> statements = {
      {"row", "SELECT pos, data" + key_list + " FROM " + table_ + " WHERE pos = $1", {kInt8Oid}},
      {"count", "SELECT record_count FROM record_files WHERE name = $1", {kTextOid}},
      {"write_lock", "SELECT 1 FROM record_files WHERE name = $1 FOR UPDATE", {kTextOid}},
      {"max_position", "SELECT coalesce(max(pos), 0) FROM " + table_, {}},
      // The new record takes the position after the last; a unique key already present, or no
      // position left, inserts nothing and returns no row.
      {"insert",
       "INSERT INTO " + table_ + " (pos, data" + key_list +
           ") SELECT coalesce(max(pos), 0) + 1, $1" + values + " FROM " + table_ +
           " HAVING coalesce(max(pos), 0) < " + std::to_string(kMaxPosition) + unique +
           " RETURNING pos",
       insert_types},
      {"update", "UPDATE " + table_ + " SET data = $2" + assignments + " WHERE pos = $1",
       update_types},
      {"delete", "DELETE FROM " + table_ + " WHERE pos = $1 RETURNING pos", {kInt8Oid}},
      {"add_count",
       "UPDATE record_files SET record_count = record_count + $2 WHERE name = $1",
       {kTextOid, kInt8Oid}},
      {"lock", "SELECT pg_try_advisory_lock($1, $2)", {kInt4Oid, kInt4Oid}},
      {"unlock", "SELECT pg_advisory_unlock($1, $2)", {kInt4Oid, kInt4Oid}},
      {"owner", "SELECT owner FROM record_files WHERE name = $1", {kTextOid}},
      {"set_owner", "UPDATE record_files SET owner = $2 WHERE name = $1", {kTextOid, kByteaOid}},
  };
  for (size_t k = 0; k < layout_.key_count(); ++k) {
    const std::string column = KeyColumn(k);
    const std::string select =
        "SELECT pos, data, " + column + " FROM " + table_ + " WHERE (" + column + ", pos)";
    statements.push_back({"next" + std::to_string(k),
                          select + " > ($1, $2) ORDER BY " + column + ", pos LIMIT $3",
                          {kByteaOid, kInt8Oid, kInt8Oid}});
    statements.push_back({"previous" + std::to_string(k),
                          select + " < ($1, $2) ORDER BY " + column + " DESC, pos DESC LIMIT $3",
                          {kByteaOid, kInt8Oid, kInt8Oid}});
    statements.push_back({"exists" + std::to_string(k),
                          "SELECT 1 FROM " + table_ + " WHERE " + column + " = $1 AND pos <> $2",
                          {kByteaOid, kInt8Oid}});
  }
  for (const Statement& statement : statements) {
    if (int16_t status = conn_.Prepare(statement.name, statement.sql, statement.types);
        status != kRecordOk) {
      return status;
    }
  }
  return kRecordOk;
}

// Fetches up to `rows` records of key `key` beyond (value, position), in the direction asked,
// as the new batch; its first row is the record the read finds.
int16_t PostgresRecordFile::Fetch(size_t key, bool forward, const std::string& value,
                                  int64_t position, int64_t rows) {
  BatchAsked asked{key, forward, value, position, rows, CoarseNanoseconds()};
  return TakeBatch(conn_.Run((forward ? "next" : "previous") + std::to_string(key),
                             PgParams().Bytes(value).Int64(position).Int64(rows)),
                   std::move(asked));
}

int16_t PostgresRecordFile::Refill(size_t key, bool forward, const std::string& value,
                                   int64_t position) {
  int16_t status = kRecordOk;
  if (AheadPending() && Fresh(ahead_asked_.since)) {
    status = TakeBatch(conn_.Receive(), std::move(ahead_asked_));
  } else {
    batch_rows_ = std::min(batch_rows_ * 2, max_batch_rows_);
    status = Fetch(key, forward, value, position, batch_rows_);
  }
  // A walk that has gone on this long is likely to go on: the records that follow are asked for
  // ahead. Shorter ones, such as the records of one key value, do not pay for a batch they drop.
  if (status == kRecordOk && batch_live_ && !batch_complete_ && ++refills_ >= kRefillsBeforeAhead) {
    AskAhead();
  }
  return status;
}

// Asks for the records beyond the last of the batch, which the walk reads next unless it stops:
// the server finds them while the caller works through this batch.
void PostgresRecordFile::AskAhead() {
  const int last = batch_.rows() - 1;
  batch_rows_ = std::min(batch_rows_ * 2, max_batch_rows_);
  ahead_asked_ =
      BatchAsked{batch_asked_.key,      batch_asked_.forward, std::string(batch_.Bytes(last, 2)),
                 batch_.Int64(last, 0), batch_rows_,          CoarseNanoseconds()};
  conn_.Send((ahead_asked_.forward ? "next" : "previous") + std::to_string(ahead_asked_.key),
             PgParams()
                 .Bytes(ahead_asked_.from_value)
                 .Int64(ahead_asked_.from_position)
                 .Int64(ahead_asked_.rows));
  ahead_ = true;
}

int16_t PostgresRecordFile::TakeBatch(PgResult result, BatchAsked asked) {
  batch_live_ = false;
  ahead_ = false;
  batch_ = std::move(result);
  if (int16_t status = conn_.StatusOf(batch_); status != kRecordOk) return status;
  batch_live_ = batch_.rows() > 0;
  batch_row_ = 0;
  batch_complete_ = batch_.rows() < asked.rows;
  batch_asked_ = std::move(asked);
  return kRecordOk;
}

bool PostgresRecordFile::RowBeyond(int row, const std::string& value, int64_t position) const {
  return BeyondInKeyOrder(batch_asked_.forward, batch_.Bytes(row, 2), batch_.Int64(row, 0), value,
                          position);
}

// Inside a read snapshot every batch shows the file as the snapshot does, however old it is. A
// read that positions forward of the walk in the batch's key, to the first record beyond (value,
// position), is then answered from the batch, or from the one asked for ahead of it, when that
// record lies in it: the statement skips forward so between the owners it reports. *served tells
// whether it was.
int16_t PostgresRecordFile::SeekInBatches(size_t key, const std::string& value, int64_t position,
                                          bool* served) {
  *served = false;
  if (!snapshot_ || !batch_live_ || batch_asked_.key != key || !batch_asked_.forward) {
    return kRecordOk;
  }
  // The records beyond (value, position) start in this batch only if it starts at or before it.
  if (BeyondInKeyOrder(true, batch_asked_.from_value, batch_asked_.from_position, value,
                       position)) {
    return kRecordOk;
  }
  if (!RowBeyond(batch_.rows() - 1, value, position)) {
    if (!AheadPending()) return kRecordOk;
    // Past this batch: the next one starts right after it.
    if (int16_t status = TakeBatch(conn_.Receive(), std::move(ahead_asked_)); status != kRecordOk) {
      return status;
    }
    if (!batch_live_ || !RowBeyond(batch_.rows() - 1, value, position)) return kRecordOk;
    if (!batch_complete_) AskAhead();
  }
  // The first row beyond: rows come in key order.
  int low = 0;
  int high = batch_.rows() - 1;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (RowBeyond(middle, value, position)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  batch_row_ = low;
  *served = true;
  return kRecordOk;
}

int16_t PostgresRecordFile::BatchRow(int row, Found* found) {
  found->position = batch_.Int64(row, 0);
  found->data = batch_.Bytes(row, 1);
  if (found->data.size() != layout_.record_length()) return kRecordIoError;
  return FiledUnderItsKey(batch_asked_.key, found->data, batch_.Bytes(row, 2)) ? kRecordOk
                                                                               : kRecordIoError;
}

bool PostgresRecordFile::FiledUnderItsKey(size_t key, std::string_view data,
                                          std::string_view stored) {
  layout_.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(data.data()), &comparable_);
  return comparable_ == stored;
}

// A batch read outside a read snapshot is used for a fraction of a second at most, the freshness
// the record manager promises.
bool PostgresRecordFile::Fresh(int64_t since) const {
  return snapshot_ || CoarseNanoseconds() - since < kSnapshotLifetimeNanoseconds;
}

bool PostgresRecordFile::BatchUsable(size_t key, bool forward) const {
  return batch_live_ && batch_asked_.key == key && batch_asked_.forward == forward &&
         Fresh(batch_asked_.since);
}

int16_t PostgresRecordFile::LoadRow(int64_t position, bool* found_it, Found* found) {
  row_ = conn_.Run("row", PgParams().Int64(position));
  if (int16_t status = conn_.StatusOf(row_); status != kRecordOk) return status;
  *found_it = row_.rows() > 0;
  if (!*found_it) return kRecordOk;
  found->position = position;
  found->data = row_.Bytes(0, 1);
  return found->data.size() == layout_.record_length() ? kRecordOk : kRecordIoError;
}

int16_t PostgresRecordFile::Deliver(size_t key, const Found& found, const std::string& comparable,
                                    CallBuffers& io) {
  cursor_.Place(key, comparable, found.position);
  return AnswerRecord(layout_, key, found.data, io);
}

int16_t PostgresRecordFile::LockRecord(int64_t position) {
  if (held_locks_.count(position) != 0) return kRecordOk;
  PgResult locked = conn_.Run("lock", PgParams().Int32(lock_space_).Int32(LockKey(position)));
  if (int16_t status = conn_.StatusOf(locked); status != kRecordOk) return status;
  if (!locked.Bool(0, 0)) return kRecordRecordLocked;
  held_locks_.insert(position);
  return kRecordOk;
}

void PostgresRecordFile::UnlockRecord(int64_t position) {
  if (held_locks_.erase(position) == 0) return;
  conn_.Run("unlock", PgParams().Int32(lock_space_).Int32(LockKey(position)));
}

int16_t PostgresRecordFile::TakeRecordLock(int64_t position) {
  if (locked_position_ == position) return kRecordOk;
  if (int16_t status = LockRecord(position); status != kRecordOk) return status;
  DropRecordLock();
  locked_position_ = position;
  return kRecordOk;
}

void PostgresRecordFile::DropRecordLock() {
  if (locked_position_ != 0 && std::find(transaction_locks_.begin(), transaction_locks_.end(),
                                         locked_position_) == transaction_locks_.end()) {
    UnlockRecord(locked_position_);
  }
  locked_position_ = 0;
}

void PostgresRecordFile::ReleaseWriteLock(int64_t position, bool written) {
  const bool kept_for_transaction = std::find(transaction_locks_.begin(), transaction_locks_.end(),
                                              position) != transaction_locks_.end();
  if (transaction_ && written) {
    if (!kept_for_transaction) transaction_locks_.push_back(position);
  } else if (position != locked_position_ && !kept_for_transaction) {
    UnlockRecord(position);
  }
}

void PostgresRecordFile::ReleaseTransactionLocks() {
  for (int64_t position : transaction_locks_) {
    if (position != locked_position_) UnlockRecord(position);
  }
  transaction_locks_.clear();
}

// After a locked read found its record: the lock is taken, then the record is read again, so
// that what the caller gets is what it now holds. Writers take the same lock for the length of
// their write. Gives kRecordKeyNotFound when the record moved in key order or vanished before
// the lock was taken (the caller looks again).
int16_t PostgresRecordFile::RefreshLocked(size_t key, Found* found) {
  const int64_t position = found->position;
  std::string expected;
  layout_.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(found->data.data()), &expected);
  DropBatch();
  if (int16_t status = TakeRecordLock(position); status != kRecordOk) return status;
  bool found_it = false;
  if (int16_t status = LoadRow(position, &found_it, found); status != kRecordOk) return status;
  if (!found_it) return kRecordKeyNotFound;
  layout_.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(found->data.data()),
                             &comparable_);
  return comparable_ == expected ? kRecordOk : kRecordKeyNotFound;
}

// Going on in another key's order: finds where the current record stands in it.
int16_t PostgresRecordFile::CursorToKey(size_t key) {
  DropBatch();
  bool found_it = false;
  Found current;
  if (int16_t status = LoadRow(cursor_.position, &found_it, &current); status != kRecordOk) {
    return status;
  }
  if (!found_it) return kRecordNoCurrentRecord;
  layout_.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(current.data.data()),
                             &cursor_.value);
  cursor_.key = key;
  return kRecordOk;
}

int16_t PostgresRecordFile::FindInBatch(const ReadPlan& plan, size_t key, bool step, bool lock) {
  if (step && !lock && BatchUsable(key, plan.forward)) {
    if (batch_row_ + 1 < batch_.rows()) {
      ++batch_row_;
      return kRecordOk;
    }
    if (batch_complete_) return kRecordEndOfFile;
    return Refill(key, plan.forward, *plan.bound_key, plan.bound_position);
  }
  bool served = false;
  if (!lock && !step && plan.forward) {
    if (int16_t status = SeekInBatches(key, *plan.bound_key, plan.bound_position, &served);
        status != kRecordOk) {
      return status;
    }
  }
  if (served) return kRecordOk;
  batch_rows_ = kWalkBatchRows;
  refills_ = 0;
  const int64_t rows = lock ? 1 : step ? kWalkBatchRows : kFirstBatchRows;
  return Fetch(key, plan.forward, *plan.bound_key, plan.bound_position, rows);
}

int16_t PostgresRecordFile::Read(int16_t operation, bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (int16_t status = CheckReadArguments(operation, layout_, cursor_, io); status != kRecordOk) {
    return status;
  }
  const size_t key = static_cast<size_t>(io.key_number);
  const bool step = IsStep(operation);
  if (step && cursor_.key != key) {
    if (int16_t status = CursorToKey(key); status != kRecordOk) return status;
  }
  for (int attempt = 0; attempt < kLockedReadAttempts; ++attempt) {
    ReadPlan plan;
    if (!PlanRead(operation, layout_, key, io.key, cursor_.value, cursor_.position, &search_,
                  &plan)) {
      return kRecordInvalidOperation;
    }
    Found found;
    if (int16_t status = FindInBatch(plan, key, step, lock); status != kRecordOk) return status;
    if (!batch_live_) return plan.equal ? kRecordKeyNotFound : kRecordEndOfFile;
    if (int16_t status = BatchRow(batch_row_, &found); status != kRecordOk) {
      DropBatch();
      return status;
    }
    if (!BeyondInKeyOrder(plan.forward, batch_.Bytes(batch_row_, 2), found.position,
                          *plan.bound_key, plan.bound_position)) {
      DropBatch();
      return kRecordIoError;
    }
    // BatchRow left the record's key in comparable form in comparable_, and so does RefreshLocked.
    if (plan.equal && comparable_ != search_) {
      DropBatch();
      return kRecordKeyNotFound;
    }
    if (lock) {
      int16_t status = RefreshLocked(key, &found);
      if (status == kRecordKeyNotFound) continue;
      if (status != kRecordOk) return status;
    }
    return Deliver(key, found, comparable_, io);
  }
  return kRecordFileLocked;
}

int16_t PostgresRecordFile::GetPosition(bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  if (io.capacity() < 4) return kRecordDataBufferShort;
  if (lock) {
    if (int16_t status = TakeRecordLock(cursor_.position); status != kRecordOk) return status;
  }
  AnswerPosition(cursor_.position, io);
  return kRecordOk;
}

int16_t PostgresRecordFile::GetDirect(bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (int16_t status = CheckKeyArguments(layout_, io); status != kRecordOk) return status;
  int64_t position = 0;
  if (int16_t status = PositionArgument(io, &position); status != kRecordOk) return status;
  const int64_t previously_locked = locked_position_;
  if (lock) {
    if (int16_t status = TakeRecordLock(position); status != kRecordOk) return status;
  }
  DropBatch();
  bool found_it = false;
  Found found;
  const size_t key = static_cast<size_t>(io.key_number);
  int16_t status = LoadRow(position, &found_it, &found);
  if (status == kRecordOk && !found_it) status = kRecordInvalidPosition;
  // FiledUnderItsKey leaves the record's key in comparable form in comparable_.
  if (status == kRecordOk && !FiledUnderItsKey(key, found.data, row_.Bytes(0, 2 + key))) {
    status = kRecordIoError;
  }
  if (status != kRecordOk) {
    if (lock && previously_locked != position) DropRecordLock();
    return status;
  }
  return Deliver(key, found, comparable_, io);
}

int16_t PostgresRecordFile::BeginLocked() {
  if (int16_t status = conn_.StatusOf(conn_.RunSql("BEGIN")); status != kRecordOk) return status;
  int16_t status = conn_.StatusOf(conn_.Run("write_lock", PgParams().Text(name_)));
  if (status != kRecordOk) Rollback();
  return status;
}

void PostgresRecordFile::Rollback() {
  count_change_ = 0;
  conn_.RunSql("ROLLBACK");
}

int16_t PostgresRecordFile::Write(const std::function<int16_t()>& body) {
  // Every write starts here; none may run inside a read snapshot.
  if (snapshot_) return kRecordInvalidOperation;
  if (read_only_) return kRecordAccessDenied;
  if (transaction_failure_ != kRecordOk) return transaction_failure_;
  DropBatch();
  if (transaction_) {
    int16_t status = body();
    if (status != kRecordOk && conn_.in_failed_transaction()) transaction_failure_ = status;
    return status;
  }
  if (int16_t status = BeginLocked(); status != kRecordOk) return status;
  int16_t status = body();
  if (status == kRecordOk) {
    status = Commit();
  } else {
    Rollback();
  }
  return status;
}

int16_t PostgresRecordFile::Commit() {
  const int64_t change = count_change_;
  count_change_ = 0;
  if (change != 0) {
    int16_t status = conn_.StatusOf(conn_.Run("add_count", PgParams().Text(name_).Int64(change)));
    if (status != kRecordOk) {
      Rollback();
      return status;
    }
  }
  PgResult commit = conn_.RunSql("COMMIT");
  int16_t status = conn_.StatusOf(commit);
  if (status == kRecordOk && commit.Tag() != "COMMIT") status = kRecordIoError;
  return status;
}

int16_t PostgresRecordFile::Insert(CallBuffers& io) {
  if (read_only_) return kRecordAccessDenied;
  if (int16_t status = CheckRecordArguments(layout_, io); status != kRecordOk) return status;
  ComparableKeys(layout_, io.data, &new_keys_);
  int64_t position = 0;
  int16_t status = Write([&]() -> int16_t {
    PgParams params;
    params.Bytes(std::string_view(reinterpret_cast<const char*>(io.data), io.capacity()));
    for (const std::string& value : new_keys_) params.Bytes(value);
    PgResult added = conn_.Run("insert", params);
    if (int16_t failed = conn_.StatusOf(added); failed != kRecordOk) return failed;
    if (added.rows() == 1) {
      position = added.Int64(0, 0);
      ++count_change_;
      return kRecordOk;
    }
    PgResult last = conn_.Run("max_position", PgParams());
    if (int16_t failed = conn_.StatusOf(last); failed != kRecordOk) return failed;
    return last.Int64(0, 0) >= kMaxPosition ? kRecordIoError : kRecordDuplicateKey;
  });
  if (status != kRecordOk) return status;
  PlaceWritten(layout_, new_keys_, position, io, &cursor_);
  return kRecordOk;
}

int16_t PostgresRecordFile::Update(CallBuffers& io) {
  if (read_only_) return kRecordAccessDenied;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  if (int16_t status = CheckRecordArguments(layout_, io); status != kRecordOk) return status;
  const int64_t position = cursor_.position;
  ComparableKeys(layout_, io.data, &new_keys_);
  // The record lock is held for the whole write, so a locked read elsewhere either waits for the
  // new record or keeps others from changing the one it holds.
  const bool had_lock = held_locks_.count(position) != 0;
  if (int16_t status = LockRecord(position); status != kRecordOk) return status;
  int16_t status = Write([&]() -> int16_t {
    bool found_it = false;
    Found stored;
    if (int16_t failed = LoadRow(position, &found_it, &stored); failed != kRecordOk) return failed;
    if (!found_it) return kRecordNoCurrentRecord;
    for (size_t k = 0; k < layout_.key_count(); ++k) {
      layout_.ComparableOfRecord(k, reinterpret_cast<const uint8_t*>(stored.data.data()),
                                 &comparable_);
      if (comparable_ == new_keys_[k]) continue;
      if (!layout_.key(k).modifiable) return kRecordKeyNotModifiable;
      if (layout_.key(k).duplicates) continue;
      PgResult taken =
          conn_.Run("exists" + std::to_string(k), PgParams().Bytes(new_keys_[k]).Int64(position));
      if (int16_t failed = conn_.StatusOf(taken); failed != kRecordOk) return failed;
      if (taken.rows() > 0) return kRecordDuplicateKey;
    }
    PgParams params;
    params.Int64(position).Bytes(
        std::string_view(reinterpret_cast<const char*>(io.data), io.capacity()));
    for (const std::string& value : new_keys_) params.Bytes(value);
    return conn_.StatusOf(conn_.Run("update", params));
  });
  if (!had_lock) ReleaseWriteLock(position, status == kRecordOk);
  if (status != kRecordOk) return status;
  PlaceWritten(layout_, new_keys_, position, io, &cursor_);
  return kRecordOk;
}

int16_t PostgresRecordFile::Delete() {
  if (read_only_) return kRecordAccessDenied;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  const int64_t position = cursor_.position;
  const bool had_lock = locked_position_ == position;
  if (int16_t status = LockRecord(position); status != kRecordOk) return status;
  int16_t status = Write([&]() -> int16_t {
    PgResult gone = conn_.Run("delete", PgParams().Int64(position));
    if (int16_t failed = conn_.StatusOf(gone); failed != kRecordOk) return failed;
    if (gone.rows() != 1) return kRecordNoCurrentRecord;
    --count_change_;
    return kRecordOk;
  });
  if (had_lock) locked_position_ = 0;
  ReleaseWriteLock(position, status == kRecordOk);
  if (status != kRecordOk) return status;
  // Next and previous still go on from where the record stood.
  cursor_.has_current = false;
  return kRecordOk;
}

int16_t PostgresRecordFile::Stat(CallBuffers& io) {
  // A snapshot's count does not change: the layer asks for it before every read by key.
  int64_t count = snapshot_count_;
  if (!snapshot_) {
    PgResult counted = conn_.Run("count", PgParams().Text(name_));
    if (int16_t status = conn_.StatusOf(counted); status != kRecordOk) return status;
    if (counted.rows() != 1) return kRecordIoError;
    // The writes of this file's own transaction count before they are committed.
    count = counted.Int64(0, 0) + count_change_;
  }
  return AnswerStat(layout_, count, io);
}

int16_t PostgresRecordFile::Unlock() {
  DropRecordLock();
  return kRecordOk;
}

int16_t PostgresRecordFile::BeginTransaction() {
  if (read_only_) return kRecordAccessDenied;
  if (transaction_ || snapshot_) return kRecordInvalidOperation;
  DropBatch();
  const int16_t status = BeginLocked();
  if (status == kRecordOk) {
    transaction_ = true;
    transaction_failure_ = kRecordOk;
  }
  return status;
}

int16_t PostgresRecordFile::EndTransaction() {
  if (!transaction_) return kRecordInvalidOperation;
  transaction_ = false;
  DropBatch();
  int16_t status = transaction_failure_;
  if (status == kRecordOk) {
    status = Commit();
  } else {
    Rollback();
  }
  transaction_failure_ = kRecordOk;
  ReleaseTransactionLocks();
  if (status != kRecordOk) cursor_.Clear();
  return status;
}

int16_t PostgresRecordFile::AbortTransaction() {
  if (!transaction_) return kRecordInvalidOperation;
  transaction_ = false;
  transaction_failure_ = kRecordOk;
  DropBatch();
  Rollback();
  ReleaseTransactionLocks();
  // The current record may have been one of those undone.
  cursor_.Clear();
  return kRecordOk;
}

int16_t PostgresRecordFile::BeginSnapshot() {
  if (snapshot_ || transaction_) return kRecordInvalidOperation;
  DropBatch();
  PgResult begun = conn_.RunSql("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  if (int16_t status = conn_.StatusOf(begun); status != kRecordOk) return status;
  // The transaction's snapshot is taken by its first statement: take it now, with the count.
  PgResult counted = conn_.Run("count", PgParams().Text(name_));
  int16_t status = conn_.StatusOf(counted);
  if (status == kRecordOk && counted.rows() != 1) status = kRecordIoError;
  if (status != kRecordOk) {
    Rollback();
    return status;
  }
  snapshot_count_ = counted.Int64(0, 0);
  snapshot_ = true;
  return kRecordOk;
}

int16_t PostgresRecordFile::EndSnapshot() {
  if (!snapshot_) return kRecordInvalidOperation;
  snapshot_ = false;
  DropBatch();
  // Nothing was written: ending the read cannot fail in a way that matters to the caller.
  Rollback();
  return kRecordOk;
}

int16_t PostgresRecordFile::SetOwner(std::string_view owner) {
  return Write([&]() -> int16_t {
    PgResult current = conn_.Run("owner", PgParams().Text(name_));
    if (int16_t status = conn_.StatusOf(current); status != kRecordOk) return status;
    if (current.rows() != 1) return kRecordIoError;
    if (!current.IsNull(0, 0)) {
      return current.Bytes(0, 0) == owner ? kRecordOk : kRecordOwnerAlreadySet;
    }
    return conn_.StatusOf(conn_.Run("set_owner", PgParams().Text(name_).Bytes(owner)));
  });
}

// Waits up to kCreateLockWaitMs for the exclusive open lock of the table whose lock space is
// `space`: nobody may have the file open while Create replaces it.
int16_t WaitForExclusive(PgConnection& conn, int32_t space) {
  for (int waited = 0;; waited += 10) {
    PgResult locked =
        conn.RunSql("SELECT pg_try_advisory_lock($1::int4, 0)", PgParams().Int32(space));
    if (int16_t status = conn.StatusOf(locked); status != kRecordOk) return status;
    if (locked.Bool(0, 0)) return kRecordOk;
    if (waited >= kCreateLockWaitMs) return kRecordFileLocked;
    SleepBriefly();
  }
}

// The statements that lay out a new table for `layout`.
std::vector<std::string> TableSchema(const std::string& name, const FileLayout& layout) {
  const std::string table = Quoted(name);
  std::string create = "CREATE TABLE " + table + " (pos bigint PRIMARY KEY, data bytea NOT NULL";
  for (size_t k = 0; k < layout.key_count(); ++k) create += ", " + KeyColumn(k) + " bytea NOT NULL";
  create += ")";
  std::vector<std::string> statements = {create};
  for (size_t k = 0; k < layout.key_count(); ++k) {
    statements.push_back("CREATE INDEX " + Quoted(name + "_" + KeyColumn(k)) + " ON " + table +
                         " (" + KeyColumn(k) + ", pos)");
  }
  return statements;
}

// Creates record_files when the database has none yet. Two programs doing it at once may collide
// on the server's own catalogue; the second attempt then finds the table there.
int16_t EnsureCatalogue(PgConnection& conn) {
  int16_t status = kRecordOk;
  for (int attempt = 0; attempt < 2; ++attempt) {
    PgResult created = conn.RunSql(kCatalogueSql);
    if (created.ok()) return kRecordOk;
    status = conn.StatusOf(created);
    if (created.State() != "23505" && created.State() != "42P07") break;
  }
  return status;
}

}  // namespace

bool TableNameOfPath(const std::string& path, std::string* table) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  if (name.empty() || name.size() > kMaxTableName || (name[0] >= '0' && name[0] <= '9')) {
    return false;
  }
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!allowed) return false;
  }
  if (name == kCatalogueTable) return false;
  *table = name;
  return true;
}

int16_t OpenPostgresRecordFile(const std::string& server, const std::string& table, int8_t mode,
                               std::string_view owner, std::unique_ptr<RecordFile>* file) {
  auto opened = std::make_unique<PostgresRecordFile>();
  int16_t status = opened->OpenAt(server, table, mode, owner);
  if (status == kRecordOk) *file = std::move(opened);
  return status;
}

int16_t CreatePostgresRecordFile(const std::string& server, const std::string& table,
                                 const FileLayout& layout, int8_t mode) {
  PgConnection conn;
  if (int16_t status = conn.Connect(server); status != kRecordOk) return status;
  if (int16_t status = EnsureCatalogue(conn); status != kRecordOk) return status;
  PgResult existing = conn.RunSql(
      "SELECT to_regclass($2)::oid::int8, EXISTS (SELECT 1 FROM record_files WHERE name = $1)",
      PgParams().Text(table).Text(Quoted(table)));
  if (int16_t status = conn.StatusOf(existing); status != kRecordOk) return status;
  const bool described = existing.Bool(0, 1);
  const bool has_table = !existing.IsNull(0, 0);
  if (described && mode == kCreateNew) return kRecordFileExists;
  // A table that no row describes belongs to another program and is never replaced.
  if (!described && has_table) return mode == kCreateNew ? kRecordFileExists : kRecordCreateError;
  if (has_table) {
    if (int16_t status = WaitForExclusive(conn, LockKey(existing.Int64(0, 0)));
        status != kRecordOk) {
      return status;
    }
  }

  std::vector<std::string> statements = {"BEGIN"};
  if (has_table) statements.push_back("DROP TABLE " + Quoted(table));
  for (std::string& statement : TableSchema(table, layout)) statements.push_back(statement);
  int16_t status = kRecordOk;
  std::string state;
  for (const std::string& statement : statements) {
    PgResult result = conn.RunSql(statement);
    status = conn.StatusOf(result);
    state = result.State();
    if (status != kRecordOk) break;
  }
  if (status == kRecordOk) {
    const std::vector<uint8_t>& data = layout.create_data();
    PgResult described_now = conn.RunSql(
        "INSERT INTO record_files (name, format, version, create_data, record_count, owner)"
        " VALUES ($1, $2, $3::int4, $4, 0, NULL) ON CONFLICT (name) DO UPDATE SET"
        " format = EXCLUDED.format, version = EXCLUDED.version,"
        " create_data = EXCLUDED.create_data, record_count = 0, owner = NULL",
        PgParams()
            .Text(table)
            .Text(kFormatName)
            .Int32(kFormatVersion)
            .Bytes(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())));
    status = conn.StatusOf(described_now);
    state = described_now.State();
  }
  if (status == kRecordOk) {
    PgResult commit = conn.RunSql("COMMIT");
    status = conn.StatusOf(commit);
    state = commit.State();
    if (status == kRecordOk && commit.Tag() != "COMMIT") status = kRecordCreateError;
  }
  if (status == kRecordOk) return kRecordOk;
  conn.RunSql("ROLLBACK");
  // Another program created the same file at the same moment.
  if (state == "42P07" || state == "23505") {
    return mode == kCreateNew ? kRecordFileExists : kRecordFileLocked;
  }
  return status == kRecordIoError ? kRecordCreateError : status;
}

}  // namespace quarnell::engine
