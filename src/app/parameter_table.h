// The suite's parameter table "DADES\VParam.tab": one 318-byte record of flags, codes, texts and
// account numbers shared by the suite's programs. At start-up this program lays the stored table
// over its own defaults and writes the merged record back; the statement reads three fields.
#ifndef QUARNELL_APP_PARAMETER_TABLE_H_
#define QUARNELL_APP_PARAMETER_TABLE_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr size_t kParameterRecordSize = 318;
using ParameterRecord = std::array<char, kParameterRecordSize>;

// The fields of the record that the statement reads.
struct ParameterValues {
  std::string fee_concept;     // offset 19, 3 characters ("HON")
  std::string outlay_concept;  // offset 22, 3 characters ("SUP")
  char outlay_flag = 'N';      // offset 17 ("N")
};

// This program's defaults: zero bytes at 0-9 and 313-314, every other field its code or text,
// blank-padded (the 20-byte texts at 80-239 are blanks, not zero bytes).
ParameterRecord DefaultParameterRecord();

// The defaults with the first bytes replaced by `stored`, byte for byte (at most 318 of them):
// stored values always win, blanks included.
ParameterRecord MergeParameterRecord(std::string_view stored);

ParameterValues ValuesOf(const ParameterRecord& record);

// Reads root + "DADES\VParam.tab" (a missing file counts as empty), merges it over the defaults,
// and replaces the file with the 318-byte merged record. The new content goes to a temporary file
// in the same directory that is renamed over the table, so the table is never seen missing or cut,
// whatever happens during the write; such temporary files that a killed program left behind are
// removed first. Of a longer table only its first 318 bytes are read and kept, with a warning. A
// table that is not a regular file or cannot be read or written is an error stop. Afterwards
// Parameters() holds the merged record for the rest of the run.
void LoadParameterTable();

// The merged record of the last LoadParameterTable (the defaults before it).
const ParameterRecord& Parameters();
ParameterValues ParameterTableValues();

}  // namespace quarnell

#endif  // QUARNELL_APP_PARAMETER_TABLE_H_
