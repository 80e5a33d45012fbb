// A thin client of RecordCall for tests: one position block, the usual buffers.
#ifndef QUARNELL_TESTS_RECORDS_ENGINE_ENGINE_CLIENT_H_
#define QUARNELL_TESTS_RECORDS_ENGINE_ENGINE_CLIENT_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/engine/record_call.h"

namespace quarnell::testing {

inline int16_t CreateFile(const std::string& path, const std::string& create_data,
                          int8_t mode = kCreateReplace) {
  uint8_t block[kPositionBlockSize] = {};
  std::string data = create_data;
  uint32_t length = static_cast<uint32_t>(data.size());
  std::string key = path + '\0';
  return RecordCall(kOpCreate, block, data.data(), &length, key.data(),
                    static_cast<uint8_t>(key.size()), mode);
}

class EngineClient {
 public:
  EngineClient() = default;
  ~EngineClient() { Close(); }
  EngineClient(const EngineClient&) = delete;
  EngineClient& operator=(const EngineClient&) = delete;

  int16_t Open(const std::string& path, int8_t mode = kOpenNormal, std::string_view owner = "") {
    std::string name(owner);
    name += '\0';
    uint32_t length = static_cast<uint32_t>(name.size());
    std::string key = path + '\0';
    return RecordCall(kOpOpen, block_, name.data(), &length, key.data(),
                      static_cast<uint8_t>(key.size()), mode);
  }
  int16_t Close() {
    uint32_t length = 0;
    return RecordCall(kOpClose, block_, nullptr, &length, nullptr, 0, 0);
  }

  // Runs `operation` with `record` as the data (its size as the data length, or `capacity` when
  // given) and `key` in a 255-byte key buffer. The results land in record() and key().
  int16_t Call(int16_t operation, std::string_view record = {}, std::string_view key = {},
               int8_t key_number = 0, uint32_t capacity = 0) {
    data_.fill(' ');
    record_.assign(record);
    std::copy(record.begin(), record.end(), data_.begin());
    length_ = capacity != 0 ? capacity : static_cast<uint32_t>(record.size());
    key_.fill('\0');
    std::copy(key.begin(), key.end(), key_.begin());
    int16_t status = RecordCall(operation, block_, data_.data(), &length_, key_.data(),
                                static_cast<uint8_t>(key_.size()), key_number);
    record_.assign(data_.data(), length_);
    return status;
  }
  // A read into a buffer of `capacity` bytes.
  int16_t Read(int16_t operation, std::string_view key = {}, int8_t key_number = 0,
               uint32_t capacity = 1536) {
    return Call(operation, std::string(capacity, ' '), key, key_number);
  }
  int16_t Insert(std::string_view record, int8_t key_number = 0) {
    return Call(kOpInsert, record, {}, key_number);
  }

  const std::string& record() const { return record_; }
  std::string key(size_t length) const { return std::string(key_.data(), length); }
  uint8_t* block() { return block_; }

 private:
  uint8_t block_[kPositionBlockSize] = {};
  std::array<char, 1536> data_{};
  std::array<char, 255> key_{};
  uint32_t length_ = 0;
  std::string record_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_ENGINE_ENGINE_CLIENT_H_
