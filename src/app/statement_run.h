// One statement run: the statement of every property of every selected owner, owners in code
// order and each owner's properties in key order, each owner in the owner's own language, into a
// fresh spool file.
#ifndef QUARNELL_APP_STATEMENT_RUN_H_
#define QUARNELL_APP_STATEMENT_RUN_H_

#include <functional>
#include <string>
#include <string_view>

#include "app/statement_report.h"
#include "print/spool_marks.h"
#include "text/dates.h"

namespace quarnell {

// Opens the print output on `device`, prints amounts in the secondary currency when one is set,
// walks the owners from `owner_from` to `owner_to` (packed codes, 2 bytes, compared byte by byte)
// and prints the statement of each property of each owner whose state byte is 0, then goes back
// to the main currency and closes the print output. `report_option` is the option as typed: its
// first character chooses the layout ("N" account, "F" fiscal; any other prints nothing).
// The owner's language is in force while the owner is printed; the language in force before is
// restored after each owner. The spool file carries the marks of print/spool_marks.h: the run's
// after the device line, and each reported owner's around the owner's statements. Every rental file
// is read as it was when the run began (one read snapshot per file for the run). A read that finds
// no more records ends its walk; any other failure of a read (a damaged file) ends the program
// through the fatal access path. REQUIRES: the rental files are open, the parameter table and the
// letterhead loaded.
void StatementRun(const Date& statement_date, std::string_view owner_from,
                  std::string_view owner_to, std::string_view report_option,
                  std::string_view device);

// Called once per owner the run reaches, with the dotted owner code and the owner's name in
// reading order (code page 850), before the owner's statements. Returning false stops the run
// there: that owner and the ones after it are not printed, and the report ends with a page that
// says it was stopped and names the last owner printed. Empty: no calls.
using StatementProgress =
    std::function<bool(const std::string& owner_code, const std::string& owner_name)>;
void SetStatementProgress(StatementProgress progress);

// Called for every line the runs print, with its property's heading (see StatementReport).
// Empty: no calls.
void SetPrintedLineObserver(PrintedLineObserver observer);

// The run mark of the last StatementRun: when it started (by the clock), its date, layout and
// owners. Empty fields before the first run.
const RunMark& LastStatementRun();

}  // namespace quarnell

#endif  // QUARNELL_APP_STATEMENT_RUN_H_
