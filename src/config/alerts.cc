#include "config/alerts.h"

#include <errno.h>

#include <cstdio>
#include <set>
#include <string>

#include "text/cp850.h"

namespace quarnell {
namespace {

// Without a screen the message is all the operator can be given: write it and carry on.
class StandardErrorAlerts : public OperatorAlerts {
 public:
  void ShowMessageBox(std::string_view text, int /*row*/) override {
    std::string line = Cp850ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
  }
  void PopWindow() override {}
  void Bell() override {}
  void DiscardPendingKeys() override {}
  void WaitForKey() override {}
  void ShowWarning(std::string_view text) override {
    std::string line =
        std::string(program_invocation_short_name) + ": warning: " + Cp850ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
  }
  void Explain(std::string_view text) override {
    std::string line = std::string(program_invocation_short_name) + ": " + std::string(text) + "\n";
    std::fputs(line.c_str(), stderr);
  }
};

// Where a warning box stands: the middle of the 25-row screen.
constexpr int kWarningRow = 12;

StandardErrorAlerts standard_error_alerts;
OperatorAlerts* installed = nullptr;
std::set<std::string, std::less<>> warnings_shown;

}  // namespace

void OperatorAlerts::ShowWarning(std::string_view text) {
  ShowMessageBox(text, kWarningRow);
  Bell();
  DiscardPendingKeys();
  WaitForKey();
  PopWindow();
}

OperatorAlerts& Alerts() { return installed != nullptr ? *installed : standard_error_alerts; }

void SetAlerts(OperatorAlerts* alerts) { installed = alerts; }

void WarnOperator(std::string_view text) {
  if (!warnings_shown.emplace(text).second) return;
  Alerts().ShowWarning(text);
}

void ForgetWarnings() { warnings_shown.clear(); }

}  // namespace quarnell
