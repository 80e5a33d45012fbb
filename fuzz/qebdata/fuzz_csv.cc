// The CSV reader and the conversion of rows to records must never crash, hang or read out of
// bounds, whatever the bytes; and what they accept must come back unchanged through the writer.
// Input that arrives a few bytes at a time must read as the same rows as the whole text.
// The first input byte chooses the record file and the size of those pieces; the rest is the CSV
// text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Hands out the text `step` bytes at a time.
class StepSource : public quarnell::CsvSource {
 public:
  StepSource(std::string_view text, size_t step) : text_(text), step_(step) {}
  size_t Read(char* buffer, size_t capacity) override {
    const size_t count = std::min({capacity, step_, text_.size()});
    std::memcpy(buffer, text_.data(), count);
    text_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view text_;
  size_t step_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const quarnell::FileLayout& file =
      quarnell::kRentalFiles[data[0] % quarnell::kRentalFiles.size()];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  quarnell::CsvReader rows(text);
  StepSource pieces(text, 1 + data[0] / quarnell::kRentalFiles.size() % 5);
  quarnell::CsvReader piecewise(&pieces);
  std::vector<std::string> fields;
  std::vector<std::string> same;
  while (rows.ReadRow(&fields)) {
    Check(piecewise.ReadRow(&same) && same == fields);
    CheckRowRoundTrip(fields);
  }
  Check(!piecewise.ReadRow(&same));
  Check(rows.error().has_value() == piecewise.error().has_value());

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
