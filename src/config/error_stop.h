// The general run-time error stop: for errors the program does not handle itself (a missing form
// file, a spool file that cannot be written, a print program that cannot be started).
#ifndef QUARNELL_CONFIG_ERROR_STOP_H_
#define QUARNELL_CONFIG_ERROR_STOP_H_

#include <functional>
#include <string_view>

namespace quarnell {

// Restores the terminal (through the hook the console installed), prints
// "quarnell: <what>" on standard error and ends the process with status 1. Files already written
// stay as they are, so a spool file can be inspected.
[[noreturn]] void ErrorStop(std::string_view what);

// The console installs the function that gives the terminal back; empty removes it.
void SetTerminalRestorer(std::function<void()> restorer);

// Tests replace the exit: the handler is called instead of ending the process and must not
// return (it throws or longjmps). An empty handler restores the real exit.
void SetErrorStopHandler(std::function<void(std::string_view what)> handler);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_ERROR_STOP_H_
