#include "print/print_output.h"

#include <algorithm>

#include "config/paths.h"
#include "config/session.h"
#include "print/spool_writer.h"

namespace quarnell {
namespace {

struct PrintState {
  SpoolWriter spool;
  int16_t page_length = 0;
  int16_t lines_on_page = 0;
};

PrintState& State() {
  static PrintState state;
  return state;
}

}  // namespace

std::string SpoolFileName() { return Session().session_directory + "qebprint.tmp"; }

void OpenPrintOutput(std::string_view device) {
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
