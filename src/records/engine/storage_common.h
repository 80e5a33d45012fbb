// What every storage of record files does the same way in serving a call: the checks of the
// caller's arguments, the current position, where a key-ordered read starts and which way it goes,
// the answers handed back, and the coarse clock of the freshness rule. Each storage keeps only what
// its own store needs: its statements, transactions and locks.
#ifndef QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_
#define QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/engine/file_layout.h"
#include "records/engine/record_call.h"
#include "records/engine/record_file.h"

namespace quarnell::engine {

// Positions are 4 bytes on the caller's side.
inline constexpr int64_t kMaxPosition = 0xFFFFFFFF;

// What a file says about itself, so that nothing else is taken for one.
inline constexpr char kFormatName[] = "quarnell record file";
inline constexpr int kFormatVersion = 1;
// How long Create waits for other opens of the file to go away before giving kRecordFileLocked.
inline constexpr int kCreateLockWaitMs = 2000;
// Outside a read snapshot a key-ordered read goes on from what it fetched for at most this long,
// the freshness the record manager promises.
inline constexpr int64_t kSnapshotLifetimeNanoseconds = 200 * 1000 * 1000;
// A locked read that keeps finding its record changed before the lock was taken gives up.
inline constexpr int kLockedReadAttempts = 3;

// The current position of an open file: the last record found or written, through key `key`.
// Next and previous go on from it, even after the record is deleted.
struct Cursor {
  bool has_position = false;
  bool has_current = false;  // the record at the position still exists as far as we know
  size_t key = 0;
  std::string value;  // the record's key `key` in comparable form
  int64_t position = 0;

  // Inline: every record a key-ordered walk hands back passes here.
  void Place(size_t record_key, std::string_view comparable, int64_t record_position) {
    has_position = true;
    has_current = true;
    key = record_key;
    value.assign(comparable);
    position = record_position;
  }
  // A transaction that was undone may have taken the current record, and its place, with it.
  void Clear() {
    has_position = false;
    has_current = false;
  }
};

inline bool IsStep(int16_t operation) {
  return operation == kOpGetNext || operation == kOpGetPrevious;
}

// kRecordInvalidKeyNumber for a key number the file does not have, kRecordKeyBufferShort for a
// key buffer shorter than that key; otherwise kRecordOk.
int16_t CheckKeyArguments(const FileLayout& layout, const CallBuffers& io);

// The checks of a key-ordered read (`operation`) before it looks: those of CheckKeyArguments, then
// kRecordNoCurrentRecord for a step with no position to go on from.
int16_t CheckReadArguments(int16_t operation, const FileLayout& layout, const Cursor& cursor,
                           const CallBuffers& io);

// The checks of Insert and Update: those of CheckKeyArguments, then kRecordInvalidRecordLength
// unless the data buffer holds exactly one record.
int16_t CheckRecordArguments(const FileLayout& layout, const CallBuffers& io);

// The position GetDirect is given in the first 4 bytes of the data buffer, into *position;
// kRecordInvalidPosition when the buffer is shorter or the position is 0.
int16_t PositionArgument(const CallBuffers& io, int64_t* position);

// The comparable form of every key of `record` (record_length() bytes), one per key into *keys.
// REQUIRES: keys->size() == layout.key_count().
void ComparableKeys(const FileLayout& layout, const uint8_t* record,
                    std::vector<std::string>* keys);

// Hands back a record found through key `key`: its bytes, cut to the data buffer (then
// kRecordDataBufferShort), and its key value in the key buffer. REQUIRES: `record` is
// record_length() bytes.
int16_t AnswerRecord(const FileLayout& layout, size_t key, std::string_view record,
                     CallBuffers& io);

// After the record in io.data was written at `position`: the key buffer gets its value of key
// io.key_number and the record becomes the current one. `keys` as ComparableKeys made them.
void PlaceWritten(const FileLayout& layout, const std::vector<std::string>& keys, int64_t position,
                  CallBuffers& io, Cursor* cursor);

// GetPosition's answer: `position` in the first 4 bytes of the data buffer.
// REQUIRES: io.capacity() >= 4.
void AnswerPosition(int64_t position, CallBuffers& io);

// Where a key-ordered read of one key starts, in comparable form, and which way it goes: the
// first record beyond (bound_key, bound_position) in that direction. A bound position of -1 takes
// the records whose key equals the bound too (at or above), INT64_MAX only those beyond it.
struct ReadPlan {
  bool forward = true;
  bool equal = false;  // only a record whose key equals the bound is found
  const std::string* bound_key = nullptr;
  int64_t bound_position = -1;
};

// The plan of read `operation` (kOpGetEqual ... kOpGetLast) on key `key`: `search` gets the
// comparable form of the caller's key value (`io_key`), or the bound of the first or last record;
// the steps go on from the current record (`cursor_value`, `cursor_position`). False for an
// operation that is no key-ordered read.
bool PlanRead(int16_t operation, const FileLayout& layout, size_t key, const uint8_t* io_key,
              const std::string& cursor_value, int64_t cursor_position, std::string* search,
              ReadPlan* plan);

// The Stat answer: the file's Create data with the record count (0 to kMaxPosition) in its
// place, cut to the caller's buffer (then kRecordDataBufferShort).
int16_t AnswerStat(const FileLayout& layout, int64_t record_count, CallBuffers& io);

// A clock good to a few milliseconds, which is all the freshness rule of key-ordered reads needs,
// and cheaper to read on every step than the precise one.
int64_t CoarseNanoseconds();

// The pause between two attempts of Create to lock a file that others have open.
void SleepBriefly();

// The column that keeps key `k` in comparable form: "k0", "k1", ...
std::string KeyColumn(size_t k);

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_
