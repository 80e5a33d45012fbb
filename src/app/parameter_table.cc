#include "app/parameter_table.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>

#include "config/alerts.h"
#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"

namespace quarnell {
namespace {

struct DefaultField {
  size_t offset;
  size_t width;
  std::string_view value;
};

// Fields this program fills; everything else of the record stays zero bytes.
constexpr DefaultField kDefaults[] = {
    {10, 1, "N"},
    {11, 3, "VAR"},
    {14, 3, "COB"},
    {17, 1, "N"},
    {18, 1, "S"},
    {19, 3, "HON"},
    {22, 3, "SUP"},
    {25, 3, "RHO"},
    {28, 3, "SSF"},
    {31, 3, "SNF"},
    {34, 3, "RIV"},
    {37, 3, "IIV"},
    {40, 20, "REBUT LLOGUER"},
    {60, 20, "ENDARRERIMENTS"},
    {80, 20, ""},
    {100, 20, ""},
    {120, 20, ""},
    {140, 20, ""},
    {160, 20, ""},
    {180, 20, ""},
    {200, 20, ""},
    {220, 20, ""},
    {240, 9, "551"},
    {249, 9, "552"},
    {258, 9, "705"},
    {267, 9, "705"},
    {276, 9, "754"},
    {285, 9, "759"},
    {294, 9, "473"},
    {303, 9, "430"},
    {312, 1, "S"},
    {315, 3, "RLO"},
};

constexpr size_t kOutlayFlagOffset = 17;
constexpr size_t kFeeConceptOffset = 19;
constexpr size_t kOutlayConceptOffset = 22;

ParameterRecord merged_record = DefaultParameterRecord();

// Temporary files of a rewrite older than this program were left by a program that was killed.
const std::chrono::system_clock::time_point kProgramStart = std::chrono::system_clock::now();

std::string TablePath() { return HostPath(Session().root_directory + "DADES\\VParam.tab"); }

[[noreturn]] void TableFailure(const std::string& what, const std::string& path, int error) {
  ErrorStop(what + " " + path + ": " + std::strerror(error));
}

// The stored table, empty when there is none. Only one byte more than a record is read: enough to
// know that a table is too long, whatever its size.
std::string ReadStoredTable(const std::string& path) {
  SmallFile table = ReadSmallFile(path, kParameterRecordSize + 1);
  switch (table.state) {
    case FileState::kRead:
      break;
    case FileState::kMissing:
      return {};
    case FileState::kNotRegular:
      ErrorStop("the parameter table " + path + " is not a regular file");
    case FileState::kUnreadable:
      TableFailure("cannot read the parameter table", path, table.error);
  }
  if (table.bytes.size() > kParameterRecordSize) {
    WarnOperator("the parameter table " + path + " is longer than its " +
                 std::to_string(kParameterRecordSize) + " bytes; it is cut to them");
  }
  return std::move(table.bytes);
}

}  // namespace

ParameterRecord DefaultParameterRecord() {
  ParameterRecord record{};
  for (const DefaultField& field : kDefaults) {
    std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(field.offset), field.width, ' ');
    std::copy(field.value.begin(), field.value.end(),
              record.begin() + static_cast<std::ptrdiff_t>(field.offset));
  }
  return record;
}

ParameterRecord MergeParameterRecord(std::string_view stored) {
  ParameterRecord record = DefaultParameterRecord();
  const size_t n = std::min(stored.size(), record.size());
  std::copy_n(stored.begin(), n, record.begin());
  return record;
}

ParameterValues ValuesOf(const ParameterRecord& record) {
  ParameterValues values;
  values.fee_concept.assign(record.data() + kFeeConceptOffset, 3);
  values.outlay_concept.assign(record.data() + kOutlayConceptOffset, 3);
  values.outlay_flag = record[kOutlayFlagOffset];
  return values;
}

void LoadParameterTable() {
  const std::string path = TablePath();
  RemoveAbandonedTemporaries(path, kProgramStart);
  ParameterRecord record = MergeParameterRecord(ReadStoredTable(path));
  if (int error = ReplaceFile(path, std::string_view(record.data(), record.size())); error != 0) {
    TableFailure("cannot write the parameter table", path, error);
  }
  merged_record = record;
}

const ParameterRecord& Parameters() { return merged_record; }

ParameterValues ParameterTableValues() { return ValuesOf(merged_record); }

}  // namespace quarnell
