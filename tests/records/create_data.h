// Builds the Create data of a record file for tests: header, key segments and, when asked, an
// alternate collating sequence.
#ifndef QUARNELL_TESTS_RECORDS_CREATE_DATA_H_
#define QUARNELL_TESTS_RECORDS_CREATE_DATA_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/engine/record_call.h"

namespace quarnell::testing {

struct SegmentDef {
  uint16_t position;  // 1-based
  uint16_t length;
  uint16_t flags;
};

inline void PutWord(std::string& out, size_t offset, uint16_t value) {
  out[offset] = static_cast<char>(value & 0xFF);
  out[offset + 1] = static_cast<char>(value >> 8);
}

// `keys` lists each key's segments; kKeySegmented is set on all but a key's last segment.
inline std::string MakeCreateData(uint16_t record_length,
                                  const std::vector<std::vector<SegmentDef>>& keys,
                                  std::optional<std::array<uint8_t, 256>> alternate = {}) {
  std::string out(kFileHeaderSize, '\0');
  PutWord(out, kHeaderRecordLength, record_length);
  PutWord(out, kHeaderPageSize, 1024);
  PutWord(out, kHeaderKeyCount, static_cast<uint16_t>(keys.size()));
  for (const auto& key : keys) {
    for (size_t i = 0; i < key.size(); ++i) {
      std::string segment(kSegmentSize, '\0');
      uint16_t flags = key[i].flags;
      if (i + 1 < key.size()) flags |= kKeySegmented;
      PutWord(segment, kSegmentPosition, key[i].position);
      PutWord(segment, kSegmentLength, key[i].length);
      PutWord(segment, kSegmentFlags, flags);
      out += segment;
    }
  }
  if (alternate) {
    out += static_cast<char>(kAlternateSignature);
    out += "UPPER   ";
    out.append(reinterpret_cast<const char*>(alternate->data()), 256);
  }
  return out;
}

// A sequence that sorts lower-case letters with their capitals.
inline std::array<uint8_t, 256> CaseBlindSequence() {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(b);
  for (int b = 'a'; b <= 'z'; ++b) table[b] = static_cast<uint8_t>(b - 'a' + 'A');
  return table;
}

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_CREATE_DATA_H_
