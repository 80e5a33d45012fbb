// The console on a real terminal (xterm, the Linux console, tmux, over ssh), through ncursesw.
#ifndef QUARNELL_SCREEN_TERMINAL_CONSOLE_H_
#define QUARNELL_SCREEN_TERMINAL_CONSOLE_H_

#include <memory>
#include <string>

#include "screen/console.h"

namespace quarnell {

struct TerminalOptions {
  int input_fd = 0;
  int output_fd = 1;
  // Restore the terminal on SIGTERM, SIGHUP, SIGINT, SIGQUIT and the crash signals. The benchmark
  // that draws into a pseudo-terminal does without.
  bool handle_signals = true;
};

// Opens the console on the terminal: raw input (Ctrl+C is the key 3, never a signal), no echo,
// the alternate screen, mouse clicks reported. The grid's code page 850 characters are drawn as
// Unicode in a UTF-8 locale; elsewhere the line characters come from the terminal's line set and
// what the locale cannot show from plain ASCII. The 16 colours map onto 16- and 256-colour
// terminals directly, onto 8-colour ones with bold for the bright foregrounds.
//
// While the returned console lives, the record-file layer's messages and the error stop appear in
// boxes on it (ConsoleAlerts). The terminal is given back when the console is destroyed, at exit(),
// on the error stop, and on the signals above. A terminal smaller than 80 x 25 shows a one-line
// request for a larger window, and keys are ignored, until it is resized; a resize redraws the
// screen from the grid. ESCDELAY (milliseconds, default 40) is how long a lone Esc waits for the
// rest of a sequence.
//
// Returns nullptr with *error set when input or output is not a terminal or its type is unknown.
// REQUIRES: no other terminal console is open.
std::unique_ptr<Console> OpenTerminalConsole(std::string* error,
                                             const TerminalOptions& options = {});

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_TERMINAL_CONSOLE_H_
