// The console: a full redraw of the 80 x 25 screen and a push/pop of a full-screen window, through
// the in-memory console (the drawing and the window stack file alone) and through curses into a
// pseudo-terminal (what a real terminal costs on top: the escape sequences curses writes, counted
// per iteration as bytes sent, which is what travels over ssh).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "config/attributes.h"
#include "screen/memory_console.h"
#include "screen/message_box.h"
#include "screen/terminal_console.h"
#include "screen/window_stack.h"

namespace quarnell {
namespace {

// The window stack file lives with the other benchmarks' data.
std::string StackPath() {
  std::filesystem::create_directories("build/bench-data");
  return "build/bench-data/WinPush.tmp";
}

// Every cell changes from one screen to the next: characters, accented letters, line characters
// and two colour sets alternate with `phase`.
void DrawScreen(Console& console, int phase) {
  static const std::string kLine =
      "Propietari \x82s \x84 \xC4\xC4\xC4 \xB3 \xDA\xBF 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
      "abcdefghijklmnopqrstuvwxyz";
  for (int row = 1; row <= kScreenRows; ++row) {
    SetAttribute((row + phase) % 2 == 0 ? "n" : "r");
    console.SetCursor(row, 1);
    // Offsets that no scroll of the previous screen reproduces, so curses must send every row.
    const size_t start = static_cast<size_t>(row * 3 + phase * 40) % kLine.size();
    std::string text = (kLine + kLine + kLine).substr(start, kScreenColumns);
    console.Write(text);
  }
  SetAttribute("");
}

void PushPop(Console& console) {
  PushWindow(console, 1, 1, kScreenRows, kScreenColumns);
  SetAttribute("r");
  DrawFrame(console, 2);
  console.Refresh();
  PopWindow(console);
  SetAttribute("");
  console.Refresh();
}

// A pseudo-terminal of 80 x 25 whose other end is read (and thrown away) by a thread, as a
// terminal emulator would, counting the bytes.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    struct winsize size {};
    size.ws_row = kScreenRows;
    size.ws_col = kScreenColumns;
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) std::abort();
    reader_ = std::thread([this] {
      char buffer[65536];
      ssize_t n;
      while ((n = read(master_, buffer, sizeof buffer)) > 0) bytes_ += n;
    });
  }
  ~PseudoTerminal() {
    close(slave_);
    reader_.join();
    close(master_);
  }
  int slave() const { return slave_; }
  long bytes() const { return bytes_.load(); }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::thread reader_;
  std::atomic<long> bytes_{0};
};

// The curses console on the pseudo-terminal, for as long as the benchmark runs.
struct CursesOnPty {
  CursesOnPty() {
    setenv("TERM", "xterm-256color", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    std::string error;
    TerminalOptions options;
    options.input_fd = pty.slave();
    options.output_fd = pty.slave();
    options.handle_signals = false;
    console = OpenTerminalConsole(&error, options);
    if (!console) std::abort();
    console->SetWindowStackPath(StackPath());
  }
  PseudoTerminal pty;
  std::unique_ptr<Console> console;
};

void BM_MemoryFullRedraw(benchmark::State& state) {
  MemoryConsole console;
  int phase = 0;
  for (auto _ : state) {
    DrawScreen(console, phase ^= 1);
    console.Refresh();
  }
}
BENCHMARK(BM_MemoryFullRedraw)->Unit(benchmark::kMicrosecond);

void BM_MemoryPushPop(benchmark::State& state) {
  MemoryConsole console;
  console.SetWindowStackPath(StackPath());
  DrawScreen(console, 0);
  for (auto _ : state) PushPop(console);
}
BENCHMARK(BM_MemoryPushPop)->Unit(benchmark::kMicrosecond);

void BM_CursesFullRedraw(benchmark::State& state) {
  CursesOnPty curses;
  int phase = 0;
  const long before = curses.pty.bytes();
  for (auto _ : state) {
    DrawScreen(*curses.console, phase ^= 1);
    curses.console->Refresh();
  }
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(curses.pty.bytes() - before),
                                               benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CursesFullRedraw)->Unit(benchmark::kMicrosecond);

void BM_CursesPushPop(benchmark::State& state) {
  CursesOnPty curses;
  DrawScreen(*curses.console, 0);
  curses.console->Refresh();
  const long before = curses.pty.bytes();
  for (auto _ : state) PushPop(*curses.console);
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(curses.pty.bytes() - before),
                                               benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CursesPushPop)->Unit(benchmark::kMicrosecond);

// The pop-up of every day: the locked-file message box shown and removed.
void BM_CursesMessageBox(benchmark::State& state) {
  CursesOnPty curses;
  DrawScreen(*curses.console, 0);
  curses.console->Refresh();
  const long before = curses.pty.bytes();
  for (auto _ : state) {
    ShowMessageBox(*curses.console, "FITXER BLOQUEJAT. ESPEREU UN MOMENT.", 24);
    curses.console->Refresh();
    PopWindow(*curses.console);
    curses.console->Refresh();
  }
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(curses.pty.bytes() - before),
                                               benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CursesMessageBox)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarnell

BENCHMARK_MAIN();
