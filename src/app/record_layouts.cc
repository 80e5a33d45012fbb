#include "app/record_layouts.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "records/engine/record_call.h"

namespace quarnell {
namespace {

// The bytes of `field` that lie inside `record`, as a count from the field's offset.
size_t BytesInside(std::span<const char> record, const FieldLayout& field) {
  const size_t offset = static_cast<size_t>(field.offset);
  if (offset >= record.size()) return 0;
  const size_t available = record.size() - offset;
  return available < static_cast<size_t>(field.width) ? available : field.width;
}

// The field's bytes, zero bytes standing in for any beyond the record's end.
std::string FieldBytes(std::span<const char> record, const FieldLayout& field) {
  std::string bytes(static_cast<size_t>(field.width), '\0');
  const size_t inside = BytesInside(record, field);
  if (inside > 0) std::memcpy(bytes.data(), record.data() + field.offset, inside);
  return bytes;
}

uint32_t LittleEndian(std::span<const char> record, const FieldLayout& field) {
  const std::string bytes = FieldBytes(record, field);
  uint32_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

void Store(std::span<char> record, const FieldLayout& field, std::string_view bytes) {
  const size_t inside = BytesInside(record, field);
  assert(inside == static_cast<size_t>(field.width));
  std::memcpy(record.data() + field.offset, bytes.data(),
              inside < bytes.size() ? inside : bytes.size());
}

void StoreLittleEndian(std::span<char> record, const FieldLayout& field, uint32_t value) {
  std::string bytes(static_cast<size_t>(field.width), '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  Store(record, field, bytes);
}

std::string DigitsOf(int64_t value, size_t digits) {
  std::string text(digits, '0');
  for (size_t i = digits; i-- > 0 && value > 0;) {
    text[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return text;
}

void PutUint16(std::string* out, size_t offset, uint16_t value) {
  (*out)[offset] = static_cast<char>(value & 0xFF);
  (*out)[offset + 1] = static_cast<char>(value >> 8);
}

// Dictionaries describe pages for the record managers the suite grew up with; ours keeps the
// value and ignores it.
constexpr uint16_t kDictionaryPageSize = 4096;

}  // namespace

std::string ReadText(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kText);
  return FieldBytes(record, field);
}

char ReadChar(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kText);
  return FieldBytes(record, field)[0];
}

std::string ReadCode(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kCode);
  return FieldBytes(record, field);
}

Date ReadDate(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kDate);
  return FieldBytes(record, field);
}

uint8_t ReadByte(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kByte);
  return static_cast<uint8_t>(LittleEndian(record, field));
}

int16_t ReadInt16(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kInt16);
  return static_cast<int16_t>(static_cast<uint16_t>(LittleEndian(record, field)));
}

int32_t ReadInt32(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kInt32);
  return static_cast<int32_t>(LittleEndian(record, field));
}

int32_t ReadAmount(std::span<const char> record, const FieldLayout& field) {
  assert(field.type == FieldType::kAmount);
  return static_cast<int32_t>(LittleEndian(record, field));
}

int32_t CodeValue(std::string_view packed) {
  int32_t value = 0;
  for (const char c : packed) {
    const int byte = static_cast<unsigned char>(c);
    if (byte < 128 || byte > 128 + 99) return -1;
    value = value * 100 + (byte - 128);
  }
  return value;
}

void WriteText(std::span<char> record, const FieldLayout& field, std::string_view text) {
  assert(field.type == FieldType::kText);
  std::string bytes(text.substr(0, static_cast<size_t>(field.width)));
  bytes.resize(static_cast<size_t>(field.width), ' ');
  Store(record, field, bytes);
}

void WriteCode(std::span<char> record, const FieldLayout& field, int32_t value) {
  assert(field.type == FieldType::kCode);
  assert(value >= 0);
  Store(record, field, PackDigits(DigitsOf(value, 2 * static_cast<size_t>(field.width))));
}

void WritePackedCode(std::span<char> record, const FieldLayout& field, std::string_view packed) {
  assert(field.type == FieldType::kCode);
  std::string bytes(packed.substr(0, static_cast<size_t>(field.width)));
  bytes.resize(static_cast<size_t>(field.width), '\0');
  Store(record, field, bytes);
}

void WriteDate(std::span<char> record, const FieldLayout& field, const Date& date) {
  assert(field.type == FieldType::kDate);
  std::string bytes = date.substr(0, static_cast<size_t>(field.width));
  bytes.resize(static_cast<size_t>(field.width), static_cast<char>(128));
  Store(record, field, bytes);
}

void WriteByte(std::span<char> record, const FieldLayout& field, uint8_t value) {
  assert(field.type == FieldType::kByte);
  StoreLittleEndian(record, field, value);
}

void WriteInt16(std::span<char> record, const FieldLayout& field, int16_t value) {
  assert(field.type == FieldType::kInt16);
  StoreLittleEndian(record, field, static_cast<uint16_t>(value));
}

void WriteInt32(std::span<char> record, const FieldLayout& field, int32_t value) {
  assert(field.type == FieldType::kInt32);
  StoreLittleEndian(record, field, static_cast<uint32_t>(value));
}

void WriteAmount(std::span<char> record, const FieldLayout& field, int32_t hundredths) {
  assert(field.type == FieldType::kAmount);
  StoreLittleEndian(record, field, static_cast<uint32_t>(hundredths));
}

std::string OwnerKey(int32_t owner) { return PackDigits(DigitsOf(owner, 4)); }

std::string PropertyKey(int32_t owner, int32_t property) {
  return PackDigits(DigitsOf(owner, 4) + DigitsOf(property, 4));
}

std::string UnitKey(int32_t owner, int32_t property, int32_t unit) {
  return PackDigits(DigitsOf(owner, 4) + DigitsOf(property, 4) + DigitsOf(unit, 4));
}

std::string DictionaryBytes(const FileLayout& file) {
  struct Segment {
    const FieldLayout* field;
    uint16_t flags;
  };
  std::vector<Segment> segments;
  const uint16_t key0_flags = file.key_duplicates ? kKeyDuplicates : 0;
  for (int16_t i = 0; i < file.key_field_count; ++i) {
    const bool last = i + 1 == file.key_field_count;
    segments.push_back(
        {&file.fields[i], static_cast<uint16_t>(key0_flags | (last ? 0 : kKeySegmented))});
  }
  uint16_t key_count = 1;
  if (!file.second_key_field.empty()) {
    // The owner name changes when an owner marries or a company renames itself: modifiable.
    segments.push_back({FindField(file, file.second_key_field), kKeyDuplicates | kKeyModifiable});
    ++key_count;
  }

  std::string create(kFileHeaderSize + kSegmentSize * segments.size(), '\0');
  PutUint16(&create, kHeaderRecordLength, static_cast<uint16_t>(file.record_size));
  PutUint16(&create, kHeaderPageSize, kDictionaryPageSize);
  PutUint16(&create, kHeaderKeyCount, key_count);
  for (size_t i = 0; i < segments.size(); ++i) {
    const size_t at = kFileHeaderSize + kSegmentSize * i;
    PutUint16(&create, at + kSegmentPosition, static_cast<uint16_t>(segments[i].field->offset + 1));
    PutUint16(&create, at + kSegmentLength, static_cast<uint16_t>(segments[i].field->width));
    PutUint16(&create, at + kSegmentFlags, segments[i].flags);
  }

  std::string dictionary(2, '\0');
  PutUint16(&dictionary, 0, static_cast<uint16_t>(create.size()));
  return dictionary + create;
}

}  // namespace quarnell
