// The pick lists of the form file: F4 on a field with a pick list runs Browse for it.
#ifndef QUARNELL_SCREEN_BROWSE_H_
#define QUARNELL_SCREEN_BROWSE_H_

#include <cstdint>

#include "screen/browse_list.h"
#include "screen/console.h"

namespace quarnell {

// Runs pick list `browse` of the form (form.h): first the screen its slot 6 names, when it names
// one (Esc there leaves with kBrowseLeft); then the program's BrowseStart for the key range (a
// result other than 0 leaves with that result); then the list over the file of slot 0 along key
// slot 1, in the window of slots 2 to 5 (RunBrowseList). F4 in the list, when slot 7 names
// another list, runs that one and, on a pick there, the program's BrowsePick for it (screen and
// field 0). Returns what RunBrowseList returns; kBrowseLeft for a list the form does not have.
// The key set and its saved copy are as they were on return, whatever the screen of slot 6 did.
int16_t Browse(Console& console, int browse);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_BROWSE_H_
