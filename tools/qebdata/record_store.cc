#include "tools/qebdata/record_store.h"

#include <cstring>
#include <string>
#include <vector>

#include "records/record_files.h"

namespace quarnell {
namespace {

// Room for any record of the rental files and for every Stat answer they give.
constexpr uint32_t kToolBufferSize = 4096;
constexpr uint8_t kToolKeyBufferSize = 255;

// The path as the record manager takes it: the text followed by a zero byte.
std::string PathArgument(const std::string& host_path) { return host_path + '\0'; }

uint16_t Uint16At(const std::vector<char>& bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                               static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

// Open or Set owner with `owner` and a zero byte in the data buffer.
int16_t OwnerCall(int16_t operation, uint8_t* position_block, std::string path,
                  const std::string& owner, int8_t key_number) {
  std::string data = owner + '\0';
  uint32_t length = static_cast<uint32_t>(data.size());
  return RecordCall(operation, position_block, data.data(), &length, path.data(),
                    static_cast<uint8_t>(path.size()), key_number);
}

}  // namespace

int16_t CreateRecordFile(const std::string& host_path, std::string_view create_data) {
  std::string path = PathArgument(host_path);
  if (path.size() > kToolKeyBufferSize) return kRecordInvalidFileName;
  std::string data(create_data);
  uint32_t length = static_cast<uint32_t>(data.size());
  uint8_t position_block[kPositionBlockSize] = {};
  int16_t status = RecordCall(kOpCreate, position_block, data.data(), &length, path.data(),
                              static_cast<uint8_t>(path.size()), kCreateNew);
  if (status != kRecordOk) return status;
  // The same owner name the program's record-file layer gives the files it creates.
  status = OwnerCall(kOpOpen, position_block, path, OwnerNameA(), kOpenNormal);
  if (status != kRecordOk) return status;
  status = OwnerCall(kOpSetOwner, position_block, path, OwnerNameA(), 0);
  uint32_t none = 0;
  char unused = 0;
  const int16_t closed = RecordCall(kOpClose, position_block, &unused, &none, &unused, 0, 0);
  return status != kRecordOk ? status : closed;
}

RecordStore::RecordStore() = default;

RecordStore::~RecordStore() { Close(); }

int16_t RecordStore::Open(const std::string& host_path, int8_t mode) {
  std::string path = PathArgument(host_path);
  if (path.size() > kToolKeyBufferSize) return kRecordInvalidFileName;
  std::memset(position_block_, 0, sizeof position_block_);
  int16_t status = OwnerCall(kOpOpen, position_block_, path, OwnerNameA(), mode);
  if (status == kRecordWrongOwner) {
    status = OwnerCall(kOpOpen, position_block_, path, OwnerNameB(), mode);
  }
  open_ = status == kRecordOk;
  return status;
}

int16_t RecordStore::Close() {
  if (!open_) return kRecordOk;
  open_ = false;
  return Plain(kOpClose);
}

int16_t RecordStore::RecordLength(uint32_t* record_length) {
  std::vector<char> data(kToolBufferSize);
  uint32_t length = kToolBufferSize;
  std::string key(kToolKeyBufferSize, ' ');
  const int16_t status =
      RecordCall(kOpStat, position_block_, data.data(), &length, key.data(), kToolKeyBufferSize, 0);
  if (status == kRecordOk) *record_length = Uint16At(data, kHeaderRecordLength);
  return status;
}

int16_t RecordStore::RecordCount(uint32_t* count) {
  std::vector<char> data(kToolBufferSize);
  uint32_t length = kToolBufferSize;
  std::string key(kToolKeyBufferSize, ' ');
  const int16_t status =
      RecordCall(kOpStat, position_block_, data.data(), &length, key.data(), kToolKeyBufferSize, 0);
  if (status == kRecordOk) {
    *count = Uint16At(data, kHeaderRecordCount) |
             static_cast<uint32_t>(Uint16At(data, kHeaderRecordCount + 2)) << 16;
  }
  return status;
}

int16_t RecordStore::Insert(std::string_view record) {
  // The buffers are kept from one insert to the next: an import adds millions of records.
  insert_data_.assign(record);
  uint32_t length = static_cast<uint32_t>(insert_data_.size());
  insert_key_.resize(kToolKeyBufferSize);
  return RecordCall(kOpInsert, position_block_, insert_data_.data(), &length, insert_key_.data(),
                    kToolKeyBufferSize, 0);
}

int16_t RecordStore::Plain(int16_t operation) {
  uint32_t length = 0;
  char unused = 0;
  return RecordCall(operation, position_block_, &unused, &length, &unused, 0, 0);
}

int16_t RecordStore::Delete() { return Plain(kOpDelete); }

int16_t RecordStore::BeginTransaction() { return Plain(kOpBeginTransaction); }

int16_t RecordStore::EndTransaction() { return Plain(kOpEndTransaction); }

int16_t RecordStore::AbortTransaction() { return Plain(kOpAbortTransaction); }

int16_t RecordStore::Read(int16_t operation, std::string_view key_value, std::string* record) {
  std::vector<char> data(kToolBufferSize);
  uint32_t length = kToolBufferSize;
  std::string key(key_value);
  key.resize(kToolKeyBufferSize, '\0');
  const int16_t status = RecordCall(operation, position_block_, data.data(), &length, key.data(),
                                    kToolKeyBufferSize, 0);
  if (status == kRecordOk) record->assign(data.data(), length < data.size() ? length : data.size());
  return status;
}

int16_t RecordStore::GetFirst(std::string* record) { return Read(kOpGetFirst, "", record); }

int16_t RecordStore::GetNext(std::string* record) { return Read(kOpGetNext, "", record); }

int16_t RecordStore::GetEqual(std::string_view key, std::string* record) {
  return Read(kOpGetEqual, key, record);
}

}  // namespace quarnell
