// The program's start-up and hand-over steps that need no screen: configuration, the root as the
// current directory, the module name, the rental files, the parameter table and the letterhead;
// and, after a statement run, the release of the record files and the print program.
#ifndef QUARNELL_APP_RUN_DRIVER_H_
#define QUARNELL_APP_RUN_DRIVER_H_

#include <string>
#include <vector>

#include "text/dates.h"

namespace quarnell {

inline constexpr char kModuleName[] = "QUARNELL";

// Makes the directories of the environment (QEBROOT, QEBTMP, QEBEXE) absolute, so that they still
// hold once the root is the current directory (the configuration gives each its final
// separator). An unset QEBTMP becomes the installation's tmp/ (the current directory's without a
// root), for the spool file, the print program and its PDF.
void AnchorDirectories();

// The process's peak resident size since it started this program (VmHWM), 0 when unknown. Unlike
// getrusage, it does not count what the parent held before the program was started.
long PeakResidentKib();

// Reads the configuration (environment, session and terminal files), makes the root directory
// the current directory when it is set and sets the module name. A root that cannot be entered is
// an error stop.
void EnterInstallation();

// The agency letterhead (its placeholder in a new installation is an error stop), the thirteen
// rental files and the parameter table merged with its defaults.
void OpenRecordsAndTables();

// Reads the configuration (environment, session and terminal files), makes the root directory
// the current directory when it is set, sets the module name and opens the thirteen rental files;
// nothing is written and the letterhead is not read. A root that cannot be entered is an error
// stop; a record file that cannot be opened ends the program inside the record-file layer.
void OpenInstallation();

// EnterInstallation and OpenRecordsAndTables: the start-up of a statement run without the screen.
void StartUpWithoutScreen();

// The statement date the parameter screen proposes: 31 December of the year before the working
// date's year (a working date in 2026 gives 31 December 2025). Without a working date, or with one
// whose year is not a year, today's year stands in for it.
Date DefaultStatementDate();

// The print program as the driver starts it: the program directory followed by "QEBPRINT",
// matched without regard to case on disk (so build/bin/qebprint is found).
std::string PrintProgramPath();

// Starts the print program (with `arguments`, none as the driver starts it; this process's
// environment and terminal, its standard output discarded when `quiet`) and waits for it to end.
// Returns its exit status (128 + the signal when a signal ended it). A program that cannot be
// started is an error stop.
int RunPrintProgram(const std::vector<std::string>& arguments = {}, bool quiet = false);

// Where the print programs started from now on write: their standard output and error are added
// to the files at these host paths (made when missing) instead of going to this process's own; an
// empty path leaves that one as it is. The interactive program keeps the print program's words off
// its screen this way and tells the operator itself. A `quiet` start still discards the output.
void SetPrintProgramOutput(const std::string& output_path, const std::string& error_path);

}  // namespace quarnell

#endif  // QUARNELL_APP_RUN_DRIVER_H_
