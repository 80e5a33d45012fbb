// What every storage of record files does the same way in serving a call: the checks of the
// caller's key arguments, where a key-ordered read starts and which way it goes, the Stat answer,
// and the coarse clock of the freshness rule. Each storage keeps only what its own store needs.
#ifndef QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_
#define QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_

#include <cstdint>
#include <string>

#include "records/engine/file_layout.h"
#include "records/engine/record_file.h"

namespace quarnell::engine {

// Positions are 4 bytes on the caller's side.
inline constexpr int64_t kMaxPosition = 0xFFFFFFFF;

// kRecordInvalidKeyNumber for a key number the file does not have, kRecordKeyBufferShort for a
// key buffer shorter than that key; otherwise kRecordOk.
int16_t CheckKeyArguments(const FileLayout& layout, const CallBuffers& io);

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

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_STORAGE_COMMON_H_
