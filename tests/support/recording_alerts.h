// Alerts that record what the program would have shown the operator, installed for one test.
#ifndef QUARNELL_TESTS_SUPPORT_RECORDING_ALERTS_H_
#define QUARNELL_TESTS_SUPPORT_RECORDING_ALERTS_H_

#include <string>
#include <string_view>
#include <vector>

#include "config/alerts.h"

namespace quarnell::testing {

class RecordingAlerts : public OperatorAlerts {
 public:
  RecordingAlerts() {
    SetAlerts(this);
    ForgetWarnings();
  }
  ~RecordingAlerts() override { SetAlerts(nullptr); }
  RecordingAlerts(const RecordingAlerts&) = delete;
  RecordingAlerts& operator=(const RecordingAlerts&) = delete;

  void ShowMessageBox(std::string_view text, int row) override {
    shown.emplace_back(text);
    rows.push_back(row);
    events += "show ";
  }
  void PopWindow() override { events += "pop "; }
  void Bell() override { events += "bell "; }
  void DiscardPendingKeys() override { events += "discard "; }
  void WaitForKey() override { events += "key "; }
  void Explain(std::string_view text) override {
    explained.emplace_back(text);
    events += "explain ";
  }

  // Every text shown, one per line, for matching in failure messages.
  std::string All() const {
    std::string all;
    for (const std::string& text : shown) all += text + "\n";
    return all;
  }

  std::vector<std::string> shown;
  std::vector<std::string> explained;
  std::vector<int> rows;
  std::string events;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_SUPPORT_RECORDING_ALERTS_H_
