// Help pages. On the console, "AJUDA\<topic>.HLP" under the root directory: fixed-length lines as
// wide as the screen, no separators, shown in a framed window from row 4 to row (rows - 3). In the
// "WIN" platform mode the suite's launcher opens "AJUDA\<topic>.HTM" instead.
#ifndef QUARNELL_SCREEN_HELP_H_
#define QUARNELL_SCREEN_HELP_H_

#include <string_view>

#include "screen/console.h"

namespace quarnell {

// The general help, reached with F1 from any help page.
inline constexpr std::string_view kGeneralHelpTopic = "GIRAPAN";

// Shows the help page of `topic` and returns when the operator closes it (Esc), with the screen,
// cursor, window and attributes as they were. Keys: Down and Up one line, PgDn and PgUp one page,
// Home and End the first and last page, F1 the general help (except on the general help itself);
// others are ignored. A help file that cannot be read gives a message box naming it, the bell and
// one key.
// In "WIN" mode it runs the launcher "LANZO" of the program directory with the page's path as
// its one argument (an argument vector, never a command line), with the terminal handed over
// until the launcher ends; a launcher that cannot be started gives a message box naming it.
void ShowHelp(Console& console, std::string_view topic);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_HELP_H_
