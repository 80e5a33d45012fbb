// The check of a run's data from the command line:
//
//   quarnell --check --date DATE --from CODE --to CODE --layout N|F [--format text|csv] [--stats]
//
// with the arguments and environment of `quarnell --batch`. It prints the findings, one line each
// (or CSV rows under a header), on standard output and writes no file. Exit status 0 when nothing
// was found, 3 when something was, 1 and 2 as for --batch.
#ifndef QUARNELL_APP_CHECK_COMMAND_H_
#define QUARNELL_APP_CHECK_COMMAND_H_

#include <ostream>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/data_check.h"

namespace quarnell {

struct CheckRequest {
  BatchRequest run;  // the run whose data is checked; `print` is unused
  bool csv = false;  // CSV rows instead of lines
};

// Reads the arguments after "--check": those of --batch but --no-print, and --format text|csv.
// Returns false with *error naming the argument at fault.
bool ParseCheckArguments(const std::vector<std::string>& args, CheckRequest* request,
                         std::string* error);

// Runs the check of `args` (after "--check"). Returns the exit status.
int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The check that opens every batch run: counts the findings of the run's data and, when there
// are any, says so in one line on `err` with the command that lists them. Never stops the run.
// REQUIRES: the rental files are open.
CheckTotals ReportRunCheck(const BatchRequest& request, std::ostream& err);

// The check settings of a run request.
CheckSettings CheckSettingsOf(const BatchRequest& request);

}  // namespace quarnell

#endif  // QUARNELL_APP_CHECK_COMMAND_H_
