// The findings of the data check on the screen: before the confirmation of a run the operator is
// told how many records the statement would skip or treat differently, and may read them in a
// window that scrolls.
#ifndef QUARNELL_APP_FINDINGS_WINDOW_H_
#define QUARNELL_APP_FINDINGS_WINDOW_H_

#include <vector>

#include "app/data_check.h"
#include "screen/console.h"

namespace quarnell {

// The findings of the data check of `check` (RunDataFindings), under a message box saying that the
// data are being checked: on a large agency the check takes long enough to look like a hang.
std::vector<Finding> CheckDataOnScreen(Console& console, const CheckSettings& check);

// Tells the number of findings in a message box and asks whether to show them; "S" (or "s")
// opens the list, any other key goes on. Nothing is shown when there are none.
void OfferFindings(Console& console, const std::vector<Finding>& findings);

// The list itself, in a framed window over the screen, one finding a paragraph: Up and Down,
// PgUp and PgDn, Home and End scroll; Esc or Enter closes it and the screen comes back.
void ShowFindings(Console& console, const std::vector<Finding>& findings);

}  // namespace quarnell

#endif  // QUARNELL_APP_FINDINGS_WINDOW_H_
