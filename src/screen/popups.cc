#include "screen/popups.h"

#include "screen/browse.h"
#include "screen/calculator.h"
#include "screen/calendar.h"
#include "screen/form_entry.h"
#include "screen/key_input.h"

namespace quarnell {

void InstallPopups() {
  SetCalculatorCall(Calculator);
  SetCalendarCall(CalendarPopup);
  SetBrowseCall(Browse);
}

}  // namespace quarnell
