#include "records/engine/storage_common.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "records/engine/record_call.h"

namespace quarnell::engine {

int16_t CheckKeyArguments(const FileLayout& layout, const CallBuffers& io) {
  if (io.key_number < 0 || static_cast<size_t>(io.key_number) >= layout.key_count()) {
    return kRecordInvalidKeyNumber;
  }
  if (io.key == nullptr || io.key_length < layout.key(io.key_number).length) {
    return kRecordKeyBufferShort;
  }
  return kRecordOk;
}

int16_t CheckReadArguments(int16_t operation, const FileLayout& layout, const Cursor& cursor,
                           const CallBuffers& io) {
  if (int16_t status = CheckKeyArguments(layout, io); status != kRecordOk) return status;
  if (IsStep(operation) && !cursor.has_position) return kRecordNoCurrentRecord;
  return kRecordOk;
}

int16_t CheckRecordArguments(const FileLayout& layout, const CallBuffers& io) {
  if (int16_t status = CheckKeyArguments(layout, io); status != kRecordOk) return status;
  if (io.capacity() != layout.record_length()) return kRecordInvalidRecordLength;
  return kRecordOk;
}

int16_t PositionArgument(const CallBuffers& io, int64_t* position) {
  if (io.capacity() < 4) return kRecordInvalidPosition;
  *position = io.data[0] | (io.data[1] << 8) | (io.data[2] << 16) |
              (static_cast<int64_t>(io.data[3]) << 24);
  return *position == 0 ? kRecordInvalidPosition : kRecordOk;
}

void ComparableKeys(const FileLayout& layout, const uint8_t* record,
                    std::vector<std::string>* keys) {
  for (size_t k = 0; k < layout.key_count(); ++k) layout.ComparableOfRecord(k, record, &(*keys)[k]);
}

int16_t AnswerRecord(const FileLayout& layout, size_t key, std::string_view record,
                     CallBuffers& io) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(record.data());
  const uint32_t copied = std::min<uint32_t>(io.capacity(), static_cast<uint32_t>(record.size()));
  if (copied > 0) std::memcpy(io.data, bytes, copied);
  if (io.data_length != nullptr) *io.data_length = copied;
  layout.KeyValue(key, bytes, io.key);
  return copied < record.size() ? kRecordDataBufferShort : kRecordOk;
}

void PlaceWritten(const FileLayout& layout, const std::vector<std::string>& keys, int64_t position,
                  CallBuffers& io, Cursor* cursor) {
  const size_t key = static_cast<size_t>(io.key_number);
  layout.KeyValue(key, io.data, io.key);
  cursor->Place(key, keys[key], position);
}

void AnswerPosition(int64_t position, CallBuffers& io) {
  const uint32_t bytes = static_cast<uint32_t>(position);
  for (int i = 0; i < 4; ++i) io.data[i] = static_cast<uint8_t>(bytes >> (8 * i));
  *io.data_length = 4;
}

bool PlanRead(int16_t operation, const FileLayout& layout, size_t key, const uint8_t* io_key,
              const std::string& cursor_value, int64_t cursor_position, std::string* search,
              ReadPlan* plan) {
  *plan = ReadPlan{};
  plan->bound_key = search;
  switch (operation) {
    case kOpGetEqual:
      plan->equal = true;
      layout.Comparable(key, io_key, search);
      return true;
    case kOpGetGreaterOrEqual:
      layout.Comparable(key, io_key, search);
      return true;
    case kOpGetGreater:
      layout.Comparable(key, io_key, search);
      plan->bound_position = INT64_MAX;
      return true;
    case kOpGetLess:
      layout.Comparable(key, io_key, search);
      plan->forward = false;
      return true;
    case kOpGetLessOrEqual:
      layout.Comparable(key, io_key, search);
      plan->forward = false;
      plan->bound_position = INT64_MAX;
      return true;
    case kOpGetFirst:
      search->clear();
      return true;
    case kOpGetLast:
      // Longer than any key and made of the highest byte: above every key value.
      search->assign(layout.key(key).length + 1, '\xFF');
      plan->forward = false;
      return true;
    case kOpGetNext:
    case kOpGetPrevious:
      plan->forward = operation == kOpGetNext;
      plan->bound_key = &cursor_value;
      plan->bound_position = cursor_position;
      return true;
    default:
      return false;
  }
}

int16_t AnswerStat(const FileLayout& layout, int64_t record_count, CallBuffers& io) {
  const std::vector<uint8_t>& description = layout.create_data();
  const uint32_t copied =
      std::min<uint32_t>(io.capacity(), static_cast<uint32_t>(description.size()));
  if (copied > 0) std::memcpy(io.data, description.data(), copied);
  const uint32_t count = static_cast<uint32_t>(std::clamp<int64_t>(record_count, 0, kMaxPosition));
  for (size_t i = 0; i < 4; ++i) {
    if (kHeaderRecordCount + i < copied) {
      io.data[kHeaderRecordCount + i] = static_cast<uint8_t>(count >> (8 * i));
    }
  }
  if (io.data_length != nullptr) *io.data_length = copied;
  return copied < description.size() ? kRecordDataBufferShort : kRecordOk;
}

int64_t CoarseNanoseconds() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

void SleepBriefly() {
  struct timespec pause = {0, 10 * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

std::string KeyColumn(size_t k) {
  // Built in two steps: GCC 12 warns falsely (-Wrestrict) on "k" + std::to_string(k) at -O3.
  std::string column = "k";
  column += std::to_string(k);
  return column;
}

}  // namespace quarnell::engine
