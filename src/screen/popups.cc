#include "screen/popups.h"

#include "screen/calculator.h"
#include "screen/calendar.h"
#include "screen/key_input.h"

namespace quarnell {

void InstallPopups() {
  SetCalculatorCall(Calculator);
  SetCalendarCall(CalendarPopup);
}

}  // namespace quarnell
