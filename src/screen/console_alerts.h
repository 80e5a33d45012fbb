// The console's side of the record-file layer's alerts and of the error stop: while an object of
// ConsoleAlerts lives, the locked-file and fatal access messages appear in message boxes with the
// bell and the key wait, and an error stop shows its message in a box and waits for one key before
// the terminal is given back. Without one (batch runs) they go to standard error.
#ifndef QUARNELL_SCREEN_CONSOLE_ALERTS_H_
#define QUARNELL_SCREEN_CONSOLE_ALERTS_H_

#include <string_view>

#include "config/alerts.h"
#include "screen/console.h"

namespace quarnell {

// The screen row by which the error stop's message box is placed (as the fatal access message).
inline constexpr int kErrorStopMessageRow = 12;

class ConsoleAlerts : public OperatorAlerts {
 public:
  // Installs itself (SetAlerts, SetErrorStopNotice) on `console`, which must outlive it.
  explicit ConsoleAlerts(Console& console);
  // Puts the standard-error alerts back and removes the notice.
  ~ConsoleAlerts() override;
  ConsoleAlerts(const ConsoleAlerts&) = delete;
  ConsoleAlerts& operator=(const ConsoleAlerts&) = delete;

  void ShowMessageBox(std::string_view text, int row) override;
  void PopWindow() override;
  void Bell() override;
  void DiscardPendingKeys() override;
  void WaitForKey() override;

 private:
  // The error stop's message: drawn without the window stack (which may be what failed), the
  // bell, one key.
  void ShowErrorStop(std::string_view what);

  Console& console_;
};

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_CONSOLE_ALERTS_H_
