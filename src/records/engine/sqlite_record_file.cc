// Record files stored as SQLite databases, one database per file at the file's path.
//
// Schema: one row per record in `records`, whose integer primary key `pos` is the record's
// position. Each key k has a column `k<k>` holding the key's comparable bytes and an index on
// (k<k>, p), where `p` is a plain copy of `pos`. The copy matters: with the row id itself as the
// second index column, SQLite plans `(k, pos) > (?, ?)` as a seek on k alone and re-reads every
// earlier duplicate of a key on each step. Duplicates come in position order, which is insertion
// order because positions only grow at the end.
//
// `file_info` holds the Create data, the record count (kept on every insert and delete so that
// Stat never counts rows) and the owner name.
//
// Reads in key order keep the statement that found the current record stepping, so the next
// record costs one sqlite3_step. A stepping statement holds its read snapshot open; it is dropped
// before any write of this connection and after kSnapshotLifetime, so that a reader neither keeps
// seeing old data for long nor stops other processes' checkpoints. A read snapshot asked for by
// the caller is a deferred transaction begun with a read, held until its end.
#include "records/engine/sqlite_record_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "records/engine/file_layout.h"
#include "records/engine/record_call.h"
#include "records/engine/side_lock.h"
#include "records/engine/storage_common.h"

namespace quarnell::engine {
namespace {

// A write waits this long for another process's write to finish before giving kRecordFileLocked.
constexpr int kBusyTimeoutMs = 1000;

// Connection settings shared by every open. Memory-mapped I/O stays off: with it, readers slow
// down whenever another process commits. The page cache may grow to 64 MiB, enough for the key
// index of a million-record file and the table pages around the records being read; it only
// takes what the file's reads need.
constexpr char kConnectionSettings[] =
    "PRAGMA mmap_size=0; PRAGMA cache_size=-65536; PRAGMA synchronous=NORMAL;";

// All the files a process has open share one budget for their page caches: a program that keeps
// thirteen files open and walks the largest from end to end would otherwise hold 64 MiB for each,
// and its memory would follow the size of the agency. SQLite gives back the least recently used
// pages as the caches together approach the budget.
constexpr int64_t kProcessCacheBudget = 32 * 1024 * 1024;

void SetProcessCacheBudget() {
  static const bool done = (sqlite3_soft_heap_limit64(kProcessCacheBudget), true);
  (void)done;
}

int16_t StatusOf(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kRecordFileLocked;
    case SQLITE_READONLY:
      return kRecordAccessDenied;
    default:
      return kRecordIoError;
  }
}

bool PathMissing(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// Whether the system refuses this user `mode` access to `path` (permissions, a read-only mount).
bool AccessRefused(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) != 0 &&
         (errno == EACCES || errno == EPERM || errno == EROFS);
}

// Why a file that could not be opened failed: gone, or no permission to read and write it or to
// write beside it (its journal and lock files live in its directory), or else damage. A read-only
// directory must not send an administrator looking for a damaged file.
int16_t OpenFailure(const std::string& path, bool read_only) {
  if (PathMissing(path)) return kRecordFileNotFound;
  const size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (AccessRefused(path, read_only ? R_OK : R_OK | W_OK) ||
      AccessRefused(directory, W_OK | X_OK)) {
    return kRecordAccessDenied;
  }
  return kRecordIoError;
}

class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }

  bool Prepare(sqlite3* db, const std::string& sql) {
    return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) ==
           SQLITE_OK;
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when the scope ends, ending the read it holds.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~ResetOnExit() { sqlite3_reset(stmt_); }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

// `bytes` must stay as they are until the statement is reset; BindCopy for values that change
// while a statement keeps stepping.
void BindBlob(sqlite3_stmt* stmt, int index, const void* bytes, size_t size,
              sqlite3_destructor_type lifetime = SQLITE_STATIC) {
  // A null pointer would bind NULL, which compares with nothing; an empty blob must stay a blob.
  static const char kEmpty = 0;
  sqlite3_bind_blob(stmt, index, size == 0 ? &kEmpty : bytes, static_cast<int>(size), lifetime);
}

void BindCopy(sqlite3_stmt* stmt, int index, const std::string& bytes) {
  BindBlob(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

std::string_view ColumnBytes(sqlite3_stmt* stmt, int column) {
  const void* bytes = sqlite3_column_blob(stmt, column);
  int size = sqlite3_column_bytes(stmt, column);
  return bytes == nullptr
             ? std::string_view()
             : std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

class SqliteRecordFile : public RecordFile {
 public:
  ~SqliteRecordFile() override {
    live_ = nullptr;
    statements_.clear();
    sqlite3_close_v2(db_);
  }

  int16_t OpenAt(const std::string& path, int8_t mode, std::string_view owner);

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
  int16_t VerifyKeys() override;

 private:
  struct KeyStatements {
    sqlite3_stmt* next = nullptr;    // (k, p) > (?1, ?2) ascending
    sqlite3_stmt* prev = nullptr;    // (k, p) < (?1, ?2) descending
    sqlite3_stmt* exists = nullptr;  // a record other than ?2 with k = ?1
  };

  sqlite3_stmt* Prepare(const std::string& sql);
  bool PrepareAll();
  void DropLive();
  // Steps `stmt` (already bound) to the record that the read finds; on success fills found_*.
  int16_t Find(sqlite3_stmt* stmt, size_t key, bool equal);
  int16_t Deliver(size_t key, CallBuffers& io);
  // Whether found_data_ is a record of this file whose key `key` is found_key_.
  bool FoundRecordHoldsTogether(size_t key);
  bool TakeRecordLock(int64_t position);
  // Lets go of the read lock, unless a write of the open transaction needs it kept.
  void DropRecordLock();
  int16_t RefreshLocked(size_t key);
  int16_t CursorToKey(size_t key);
  // The statement that finds what `plan` asks, bound and ready to step: for a `walk` (an unlocked
  // next or previous) the one still stepping past the current record in the same direction while
  // its snapshot is fresh, else the key's statement from the plan's bound.
  sqlite3_stmt* ReadStatement(const ReadPlan& plan, size_t key, bool walk);
  // kRecordIoError unless every key's index has as many entries as the file has records.
  int16_t CountKeyEntries();
  int16_t QueryNumber(const std::string& sql, int64_t* result);
  std::string CountedIndex();
  int16_t Begin();
  int16_t Commit();
  void Rollback();
  int16_t AddToCount(int delta);
  // Lets go of the lock a write took on `position`, or keeps it to the end of the transaction.
  void ReleaseWriteLock(int64_t position, bool written);
  void ReleaseTransactionLocks();
  int16_t CheckUnique(size_t key, const std::string& comparable, int64_t position);
  int16_t LoadRow(int64_t position, bool* found);

  sqlite3* db_ = nullptr;
  FileLayout layout_;
  SideLock side_lock_;
  bool read_only_ = false;

  std::vector<Statement> statements_;
  std::vector<KeyStatements> keys_;
  sqlite3_stmt* by_position_ = nullptr;  // pos, data, k0, k1, ... of one record
  sqlite3_stmt* count_ = nullptr;
  sqlite3_stmt* add_count_ = nullptr;
  sqlite3_stmt* max_position_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* delete_ = nullptr;
  sqlite3_stmt* owner_ = nullptr;
  sqlite3_stmt* set_owner_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* begin_read_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* rollback_ = nullptr;
  // Inside a caller's transaction each write is a savepoint, so that a failed write undoes only
  // itself.
  sqlite3_stmt* savepoint_ = nullptr;
  sqlite3_stmt* release_ = nullptr;
  sqlite3_stmt* rollback_to_ = nullptr;
  bool transaction_ = false;  // between BeginTransaction and its End or Abort
  bool snapshot_ = false;     // between BeginSnapshot and EndSnapshot
  // Records written inside the transaction stay locked until it ends, so that nobody takes a
  // record lock on data about to change.
  std::vector<int64_t> transaction_locks_;

  Cursor cursor_;

  // The statement still stepping past the current record, if any.
  sqlite3_stmt* live_ = nullptr;
  size_t live_key_ = 0;
  bool live_forward_ = true;
  int64_t live_since_ = 0;  // CoarseNanoseconds() when its snapshot began

  int64_t locked_position_ = 0;  // 0 = no record lock held

  // What the last Find or LoadRow saw. The views point into the statement's row and stay valid
  // until it steps or resets.
  int64_t found_position_ = 0;
  std::string_view found_data_;
  std::string_view found_key_;
  std::string search_;
  std::string record_key_;  // scratch for FoundRecordHoldsTogether
  std::vector<std::string> new_keys_;
};

sqlite3_stmt* SqliteRecordFile::Prepare(const std::string& sql) {
  Statement statement;
  if (!statement.Prepare(db_, sql)) return nullptr;
  statements_.push_back(std::move(statement));
  return statements_.back().get();
}

bool SqliteRecordFile::PrepareAll() {
  std::string key_list;
  std::string placeholders;
  std::string assignments;
  for (size_t k = 0; k < layout_.key_count(); ++k) {
    key_list += ", " + KeyColumn(k);
    placeholders += ", ?" + std::to_string(k + 3);
    assignments += ", " + KeyColumn(k) + " = ?" + std::to_string(k + 3);
  }
  statements_.reserve(16 + 3 * layout_.key_count());
  for (size_t k = 0; k < layout_.key_count(); ++k) {
    std::string column = KeyColumn(k);
    KeyStatements key;
    key.next = Prepare("SELECT pos, data, " + column + " FROM records WHERE (" + column +
                       ", p) > (?1, ?2) ORDER BY " + column + ", p");
    key.prev = Prepare("SELECT pos, data, " + column + " FROM records WHERE (" + column +
                       ", p) < (?1, ?2) ORDER BY " + column + " DESC, p DESC");
    key.exists = Prepare("SELECT pos FROM records WHERE " + column + " = ?1 AND pos <> ?2 LIMIT 1");
    if (key.next == nullptr || key.prev == nullptr || key.exists == nullptr) return false;
    keys_.push_back(key);
  }
  by_position_ = Prepare("SELECT pos, data" + key_list + " FROM records WHERE pos = ?1");
  count_ = Prepare("SELECT record_count FROM file_info WHERE id = 1");
  add_count_ = Prepare("UPDATE file_info SET record_count = record_count + ?1 WHERE id = 1");
  max_position_ = Prepare("SELECT max(pos) FROM records");
  insert_ = Prepare("INSERT INTO records (pos, p, data" + key_list + ") VALUES (?1, ?1, ?2" +
                    placeholders + ")");
  update_ = Prepare("UPDATE records SET data = ?2" + assignments + " WHERE pos = ?1");
  delete_ = Prepare("DELETE FROM records WHERE pos = ?1");
  owner_ = Prepare("SELECT owner FROM file_info WHERE id = 1");
  set_owner_ = Prepare("UPDATE file_info SET owner = ?1 WHERE id = 1");
  begin_ = Prepare("BEGIN IMMEDIATE");
  begin_read_ = Prepare("BEGIN DEFERRED");
  commit_ = Prepare("COMMIT");
  rollback_ = Prepare("ROLLBACK");
  savepoint_ = Prepare("SAVEPOINT write");
  release_ = Prepare("RELEASE write");
  rollback_to_ = Prepare("ROLLBACK TO write");
  for (sqlite3_stmt* stmt :
       {by_position_, count_, add_count_, max_position_, insert_, update_, delete_, owner_,
        set_owner_, begin_, begin_read_, commit_, rollback_, savepoint_, release_, rollback_to_}) {
    if (stmt == nullptr) return false;
  }
  return true;
}

int16_t SqliteRecordFile::OpenAt(const std::string& path, int8_t mode, std::string_view owner) {
  read_only_ = mode == kOpenReadOnly;
  if (!side_lock_.Open(path)) return OpenFailure(path, read_only_);
  bool locked =
      mode == kOpenExclusive ? side_lock_.LockFileExclusive() : side_lock_.LockFileShared();
  if (!locked) return kRecordFileLocked;

  SetProcessCacheBudget();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK && read_only_) {
    // A file this user may only read can still be read.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    flags = (flags & ~SQLITE_OPEN_READWRITE) | SQLITE_OPEN_READONLY;
    rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  }
  if (rc != SQLITE_OK) return OpenFailure(path, read_only_);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  if (sqlite3_exec(db_, kConnectionSettings, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return kRecordIoError;
  }

  // Anything that is not a database of ours, or whose description does not hold together, is a
  // damaged file.
  // The first read also opens the journal beside the file, which a directory closed to this user
  // refuses.
  const auto failure = [&](int code) {
    return (code & 0xFF) == SQLITE_BUSY ? kRecordFileLocked : OpenFailure(path, read_only_);
  };
  Statement info;
  if (!info.Prepare(db_,
                    "SELECT format, version, create_data, owner FROM file_info WHERE id = 1")) {
    return failure(sqlite3_errcode(db_));
  }
  int step = sqlite3_step(info.get());
  if (step != SQLITE_ROW) return step == SQLITE_DONE ? kRecordIoError : failure(step);
  std::string_view format = ColumnBytes(info.get(), 0);
  if (format != kFormatName || sqlite3_column_int(info.get(), 1) != kFormatVersion) {
    return kRecordIoError;
  }
  std::string_view create_data = ColumnBytes(info.get(), 2);
  if (FileLayout::Parse(
          std::span(reinterpret_cast<const uint8_t*>(create_data.data()), create_data.size()),
          &layout_) != kRecordOk) {
    return kRecordIoError;
  }
  if (sqlite3_column_type(info.get(), 3) != SQLITE_NULL && ColumnBytes(info.get(), 3) != owner) {
    return kRecordWrongOwner;
  }
  sqlite3_reset(info.get());
  if (!PrepareAll()) return kRecordIoError;
  new_keys_.resize(layout_.key_count());
  return kRecordOk;
}

void SqliteRecordFile::DropLive() {
  if (live_ != nullptr) {
    sqlite3_reset(live_);
    live_ = nullptr;
  }
}

bool SqliteRecordFile::FoundRecordHoldsTogether(size_t key) {
  if (found_data_.size() != layout_.record_length()) return false;
  layout_.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(found_data_.data()),
                             &record_key_);
  return record_key_ == found_key_;
}

int16_t SqliteRecordFile::Find(sqlite3_stmt* stmt, size_t key, bool equal) {
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    found_position_ = sqlite3_column_int64(stmt, 0);
    found_data_ = ColumnBytes(stmt, 1);
    found_key_ = ColumnBytes(stmt, 2);
    if (!FoundRecordHoldsTogether(key)) {
      sqlite3_reset(stmt);
      return kRecordIoError;
    }
    if (equal && found_key_ != search_) {
      sqlite3_reset(stmt);
      return kRecordKeyNotFound;
    }
    return kRecordOk;
  }
  sqlite3_reset(stmt);
  if (rc == SQLITE_DONE) return equal ? kRecordKeyNotFound : kRecordEndOfFile;
  return StatusOf(rc);
}

int16_t SqliteRecordFile::Deliver(size_t key, CallBuffers& io) {
  cursor_.Place(key, found_key_, found_position_);
  return AnswerRecord(layout_, key, found_data_, io);
}

bool SqliteRecordFile::TakeRecordLock(int64_t position) {
  if (locked_position_ == position) return true;
  if (!side_lock_.LockRecord(position)) return false;
  DropRecordLock();
  locked_position_ = position;
  return true;
}

void SqliteRecordFile::DropRecordLock() {
  if (locked_position_ != 0 && std::find(transaction_locks_.begin(), transaction_locks_.end(),
                                         locked_position_) == transaction_locks_.end()) {
    side_lock_.UnlockRecord(locked_position_);
  }
  locked_position_ = 0;
}

int16_t SqliteRecordFile::LoadRow(int64_t position, bool* found) {
  sqlite3_reset(by_position_);
  sqlite3_bind_int64(by_position_, 1, position);
  int rc = sqlite3_step(by_position_);
  *found = rc == SQLITE_ROW;
  if (rc == SQLITE_DONE) return kRecordOk;
  if (rc != SQLITE_ROW) {
    sqlite3_reset(by_position_);
    return StatusOf(rc);
  }
  found_position_ = position;
  found_data_ = ColumnBytes(by_position_, 1);
  if (found_data_.size() != layout_.record_length()) {
    sqlite3_reset(by_position_);
    return kRecordIoError;
  }
  return kRecordOk;
}

// After a locked read found its record: the lock is taken, then the record is read again in a
// fresh snapshot, so that what the caller gets is what it now holds. Writers take the same lock
// for the length of their write, so nothing changes the record once the lock is ours. Gives
// kRecordOk with found_* on the record, or kRecordKeyNotFound when the record moved in key order
// or vanished before the lock was taken (the caller looks again).
int16_t SqliteRecordFile::RefreshLocked(size_t key) {
  int64_t position = found_position_;
  std::string expected(found_key_);
  DropLive();
  if (!TakeRecordLock(position)) return kRecordRecordLocked;
  bool found = false;
  int16_t status = LoadRow(position, &found);
  if (status != kRecordOk) return status;
  if (!found || ColumnBytes(by_position_, static_cast<int>(2 + key)) != expected) {
    sqlite3_reset(by_position_);
    return kRecordKeyNotFound;
  }
  found_key_ = ColumnBytes(by_position_, static_cast<int>(2 + key));
  if (!FoundRecordHoldsTogether(key)) {
    sqlite3_reset(by_position_);
    return kRecordIoError;
  }
  return kRecordOk;
}

// Going on in another key's order: finds where the current record stands in it.
int16_t SqliteRecordFile::CursorToKey(size_t key) {
  DropLive();
  bool found = false;
  int16_t status = LoadRow(cursor_.position, &found);
  if (status != kRecordOk) return status;
  if (!found) return kRecordNoCurrentRecord;
  cursor_.value.assign(ColumnBytes(by_position_, static_cast<int>(2 + key)));
  cursor_.key = key;
  sqlite3_reset(by_position_);
  return kRecordOk;
}

sqlite3_stmt* SqliteRecordFile::ReadStatement(const ReadPlan& plan, size_t key, bool walk) {
  if (walk && live_ != nullptr && live_key_ == key && live_forward_ == plan.forward &&
      CoarseNanoseconds() - live_since_ < kSnapshotLifetimeNanoseconds) {
    return live_;
  }
  DropLive();
  sqlite3_stmt* stmt = plan.forward ? keys_[key].next : keys_[key].prev;
  sqlite3_reset(stmt);
  BindCopy(stmt, 1, *plan.bound_key);
  sqlite3_bind_int64(stmt, 2, plan.bound_position);
  live_since_ = CoarseNanoseconds();
  return stmt;
}

int16_t SqliteRecordFile::Read(int16_t operation, bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (int16_t status = CheckReadArguments(operation, layout_, cursor_, io); status != kRecordOk) {
    return status;
  }
  const size_t key = static_cast<size_t>(io.key_number);
  if (IsStep(operation) && cursor_.key != key) {
    if (int16_t status = CursorToKey(key); status != kRecordOk) return status;
  }
  for (int attempt = 0; attempt < kLockedReadAttempts; ++attempt) {
    ReadPlan plan;
    if (!PlanRead(operation, layout_, key, io.key, cursor_.value, cursor_.position, &search_,
                  &plan)) {
      return kRecordInvalidOperation;
    }
    sqlite3_stmt* stmt = ReadStatement(plan, key, IsStep(operation) && !lock);
    live_ = nullptr;
    int16_t status = Find(stmt, key, plan.equal);
    if (status != kRecordOk) return status;
    if (!BeyondInKeyOrder(plan.forward, found_key_, found_position_, *plan.bound_key,
                          plan.bound_position)) {
      sqlite3_reset(stmt);
      return kRecordIoError;
    }
    live_ = stmt;
    if (lock) {
      status = RefreshLocked(key);
      if (status == kRecordKeyNotFound) continue;
      if (status != kRecordOk) return status;
      status = Deliver(key, io);
      sqlite3_reset(by_position_);
      return status;
    }
    live_ = stmt;
    live_key_ = key;
    live_forward_ = plan.forward;
    return Deliver(key, io);
  }
  return kRecordFileLocked;
}

int16_t SqliteRecordFile::GetPosition(bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  if (io.capacity() < 4) return kRecordDataBufferShort;
  if (lock && !TakeRecordLock(cursor_.position)) return kRecordRecordLocked;
  AnswerPosition(cursor_.position, io);
  return kRecordOk;
}

int16_t SqliteRecordFile::GetDirect(bool lock, CallBuffers& io) {
  if (lock && snapshot_) return kRecordInvalidOperation;
  if (int16_t status = CheckKeyArguments(layout_, io); status != kRecordOk) return status;
  int64_t position = 0;
  if (int16_t status = PositionArgument(io, &position); status != kRecordOk) return status;
  const size_t key = static_cast<size_t>(io.key_number);
  int64_t previously_locked = locked_position_;
  if (lock && !TakeRecordLock(position)) return kRecordRecordLocked;
  DropLive();
  bool found = false;
  int16_t status = LoadRow(position, &found);
  if (status == kRecordOk && !found) status = kRecordInvalidPosition;
  if (status == kRecordOk) {
    found_key_ = ColumnBytes(by_position_, static_cast<int>(2 + key));
    if (!FoundRecordHoldsTogether(key)) status = kRecordIoError;
  }
  if (status != kRecordOk) {
    sqlite3_reset(by_position_);
    if (lock && previously_locked != position) DropRecordLock();
    return status;
  }
  status = Deliver(key, io);
  sqlite3_reset(by_position_);
  return status;
}

int16_t SqliteRecordFile::Begin() {
  // Every write and transaction starts here; none may run inside a read snapshot.
  if (snapshot_) return kRecordInvalidOperation;
  DropLive();
  sqlite3_stmt* begin = transaction_ ? savepoint_ : begin_;
  int rc = sqlite3_step(begin);
  sqlite3_reset(begin);
  return rc == SQLITE_DONE ? kRecordOk : StatusOf(rc);
}

int16_t SqliteRecordFile::Commit() {
  sqlite3_stmt* commit = transaction_ ? release_ : commit_;
  int rc = sqlite3_step(commit);
  sqlite3_reset(commit);
  if (rc == SQLITE_DONE) return kRecordOk;
  Rollback();
  return StatusOf(rc);
}

void SqliteRecordFile::Rollback() {
  // A write refused inside a read snapshot began nothing, and the snapshot stays.
  if (snapshot_) return;
  if (transaction_) {
    sqlite3_step(rollback_to_);
    sqlite3_reset(rollback_to_);
    sqlite3_step(release_);
    sqlite3_reset(release_);
    return;
  }
  if (sqlite3_get_autocommit(db_) == 0) {
    sqlite3_step(rollback_);
    sqlite3_reset(rollback_);
  }
}

int16_t SqliteRecordFile::AddToCount(int delta) {
  sqlite3_bind_int(add_count_, 1, delta);
  int rc = sqlite3_step(add_count_);
  sqlite3_reset(add_count_);
  return rc == SQLITE_DONE ? kRecordOk : StatusOf(rc);
}

int16_t SqliteRecordFile::CheckUnique(size_t key, const std::string& comparable, int64_t position) {
  if (layout_.key(key).duplicates) return kRecordOk;
  sqlite3_stmt* stmt = keys_[key].exists;
  ResetOnExit reset(stmt);
  BindBlob(stmt, 1, comparable.data(), comparable.size());
  sqlite3_bind_int64(stmt, 2, position);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return kRecordDuplicateKey;
  return rc == SQLITE_DONE ? kRecordOk : StatusOf(rc);
}

int16_t SqliteRecordFile::Insert(CallBuffers& io) {
  if (read_only_) return kRecordAccessDenied;
  if (int16_t status = CheckRecordArguments(layout_, io); status != kRecordOk) return status;
  ComparableKeys(layout_, io.data, &new_keys_);
  int16_t status = Begin();
  if (status != kRecordOk) return status;
  int64_t position = 0;
  for (size_t k = 0; k < layout_.key_count() && status == kRecordOk; ++k) {
    status = CheckUnique(k, new_keys_[k], 0);
  }
  if (status == kRecordOk) {
    ResetOnExit reset(max_position_);
    int rc = sqlite3_step(max_position_);
    if (rc != SQLITE_ROW) status = StatusOf(rc);
    position = sqlite3_column_int64(max_position_, 0) + 1;
    if (position > kMaxPosition) status = kRecordIoError;
  }
  if (status == kRecordOk) {
    ResetOnExit reset(insert_);
    sqlite3_bind_int64(insert_, 1, position);
    BindBlob(insert_, 2, io.data, layout_.record_length());
    for (size_t k = 0; k < layout_.key_count(); ++k) {
      BindBlob(insert_, static_cast<int>(k + 3), new_keys_[k].data(), new_keys_[k].size());
    }
    int rc = sqlite3_step(insert_);
    if (rc != SQLITE_DONE) status = StatusOf(rc);
  }
  if (status == kRecordOk) status = AddToCount(1);
  if (status == kRecordOk) status = Commit();
  if (status != kRecordOk) {
    Rollback();
    return status;
  }
  PlaceWritten(layout_, new_keys_, position, io, &cursor_);
  return kRecordOk;
}

int16_t SqliteRecordFile::Update(CallBuffers& io) {
  if (read_only_) return kRecordAccessDenied;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  if (int16_t status = CheckRecordArguments(layout_, io); status != kRecordOk) return status;
  const int64_t position = cursor_.position;
  ComparableKeys(layout_, io.data, &new_keys_);
  // The record lock is held for the whole write, so a locked read elsewhere either waits for the
  // new record or keeps others from changing the one it holds.
  const bool had_lock = locked_position_ == position;
  if (!had_lock && !side_lock_.LockRecord(position)) return kRecordRecordLocked;
  int16_t status = Begin();
  if (status == kRecordOk) {
    bool found = false;
    status = LoadRow(position, &found);
    if (status == kRecordOk && !found) status = kRecordNoCurrentRecord;
    for (size_t k = 0; k < layout_.key_count() && status == kRecordOk; ++k) {
      if (ColumnBytes(by_position_, static_cast<int>(2 + k)) == new_keys_[k]) continue;
      if (!layout_.key(k).modifiable) status = kRecordKeyNotModifiable;
    }
    sqlite3_reset(by_position_);
  }
  for (size_t k = 0; k < layout_.key_count() && status == kRecordOk; ++k) {
    status = CheckUnique(k, new_keys_[k], position);
  }
  if (status == kRecordOk) {
    ResetOnExit reset(update_);
    sqlite3_bind_int64(update_, 1, position);
    BindBlob(update_, 2, io.data, layout_.record_length());
    for (size_t k = 0; k < layout_.key_count(); ++k) {
      BindBlob(update_, static_cast<int>(k + 3), new_keys_[k].data(), new_keys_[k].size());
    }
    int rc = sqlite3_step(update_);
    if (rc != SQLITE_DONE) status = StatusOf(rc);
  }
  if (status == kRecordOk) status = Commit();
  if (status != kRecordOk) Rollback();
  if (!had_lock) ReleaseWriteLock(position, status == kRecordOk);
  if (status != kRecordOk) return status;
  PlaceWritten(layout_, new_keys_, position, io, &cursor_);
  return kRecordOk;
}

int16_t SqliteRecordFile::Delete() {
  if (read_only_) return kRecordAccessDenied;
  if (!cursor_.has_current) return kRecordNoCurrentRecord;
  const int64_t position = cursor_.position;
  const bool had_lock = locked_position_ == position;
  if (!had_lock && !side_lock_.LockRecord(position)) return kRecordRecordLocked;
  int16_t status = Begin();
  if (status == kRecordOk) {
    ResetOnExit reset(delete_);
    sqlite3_bind_int64(delete_, 1, position);
    int rc = sqlite3_step(delete_);
    if (rc != SQLITE_DONE) {
      status = StatusOf(rc);
    } else if (sqlite3_changes(db_) == 0) {
      status = kRecordNoCurrentRecord;
    }
  }
  if (status == kRecordOk) status = AddToCount(-1);
  if (status == kRecordOk) status = Commit();
  if (status != kRecordOk) Rollback();
  if (had_lock) locked_position_ = 0;
  ReleaseWriteLock(position, status == kRecordOk);
  if (status != kRecordOk) return status;
  // Next and previous still go on from where the record stood.
  cursor_.has_current = false;
  return kRecordOk;
}

int16_t SqliteRecordFile::Stat(CallBuffers& io) {
  int64_t count = 0;
  {
    ResetOnExit reset(count_);
    int rc = sqlite3_step(count_);
    if (rc != SQLITE_ROW) return StatusOf(rc);
    count = sqlite3_column_int64(count_, 0);
  }
  return AnswerStat(layout_, count, io);
}

int16_t SqliteRecordFile::Unlock() {
  DropRecordLock();
  return kRecordOk;
}

void SqliteRecordFile::ReleaseWriteLock(int64_t position, bool written) {
  if (transaction_ && written) {
    transaction_locks_.push_back(position);
  } else {
    side_lock_.UnlockRecord(position);
  }
}

void SqliteRecordFile::ReleaseTransactionLocks() {
  for (int64_t position : transaction_locks_) {
    if (position != locked_position_) side_lock_.UnlockRecord(position);
  }
  transaction_locks_.clear();
}

int16_t SqliteRecordFile::BeginTransaction() {
  if (read_only_) return kRecordAccessDenied;
  if (transaction_) return kRecordInvalidOperation;
  const int16_t status = Begin();
  if (status == kRecordOk) transaction_ = true;
  return status;
}

int16_t SqliteRecordFile::EndTransaction() {
  if (!transaction_) return kRecordInvalidOperation;
  transaction_ = false;
  DropLive();
  int16_t status = Commit();  // a failed commit rolls everything back
  ReleaseTransactionLocks();
  return status;
}

int16_t SqliteRecordFile::AbortTransaction() {
  if (!transaction_) return kRecordInvalidOperation;
  transaction_ = false;
  DropLive();
  Rollback();
  ReleaseTransactionLocks();
  // The current record may have been one of those undone.
  cursor_.Clear();
  return kRecordOk;
}

int16_t SqliteRecordFile::BeginSnapshot() {
  if (snapshot_ || transaction_) return kRecordInvalidOperation;
  DropLive();
  int rc = sqlite3_step(begin_read_);
  sqlite3_reset(begin_read_);
  if (rc != SQLITE_DONE) return StatusOf(rc);
  // A deferred transaction takes its snapshot at its first read: take it now.
  {
    ResetOnExit reset(count_);
    rc = sqlite3_step(count_);
  }
  if (rc != SQLITE_ROW) {
    sqlite3_step(rollback_);
    sqlite3_reset(rollback_);
    return StatusOf(rc);
  }
  snapshot_ = true;
  return kRecordOk;
}

// An index that lost entries fails no read: the records it no longer holds are simply never
// found. The entries of every key are counted against the file's count of its records, in one read
// transaction (the snapshot's when one is held); a count that differs is damage.
int16_t SqliteRecordFile::VerifyKeys() {
  DropLive();
  // The counts must see one state of the file: outside a snapshot or a transaction they share a
  // read transaction of their own.
  const bool own_read = !snapshot_ && sqlite3_get_autocommit(db_) != 0;
  if (own_read) {
    const int rc = sqlite3_step(begin_read_);
    sqlite3_reset(begin_read_);
    if (rc != SQLITE_DONE) return StatusOf(rc);
  }
  const int16_t status = CountKeyEntries();
  if (own_read) {
    sqlite3_step(rollback_);
    sqlite3_reset(rollback_);
  }
  return status;
}

// The first column of the first row of `sql` into *result.
int16_t SqliteRecordFile::QueryNumber(const std::string& sql, int64_t* result) {
  Statement query;
  if (!query.Prepare(db_, sql)) return StatusOf(sqlite3_errcode(db_));
  const int step = sqlite3_step(query.get());
  if (step != SQLITE_ROW) return StatusOf(step);
  *result = sqlite3_column_int64(query.get(), 0);
  return kRecordOk;
}

// SQLite answers a bare "SELECT count(*)" from the pages of the table's smallest index, without
// reading its entries: many times faster than a walk of them. The index it counts is the one
// whose root page the query's one read opens; "" when its plan is not that count.
std::string SqliteRecordFile::CountedIndex() {
  Statement plan;
  if (!plan.Prepare(db_, "EXPLAIN SELECT count(*) FROM records")) return {};
  int reads = 0;
  bool counts = false;
  int64_t root = 0;
  while (sqlite3_step(plan.get()) == SQLITE_ROW) {
    const std::string_view opcode = ColumnBytes(plan.get(), 1);
    if (opcode == "OpenRead") {
      ++reads;
      root = sqlite3_column_int64(plan.get(), 3);
    }
    counts = counts || opcode == "Count";
  }
  if (reads != 1 || !counts) return {};
  Statement named;
  if (!named.Prepare(db_,
                     "SELECT name FROM sqlite_schema WHERE type = 'index' AND rootpage = ?1")) {
    return {};
  }
  sqlite3_bind_int64(named.get(), 1, root);
  if (sqlite3_step(named.get()) != SQLITE_ROW) return {};
  return std::string(ColumnBytes(named.get(), 0));
}

int16_t SqliteRecordFile::CountKeyEntries() {
  // The count every insert and delete keeps, which Stat answers.
  int64_t records = 0;
  if (int16_t status = QueryNumber("SELECT record_count FROM file_info WHERE id = 1", &records);
      status != kRecordOk) {
    return status;
  }
  const std::string counted = CountedIndex();
  for (size_t k = 0; k < layout_.key_count(); ++k) {
    const std::string column = KeyColumn(k);
    const std::string index = "records_" + column;
    // The condition holds for every key value; it makes SQLite walk this index.
    const std::string sql = index == counted ? "SELECT count(*) FROM records"
                                             : "SELECT count(*) FROM records INDEXED BY " + index +
                                                   " WHERE " + column + " >= x''";
    int64_t entries = 0;
    if (int16_t status = QueryNumber(sql, &entries); status != kRecordOk) return status;
    if (entries != records) return kRecordIoError;
  }
  return kRecordOk;
}

int16_t SqliteRecordFile::EndSnapshot() {
  if (!snapshot_) return kRecordInvalidOperation;
  DropLive();
  snapshot_ = false;
  // Nothing was written: ending the read cannot fail in a way that matters to the caller.
  sqlite3_step(rollback_);
  sqlite3_reset(rollback_);
  return kRecordOk;
}

int16_t SqliteRecordFile::SetOwner(std::string_view owner) {
  if (read_only_) return kRecordAccessDenied;
  int16_t status = Begin();
  if (status != kRecordOk) return status;
  {
    ResetOnExit reset(owner_);
    int rc = sqlite3_step(owner_);
    if (rc != SQLITE_ROW) {
      status = StatusOf(rc);
    } else if (sqlite3_column_type(owner_, 0) != SQLITE_NULL) {
      if (ColumnBytes(owner_, 0) != owner) status = kRecordOwnerAlreadySet;
    } else {
      ResetOnExit reset_set(set_owner_);
      BindBlob(set_owner_, 1, owner.data(), owner.size());
      rc = sqlite3_step(set_owner_);
      if (rc != SQLITE_DONE) status = StatusOf(rc);
    }
  }
  if (status == kRecordOk) return Commit();
  Rollback();
  return status;
}

// Builds the new database beside its final path; the caller renames it into place.
int16_t BuildDatabase(const std::string& path, const FileLayout& layout) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::string schema =
      "PRAGMA journal_mode=WAL;"
      "BEGIN;"
      "CREATE TABLE file_info (id INTEGER PRIMARY KEY CHECK (id = 1), format TEXT NOT NULL,"
      " version INTEGER NOT NULL, create_data BLOB NOT NULL, record_count INTEGER NOT NULL,"
      " owner BLOB);"
      "CREATE TABLE records (pos INTEGER PRIMARY KEY, p INTEGER NOT NULL, data BLOB NOT NULL";
  for (size_t k = 0; k < layout.key_count(); ++k) schema += ", " + KeyColumn(k) + " BLOB NOT NULL";
  schema += ");";
  for (size_t k = 0; k < layout.key_count(); ++k) {
    schema += "CREATE INDEX records_" + KeyColumn(k) + " ON records (" + KeyColumn(k) + ", p);";
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    Statement info;
    if (!info.Prepare(db, "INSERT INTO file_info VALUES (1, ?1, ?2, ?3, 0, NULL)")) {
      rc = sqlite3_errcode(db);
    } else {
      sqlite3_bind_text(info.get(), 1, kFormatName, -1, SQLITE_STATIC);
      sqlite3_bind_int(info.get(), 2, kFormatVersion);
      BindBlob(info.get(), 3, layout.create_data().data(), layout.create_data().size());
      rc = sqlite3_step(info.get()) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  // Closing the only connection folds the journal into the file, so the file stands alone.
  if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_ERROR;
  return rc == SQLITE_OK ? kRecordOk : kRecordCreateError;
}

}  // namespace

int16_t OpenSqliteRecordFile(const std::string& path, int8_t mode, std::string_view owner,
                             std::unique_ptr<RecordFile>* file) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kRecordFileNotFound;
    return errno == EACCES ? kRecordAccessDenied : kRecordIoError;
  }
  if (S_ISDIR(st.st_mode)) return kRecordInvalidFileName;
  auto opened = std::make_unique<SqliteRecordFile>();
  int16_t status = opened->OpenAt(path, mode, owner);
  if (status == kRecordOk) *file = std::move(opened);
  return status;
}

int16_t CreateSqliteRecordFile(const std::string& path, const FileLayout& layout, int8_t mode) {
  // Nobody may have the file open while it is replaced; another Create of the same file waits
  // here too, and then finds the file there.
  if (!PathMissing(path) && mode == kCreateNew) return kRecordFileExists;
  SideLock side_lock;
  if (!side_lock.Open(path)) return PathMissing(path) ? kRecordCreateError : kRecordIoError;
  int waited = 0;
  while (!side_lock.LockFileExclusive()) {
    if (waited >= kCreateLockWaitMs) return kRecordFileLocked;
    SleepBriefly();
    waited += 10;
  }
  if (!PathMissing(path) && mode == kCreateNew) return kRecordFileExists;

  std::string temporary = path + "-new-" + std::to_string(getpid());
  std::remove(temporary.c_str());
  int16_t status = BuildDatabase(temporary, layout);
  if (status == kRecordOk) {
    // A journal left by an earlier file of this name must not be replayed into the new one.
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    if (std::rename(temporary.c_str(), path.c_str()) != 0) status = kRecordCreateError;
  }
  if (status != kRecordOk) {
    std::remove(temporary.c_str());
    std::remove((temporary + "-wal").c_str());
    std::remove((temporary + "-shm").c_str());
  }
  return status;
}

}  // namespace quarnell::engine
