// The shape of a record file as its Create data describes it: record length, keys and their
// segments, the alternate collating sequence. Also the key transforms: a key value as it stands in
// the record becomes a byte string whose plain byte order is the key's order, so that the storage
// only ever compares bytes.
#ifndef QUARNELL_RECORDS_ENGINE_FILE_LAYOUT_H_
#define QUARNELL_RECORDS_ENGINE_FILE_LAYOUT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quarnell::engine {

struct KeySegment {
  uint16_t offset = 0;  // 0-based offset in the record
  uint16_t length = 0;
  uint16_t flags = 0;
};

struct KeyLayout {
  std::vector<KeySegment> segments;
  size_t length = 0;  // sum of the segment lengths
  bool duplicates = false;
  bool modifiable = false;
};

class FileLayout {
 public:
  // Parses and checks Create data. Returns kRecordOk, or kRecordInvalidCreateData when the data is
  // too short, a segment lies outside the record, a key is empty or longer than 255 bytes, or an
  // alternate sequence is used but missing. On failure *layout is unspecified.
  static int16_t Parse(std::span<const uint8_t> create_data, FileLayout* layout);

  uint16_t record_length() const { return record_length_; }
  size_t key_count() const { return keys_.size(); }
  const KeyLayout& key(size_t number) const { return keys_[number]; }
  // The bytes Stat hands back (record count zero), exactly as given at Create, cut to what the
  // layout uses.
  const std::vector<uint8_t>& create_data() const { return create_data_; }

  // The key value of key `number` of `record` (record_length() bytes): its segments' bytes one
  // after the other, written to `out` (key(number).length bytes).
  void KeyValue(size_t number, const uint8_t* record, uint8_t* out) const;

  // The comparable form of a key value (key(number).length bytes at `value`), replacing `out`.
  void Comparable(size_t number, const uint8_t* value, std::string* out) const;

  // The comparable form of key `number` of `record`, replacing `out`.
  void ComparableOfRecord(size_t number, const uint8_t* record, std::string* out) const;

 private:
  uint8_t Transform(const KeySegment& segment, uint8_t byte) const;

  uint16_t record_length_ = 0;
  std::vector<KeyLayout> keys_;
  bool has_alternate_ = false;
  std::array<uint8_t, 256> alternate_{};
  std::vector<uint8_t> create_data_;
};

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_FILE_LAYOUT_H_
