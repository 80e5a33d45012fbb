#include "config/error_stop.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "text/cp850.h"

namespace quarnell {
namespace {
std::function<void()> terminal_restorer;
std::function<void(std::string_view)> stop_handler;
std::function<void(std::string_view)> stop_notice;
bool notice_showing = false;

// The notice, once: an error inside it (the screen or the window stack failing) must not show
// it again.
void ShowNotice(std::string_view what) {
  if (!stop_notice || notice_showing) return;
  struct Showing {
    Showing() { notice_showing = true; }
    ~Showing() { notice_showing = false; }
  } showing;
  stop_notice(what);
}
}  // namespace

void SetTerminalRestorer(std::function<void()> restorer) {
  terminal_restorer = std::move(restorer);
}

void SetErrorStopHandler(std::function<void(std::string_view)> handler) {
  stop_handler = std::move(handler);
}

void SetErrorStopNotice(std::function<void(std::string_view)> notice) {
  stop_notice = std::move(notice);
}

void ErrorStop(std::string_view what) {
  ShowNotice(what);
  if (stop_handler) {
    stop_handler(what);
  }
  if (terminal_restorer) {
    auto restore = std::move(terminal_restorer);
    terminal_restorer = nullptr;
    restore();
  }
  std::string message = "quarnell: " + Cp850ToUtf8(what) + "\n";
  std::fputs(message.c_str(), stderr);
  std::fflush(nullptr);
  std::exit(1);
}

}  // namespace quarnell
