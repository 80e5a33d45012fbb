// Create data as a dictionary file may hold it, whatever its bytes: parsing never reads outside
// the data, and every key of an accepted description can be taken from a record and compared.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "records/engine/file_layout.h"
#include "records/engine/record_call.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using quarnell::engine::FileLayout;
  if (size < 2) return 0;
  size_t split = std::min<size_t>(size - 2, data[0] | (data[1] << 8));
  std::span<const uint8_t> create_data(data + 2, split);
  std::span<const uint8_t> rest(data + 2 + split, size - 2 - split);

  FileLayout layout;
  if (FileLayout::Parse(create_data, &layout) != quarnell::kRecordOk) return 0;
  if (layout.create_data().size() > create_data.size()) std::abort();

  std::vector<uint8_t> record(layout.record_length(), 0);
  for (size_t i = 0; i < record.size() && i < rest.size(); ++i) record[i] = rest[i];
  std::string from_value;
  std::string from_record;
  for (size_t k = 0; k < layout.key_count(); ++k) {
    std::vector<uint8_t> value(layout.key(k).length);
    layout.KeyValue(k, record.data(), value.data());
    layout.Comparable(k, value.data(), &from_value);
    layout.ComparableOfRecord(k, record.data(), &from_record);
    if (from_value != from_record || from_value.size() != layout.key(k).length) std::abort();
  }
  return 0;
}
