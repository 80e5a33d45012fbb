// What the record-file layer needs of the console while it waits for a locked file or ends the
// program on a file it cannot use: a message box, its removal, the bell and one key press; and
// the warnings of start-up about settings that cannot be used. The console installs its own;
// until then (batch runs) messages go to standard error, each followed by a line that explains
// it, and nothing waits.
#ifndef QUARNELL_CONFIG_ALERTS_H_
#define QUARNELL_CONFIG_ALERTS_H_

#include <string_view>

namespace quarnell {

class OperatorAlerts {
 public:
  virtual ~OperatorAlerts() = default;
  // Shows `text` (code page 850) in a framed box placed by screen row `row`; it stays until
  // PopWindow.
  virtual void ShowMessageBox(std::string_view text, int row) = 0;
  virtual void PopWindow() = 0;
  virtual void Bell() = 0;
  virtual void DiscardPendingKeys() = 0;
  virtual void WaitForKey() = 0;
  // Tells the operator of something wrong that does not stop the program. With the screen: a
  // message box, the bell and one key. Without it: one line on standard error.
  virtual void ShowWarning(std::string_view text);
  // One more line for an operator without a screen, given after a message box: what failed on
  // this machine (the full path, what a status means, the setting to check). UTF-8. The screen
  // shows its message box alone, so by default this shows nothing.
  virtual void Explain(std::string_view /*text*/) {}
};

// The alerts in force: the standard-error default unless another was installed.
OperatorAlerts& Alerts();

// Installs `alerts` (not owned); nullptr restores the default.
void SetAlerts(OperatorAlerts* alerts);

// Shows `text` (code page 850, naming the file at fault and what the run does without it) through
// the alerts in force, once per start: the same text again is not shown until ForgetWarnings.
void WarnOperator(std::string_view text);

// A new start: every warning may be shown again.
void ForgetWarnings();

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_ALERTS_H_
