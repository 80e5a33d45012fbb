// The message-file reader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/message_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<quarnell::MessageRecord> records = quarnell::ParseMessageFile(bytes);

  size_t total = 0;
  for (const quarnell::MessageRecord& record : records) {
    for (const std::string& field : record) {
      // A field never crosses a line end and nothing after Ctrl-Z is read.
      if (field.find_first_of("\r\n\x1a") != std::string::npos) abort();
      total += field.size();
    }
  }
  if (total > size) abort();

  // Whatever follows a Ctrl-Z is not part of the file.
  std::string extended(bytes);
  extended +=
      "\x1a"
      "K,g,a,s\n";
  if (quarnell::ParseMessageFile(extended) != records) abort();
  return 0;
}
