// Records for tests where two processes share one file: 8 bytes whose whole text is the key, so
// that key order is number order and a reader can tell every record apart.
#ifndef QUARNELL_TESTS_RECORDS_NUMBERED_RECORDS_H_
#define QUARNELL_TESTS_RECORDS_NUMBERED_RECORDS_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "records/create_data.h"
#include "records/engine/engine_client.h"
#include "records/engine/record_call.h"

namespace quarnell::testing {

// The Create data of such a file: 8-byte records, one unique key over the whole record.
inline std::string NumberedCreateData() { return MakeCreateData(8, {{{1, 8, 0}}}); }

// "00000042" for 42.
inline std::string NumberRecord(int number) {
  char text[9];
  std::snprintf(text, sizeof text, "%08d", number);
  return text;
}

// Inserts the records first, first + step, ... (count of them) through `file`, which is open.
inline ::testing::AssertionResult InsertNumbered(EngineClient& file, int first, int count,
                                                 int step) {
  for (int i = 0; i < count; ++i) {
    const int number = first + i * step;
    if (int16_t status = file.Insert(NumberRecord(number)); status != kRecordOk) {
      return ::testing::AssertionFailure() << "insert of " << number << " gave " << status;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_NUMBERED_RECORDS_H_
