// One open record file behind a position block: the seam between RecordCall, which decodes the
// call and hands it here, and the storage that keeps the file. Each storage implements RecordFile
// in its own files (sqlite_record_file.cc); Open and Create choose the storage for a path.
#ifndef QUARNELL_RECORDS_ENGINE_RECORD_FILE_H_
#define QUARNELL_RECORDS_ENGINE_RECORD_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace quarnell::engine {

// The caller's buffers of one call. `data` or `data_length` may be null (no data buffer).
struct CallBuffers {
  uint8_t* data = nullptr;
  uint32_t* data_length = nullptr;
  uint8_t* key = nullptr;
  uint8_t key_length = 0;
  int8_t key_number = 0;

  uint32_t capacity() const { return data != nullptr && data_length != nullptr ? *data_length : 0; }
};

// Whether a record found at (`key`, `position`), `key` in comparable form, lies beyond
// (`bound_key`, `bound_position`) in key order, in the direction read. Storages check each record
// a read hands back against where the read started: damage can put rows out of order without the
// storage noticing, and a walk that went on from them would skip or repeat records.
inline bool BeyondInKeyOrder(bool forward, std::string_view key, int64_t position,
                             std::string_view bound_key, int64_t bound_position) {
  const int order = key.compare(bound_key);
  if (order != 0) return forward ? order > 0 : order < 0;
  return forward ? position > bound_position : position < bound_position;
}

class RecordFile {
 public:
  virtual ~RecordFile() = default;

  // Opens the file at `path` in `mode` (kOpen*), presenting `owner`. On kRecordOk *file holds it.
  static int16_t Open(const std::string& path, int8_t mode, std::string_view owner,
                      std::unique_ptr<RecordFile>* file);
  // Creates the file at `path` from Create data (kCreate* mode), replacing it atomically so that
  // other processes see either the old file, no file, or the complete new one.
  static int16_t Create(const std::string& path, std::span<const uint8_t> create_data, int8_t mode);

  // Key-ordered reads (kOpGetEqual to kOpGetLast), with `lock` for the lock bias.
  virtual int16_t Read(int16_t operation, bool lock, CallBuffers& io) = 0;
  virtual int16_t GetPosition(bool lock, CallBuffers& io) = 0;
  virtual int16_t GetDirect(bool lock, CallBuffers& io) = 0;
  virtual int16_t Insert(CallBuffers& io) = 0;
  virtual int16_t Update(CallBuffers& io) = 0;
  virtual int16_t Delete() = 0;
  virtual int16_t Stat(CallBuffers& io) = 0;
  virtual int16_t Unlock() = 0;
  virtual int16_t SetOwner(std::string_view owner) = 0;
  virtual int16_t BeginTransaction() = 0;
  virtual int16_t EndTransaction() = 0;
  virtual int16_t AbortTransaction() = 0;
  // The read snapshot of kOpBeginSnapshot and kOpEndSnapshot.
  virtual int16_t BeginSnapshot() = 0;
  virtual int16_t EndSnapshot() = 0;
  // kOpVerifyKeys.
  virtual int16_t VerifyKeys() = 0;
};

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_RECORD_FILE_H_
