// The CSV reader and the conversion of rows to records must never crash, hang or read out of
// bounds, whatever the bytes; and what they accept must come back unchanged through the writer.
// The first input byte chooses the record file; the rest is the CSV text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/csv.h"
#include "app/record_csv.h"
#include "app/record_layouts.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A row written by AppendCsvRow reads back as the same fields.
void CheckRowRoundTrip(const std::vector<std::string>& fields) {
  std::string text;
  quarnell::AppendCsvRow(&text, fields);
  quarnell::CsvReader reader(text);
  std::vector<std::string> again;
  Check(reader.ReadRow(&again));
  Check(again == fields);
  Check(!reader.ReadRow(&again) && !reader.error());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const quarnell::FileLayout& file =
      quarnell::kRentalFiles[data[0] % quarnell::kRentalFiles.size()];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  quarnell::CsvReader rows(text);
  std::vector<std::string> fields;
  while (rows.ReadRow(&fields)) CheckRowRoundTrip(fields);

  quarnell::CsvRecordReader records(file, text);
  std::string record;
  while (records.Next(&record)) {
    Check(record.size() == static_cast<size_t>(file.record_size));
    // Every accepted value exports faithfully and stores back to the same bytes.
    bool faithful = false;
    const std::vector<std::string> row = quarnell::RecordToCsvRow(file, record, &faithful);
    Check(faithful);
    std::string again = quarnell::BlankRecord(file);
    for (size_t i = 0; i < row.size(); ++i) {
      Check(quarnell::StoreFieldValue(file.fields[i], row[i], again).empty());
    }
    Check(again == record);
  }
  if (records.error()) Check(records.error()->line >= 1 && records.error()->column >= 1);
  return 0;
}
