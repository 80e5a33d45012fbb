#include "print/print_output.h"

#include <algorithm>
#include <chrono>

#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"
#include "print/fresh_file.h"
#include "print/spool_guard.h"
#include "print/spool_writer.h"

namespace quarnell {
namespace {

struct PrintState {
  SpoolGuard guard;
  SpoolWriter spool;
  int16_t page_length = 0;
  int16_t lines_on_page = 0;
};

PrintState& State() {
  static PrintState state;
  return state;
}

}  // namespace

std::string SpoolFileName() { return Session().session_directory + kSpoolName; }

bool ClaimSpoolFile(int32_t wait_milliseconds, std::string* problem) {
  const std::string lock_path = HostPath(SpoolFileName() + "-lck");
  SpoolGuard& guard = State().guard;
  if (guard.held() && guard.lock_path() == lock_path) return true;
  if (!guard.Claim(lock_path, wait_milliseconds, problem)) return false;
  // With the guard held no other run writes here: a temporary spool file older than this moment
  // and locked by nobody was left by a run that was killed.
  const std::string spool = HostPath(SpoolFileName());
  RemoveLeftoverFiles(HostDirectoryOf(spool), kSpoolName, std::chrono::system_clock::now());
  return true;
}

void ReleaseSpoolFile() { State().guard.Release(); }

void OpenPrintOutput(std::string_view device) {
  std::string problem;
  if (!ClaimSpoolFile(kSpoolWaitMilliseconds, &problem)) ErrorStop(problem);
  State().spool.Open(HostPath(SpoolFileName()), device);
}

void NewPage(int16_t length) {
  PrintState& state = State();
  state.spool.WritePage(length);
  state.page_length = length;
  state.lines_on_page = 0;
}

void PrintAt(int16_t column, std::string_view text, int16_t advance) {
  PrintState& state = State();
  std::string clean = SpoolText(text);
  if (state.lines_on_page >= state.page_length) NewPage(state.page_length);
  state.spool.WriteText(column, clean, advance);
  if (advance != 0) {
    // Saturate rather than wrap: a wrapped count would go negative and no page would ever break.
    int32_t lines = int32_t{state.lines_on_page} + advance;
    state.lines_on_page = static_cast<int16_t>(std::clamp<int32_t>(lines, INT16_MIN, INT16_MAX));
  }
}

void SetJustification(std::string_view code) {
  State().spool.WriteJustification(NormalizeJustification(code));
}

void PrintDirective(std::string_view text) { State().spool.WriteDirective(text); }

void ClosePrintOutput() { State().spool.Close(); }

int16_t PageLength() { return State().page_length; }

int16_t LinesOnPage() { return State().lines_on_page; }

void ResetPrintStateForTesting() {
  State().page_length = 0;
  State().lines_on_page = 0;
}

}  // namespace quarnell
