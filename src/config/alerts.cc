#include "config/alerts.h"

#include <cstdio>
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
};

StandardErrorAlerts standard_error_alerts;
OperatorAlerts* installed = nullptr;

}  // namespace

OperatorAlerts& Alerts() { return installed != nullptr ? *installed : standard_error_alerts; }

void SetAlerts(OperatorAlerts* alerts) { installed = alerts; }

}  // namespace quarnell
