#include "config/message_file.h"

#include "config/item_reader.h"

namespace quarnell {

std::vector<MessageRecord> ParseMessageFile(std::string_view bytes, bool* cut_short) {
  ItemReader reader(bytes);
  std::vector<MessageRecord> records;
  MessageRecord record;
  if (cut_short != nullptr) *cut_short = false;
  while (reader.Next(record[kCatalanField])) {
    if (!reader.Next(record[kGalicianField]) || !reader.Next(record[kAraneseField]) ||
        !reader.Next(record[kSpanishField])) {
      // Cut short by the end of the file: no translation of it can be trusted.
      if (cut_short != nullptr) *cut_short = true;
      break;
    }
    records.push_back(record);
  }
  return records;
}

}  // namespace quarnell
