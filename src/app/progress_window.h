// The small window that shows a statement run's progress on the screen: the owner being printed,
// how many of the range are done, and that Esc stops the run after that owner.
#ifndef QUARNELL_APP_PROGRESS_WINDOW_H_
#define QUARNELL_APP_PROGRESS_WINDOW_H_

#include <string>

#include "screen/console.h"

namespace quarnell {

class ProgressWindow {
 public:
  // Opens the window over the screen (it saves what it covers) for a run of `owners` owners.
  ProgressWindow(Console& console, int owners);
  // Closes the window: the screen under it comes back.
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Shows that owner `code` (dotted) `name` (code page 850) is next and brings the terminal up to
  // date. Returns false when the operator has pressed Esc since the last owner: the run is to stop
  // before this one. It reads at most one key typed meanwhile; the caller drops the others.
  bool NextOwner(const std::string& code, const std::string& name);

  bool stopped() const { return stopped_; }

 private:
  void DrawCount();

  Console& console_;
  int owners_;
  int done_ = 0;
  bool stopped_ = false;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_PROGRESS_WINDOW_H_
