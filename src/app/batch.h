// The command line of the statement program. `quarnell --batch ...` runs one statement without
// the screen, for scripts, tests and benchmarks:
//
//   quarnell --batch [--date DATE] --from CODE --to CODE --layout N|F [--no-print] [--stats]
//            [--split DIR] [--archive] [--figures FILE.csv]
//   quarnell --archive-list [--owner CODE]
//
// with the same environment as the interactive program (QEBROOT, QEBTMP, QEBEXE); without
// QEBTMP the session directory is the installation's tmp/. Without --date the run takes the
// statement date the parameter screen proposes (31 December of the year before the working date)
// and says which on standard error. `quarnell --check` with the same arguments lists what the run
// would skip in the data (app/check_command.h).
#ifndef QUARNELL_APP_BATCH_H_
#define QUARNELL_APP_BATCH_H_

#include <ostream>
#include <string>
#include <vector>

#include "text/dates.h"

namespace quarnell {

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   // the general error stop, a file that cannot be opened
inline constexpr int kExitUsage = 2;     // bad arguments; nothing was written
inline constexpr int kExitFindings = 3;  // --check: the data of the run has findings

struct BatchRequest {
  Date statement_date;      // packed; empty: the parameter screen's default, from the working date
  std::string owner_from;   // packed, 2 bytes
  std::string owner_to;     // packed, 2 bytes
  std::string layout;       // "N" or "F"
  bool print = true;        // start the print program afterwards
  bool stats = false;       // owners and records read on standard error at the end
  bool short_year = false;  // the date's year was typed short: the run says which year it took
  std::string split_directory;         // one PDF per owner into this directory; empty: the device
  bool archive = false;                // keep the run under ARXIU/ of the installation
  std::string figures_path;            // the figures CSV for the tax advisers; empty: none
  std::vector<std::string> arguments;  // as given, for the archive's record
};

// Reads the arguments after "--batch". Returns true with *request filled, or false with *error
// naming the argument at fault: an unknown or repeated option, a missing option or value, a date
// that the date field would refuse or whose year is beyond 9999, an owner code that is not a code
// of four digits at most, --from greater than --to, a layout other than N or F, --split or
// --archive with --no-print.
bool ParseBatchArguments(const std::vector<std::string>& args, BatchRequest* request,
                         std::string* error);

// Gives `request` the default statement date when none was typed, and says which on `err`.
// REQUIRES: the configuration was read (the working date comes from the terminal file).
void TakeDefaultStatementDate(BatchRequest* request, std::ostream& err);

// "1 owner", "2 owners": a count with its noun.
std::string Counted(int64_t count, const char* singular, const char* plural);

// The whole program: `args` are the arguments after the program name. Returns the exit status
// (an error stop does not return).
int RunQuarnell(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quarnell

#endif  // QUARNELL_APP_BATCH_H_
