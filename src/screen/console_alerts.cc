#include "screen/console_alerts.h"

#include "config/error_stop.h"
#include "screen/message_box.h"
#include "screen/window_stack.h"

namespace quarnell {

ConsoleAlerts::ConsoleAlerts(Console& console) : console_(console) {
  SetAlerts(this);
  SetErrorStopNotice([this](std::string_view what) { ShowErrorStop(what); });
}

ConsoleAlerts::~ConsoleAlerts() {
  SetErrorStopNotice(nullptr);
  SetAlerts(nullptr);
}

// The record layer shows its locked-file message and then sleeps without reading keys: the box
// must reach the terminal now, and leave it as soon as it is popped.
void ConsoleAlerts::ShowMessageBox(std::string_view text, int row) {
  quarnell::ShowMessageBox(console_, text, row);
  console_.Refresh();
}

void ConsoleAlerts::PopWindow() {
  quarnell::PopWindow(console_);
  console_.Refresh();
}

void ConsoleAlerts::Bell() { console_.Bell(); }

void ConsoleAlerts::DiscardPendingKeys() { console_.DiscardPendingKeys(); }

void ConsoleAlerts::WaitForKey() { console_.WaitKey(); }

void ConsoleAlerts::ShowErrorStop(std::string_view what) {
  DrawMessageBox(console_, what, kErrorStopMessageRow);
  console_.Bell();
  console_.DiscardPendingKeys();
  console_.WaitKey();
}

}  // namespace quarnell
