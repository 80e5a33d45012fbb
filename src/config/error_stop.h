// The general run-time error stop: for errors the program does not handle itself (a missing form
// file, a spool file that cannot be written, a print program that cannot be started).
#ifndef QUARNELL_CONFIG_ERROR_STOP_H_
#define QUARNELL_CONFIG_ERROR_STOP_H_

#include <functional>
#include <string_view>

namespace quarnell {

// Shows `what` to the operator first when a screen is open (through the notice the console
// installed: a message box, the bell and one key), then restores the terminal (through the hook
// the console installed), prints
// "quarnell: <what>" on standard error and ends the process with status 1. Files already written
// stay as they are, so a spool file can be inspected.
[[noreturn]] void ErrorStop(std::string_view what);

// The console installs the function that gives the terminal back; empty removes it.
void SetTerminalRestorer(std::function<void()> restorer);

// The console installs the function that shows the stop's message on screen and waits for a key;
// empty removes it. An error stop raised while the notice is showing skips the notice.
void SetErrorStopNotice(std::function<void(std::string_view what)> notice);

// Tests replace the exit: the handler is called instead of ending the process and must not
// return (it throws or longjmps). An empty handler restores the real exit.
void SetErrorStopHandler(std::function<void(std::string_view what)> handler);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_ERROR_STOP_H_
