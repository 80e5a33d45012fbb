// The marks a statement run leaves in its spool file for the print program, so that it can cut the
// report into one document per owner and date the documents after the run. They are directive
// lines: a reader that does not know them skips them, and the report prints as it always did.
//
//   *QEB-RUN 20260115-093012 20251231 N 0001 9999   the run: its start (local time), statement
//                                                   date, layout, first and last owner code
//   *QEB-OWNER 0001 ES11111111H       PUIG*JOSEP    an owner's statements begin: the code, the
//                                                   tax identifier in 17 characters, the name as
//                                                   stored (surname*first name)
//   *QEB-OWNER-END 0001 2                           they end: the code, the properties printed
//
// Every field but the name is free of blanks or of fixed width, so nothing needs quoting.
#ifndef QUARNELL_PRINT_SPOOL_MARKS_H_
#define QUARNELL_PRINT_SPOOL_MARKS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr size_t kMarkTaxIdWidth = 17;

struct RunMark {
  std::string started;         // YYYYMMDD-HHMMSS
  std::string statement_date;  // YYYYMMDD
  char layout = 'N';
  std::string owner_from;  // four digits
  std::string owner_to;
};

struct OwnerMark {
  std::string code;         // four digits
  std::string tax_id;       // kMarkTaxIdWidth characters, blank-padded
  std::string name;         // as stored, trailing blanks dropped; code page 850
  int32_t properties = -1;  // OWNER-END only: the properties printed
};

// The directive texts (without the leading "*"). Bytes 0-31, 127 and 255 of the tax identifier and
// the name become blanks; the tax identifier is padded or cut to its width.
std::string RunDirective(const RunMark& mark);
std::string OwnerDirective(const OwnerMark& mark);
std::string OwnerEndDirective(std::string_view code, int32_t properties);

// The run's start as a PDF wants its creation date: "2026-01-15T09:30:12".
std::string IsoStarted(const RunMark& mark);

// "-2025-N": the statement year and layout that name the run's documents.
std::string YearAndLayout(const RunMark& mark);

enum class MarkKind {
  kNone,     // not a mark of these kinds: any other directive
  kDamaged,  // one of these marks whose fields do not read
  kRun,
  kOwner,
  kOwnerEnd,
};

// Reads the text of a directive line (without the "*"), filling `run` or `owner` as it says.
MarkKind ParseMark(std::string_view directive, RunMark* run, OwnerMark* owner);

}  // namespace quarnell

#endif  // QUARNELL_PRINT_SPOOL_MARKS_H_
