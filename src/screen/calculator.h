// The calculator pop-up of field entry (Alt+X): an adding machine with its paper tape in a
// window of 26 columns over the whole height of the screen, at the right edge or wherever the
// operator moved it. Its registers and tape are kept in "QEBCALC.TMP" in the terminal directory,
// so the tape is still there the next time it opens.
#ifndef QUARNELL_SCREEN_CALCULATOR_H_
#define QUARNELL_SCREEN_CALCULATOR_H_

#include <string>

#include "screen/adding_machine.h"
#include "screen/console.h"

namespace quarnell {

inline constexpr char kCalculatorFileName[] = "QEBCALC.TMP";

// Runs the calculator until F or Esc (keys: adding_machine.h). F returns the result in
// hundredths as CalculatorResult gives it, Esc the empty text. The screen under the window, the
// key set, the attributes and the cursor's visibility are as they were on return.
std::string Calculator(Console& console);

// The host path of the state file: the terminal directory's, else the session directory's.
std::string CalculatorStateFile();

// The state kept in the file; the initial state when the file is missing, unreadable, cut or
// damaged.
CalculatorState ReadCalculatorState(const std::string& host_path);

// Replaces the file with `state` through a temporary file and a rename, so that a killed program
// leaves the old state or the new one. A file that cannot be written is told to the operator
// once; the calculator goes on without it.
void WriteCalculatorState(const std::string& host_path, const CalculatorState& state);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_CALCULATOR_H_
