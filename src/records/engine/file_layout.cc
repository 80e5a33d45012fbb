#include "records/engine/file_layout.h"

#include <algorithm>

#include "records/engine/record_call.h"

namespace quarnell::engine {
namespace {

// More keys than this would only ever come from a damaged description; each key is a column and
// an index of the file.
constexpr size_t kMaxKeys = 32;
constexpr size_t kMaxKeyLength = 255;

uint16_t Word(std::span<const uint8_t> data, size_t offset) {
  return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}

}  // namespace

int16_t FileLayout::Parse(std::span<const uint8_t> data, FileLayout* layout) {
  if (data.size() < kFileHeaderSize) return kRecordInvalidCreateData;
  FileLayout result;
  result.record_length_ = Word(data, kHeaderRecordLength);
  size_t key_count = Word(data, kHeaderKeyCount);
  if (result.record_length_ == 0 || key_count == 0 || key_count > kMaxKeys) {
    return kRecordInvalidCreateData;
  }
  size_t offset = kFileHeaderSize;
  for (size_t k = 0; k < key_count; ++k) {
    KeyLayout key;
    bool more = true;
    while (more) {
      if (offset + kSegmentSize > data.size()) return kRecordInvalidCreateData;
      uint16_t position = Word(data, offset + kSegmentPosition);
      uint16_t length = Word(data, offset + kSegmentLength);
      uint16_t flags = Word(data, offset + kSegmentFlags);
      offset += kSegmentSize;
      if (position == 0 || length == 0 ||
          static_cast<size_t>(position) - 1 + length > result.record_length_) {
        return kRecordInvalidCreateData;
      }
      key.segments.push_back({static_cast<uint16_t>(position - 1), length, flags});
      key.length += length;
      key.duplicates = key.duplicates || (flags & kKeyDuplicates) != 0;
      key.modifiable = key.modifiable || (flags & kKeyModifiable) != 0;
      result.has_alternate_ = result.has_alternate_ || (flags & kKeyAlternate) != 0;
      more = (flags & kKeySegmented) != 0;
    }
    if (key.length > kMaxKeyLength) return kRecordInvalidCreateData;
    result.keys_.push_back(std::move(key));
  }
  if (result.has_alternate_) {
    if (offset + kAlternateSequenceSize > data.size()) return kRecordInvalidCreateData;
    std::copy_n(data.begin() + static_cast<ptrdiff_t>(offset + kAlternateTableOffset), 256,
                result.alternate_.begin());
    offset += kAlternateSequenceSize;
  }
  result.create_data_.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(offset));
  // Stat fills the count in; the stored description never carries a stale one.
  std::fill_n(result.create_data_.begin() + kHeaderRecordCount, 4, 0);
  *layout = std::move(result);
  return kRecordOk;
}

void FileLayout::KeyValue(size_t number, const uint8_t* record, uint8_t* out) const {
  for (const KeySegment& segment : keys_[number].segments) {
    out = std::copy_n(record + segment.offset, segment.length, out);
  }
}

uint8_t FileLayout::Transform(const KeySegment& segment, uint8_t byte) const {
  if ((segment.flags & kKeyBinary) == 0 && (segment.flags & kKeyAlternate) != 0) {
    byte = alternate_[byte];
  }
  if ((segment.flags & kKeyDescending) != 0) byte = static_cast<uint8_t>(~byte);
  return byte;
}

void FileLayout::Comparable(size_t number, const uint8_t* value, std::string* out) const {
  const KeyLayout& key = keys_[number];
  out->resize(key.length);
  char* target = out->data();
  for (const KeySegment& segment : key.segments) {
    if ((segment.flags & kKeyBinary) != 0) {
      // Little-endian unsigned: most significant byte first compares as a number.
      for (size_t i = 0; i < segment.length; ++i) {
        target[i] = static_cast<char>(Transform(segment, value[segment.length - 1 - i]));
      }
    } else if ((segment.flags & (kKeyAlternate | kKeyDescending)) == 0) {
      // Text compared byte by byte, the most common segment, stays as it is.
      std::copy_n(value, segment.length, target);
    } else {
      for (size_t i = 0; i < segment.length; ++i) {
        target[i] = static_cast<char>(Transform(segment, value[i]));
      }
    }
    target += segment.length;
    value += segment.length;
  }
}

void FileLayout::ComparableOfRecord(size_t number, const uint8_t* record, std::string* out) const {
  uint8_t value[kMaxKeyLength];
  KeyValue(number, record, value);
  Comparable(number, value, out);
}

}  // namespace quarnell::engine
