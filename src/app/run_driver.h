// The program's start-up and hand-over steps that need no screen: configuration, the root as the
// current directory, the module name, the rental files, the parameter table and the letterhead;
// and, after a statement run, the release of the record files and the print program.
#ifndef QUARNELL_APP_RUN_DRIVER_H_
#define QUARNELL_APP_RUN_DRIVER_H_

#include <string>

namespace quarnell {

inline constexpr char kModuleName[] = "QUARNELL";

// Reads the configuration (environment, session and terminal files), makes the root directory
// the current directory when it is set, sets the module name, reads the agency letterhead, opens
// the thirteen rental files and merges the parameter table. A root that cannot be entered and the
// placeholder letterhead of a new installation are error stops; a record file that cannot be
// opened ends the program inside the record-file layer.
void StartUpWithoutScreen();

// The print program as the driver starts it: the program directory followed by "QEBPRINT",
// matched without regard to case on disk (so build/bin/qebprint is found).
std::string PrintProgramPath();

// Starts the print program (no arguments, this process's environment and terminal) and waits for
// it to end. Returns its exit status (128 + the signal when a signal ended it). A program that
// cannot be started is an error stop.
int RunPrintProgram();

}  // namespace quarnell

#endif  // QUARNELL_APP_RUN_DRIVER_H_
