// The interactive program's own costs, on the in-memory console: the start-up to the parameter
// screen, and the time from a key to the updated screen, on the demo agency and on a generated
// agency, each beside its baseline:
//   - start-up: configuration, form file, defaults, record files, parameter table, letterhead,
//     entered values, the parameter screen drawn; baseline: the same start-up without the screen
//     (what a batch run does before its statements);
//   - a key inside a field (Right, Left: the editor redraws the field and places the cursor), and a
//     key that moves to another field (Down, Up: the field's check, its display, the next field's
//     editor); baseline: the console's own key wait with its screen update.
//
//   interactive_bench [--owners 2000] [--runs R] [--dir DIR]
//
// The agencies are made by `qebdata demo DIR/demo` and `qebdata generate DIR/agency-N --owners N`
// (kept and reused; the statement benchmark makes the same ones). Each figure is the best of the
// runs. Output: a Markdown table on standard output.
#include "app/interactive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/run_driver.h"
#include "bench/bench_support.h"
#include "config/attributes.h"
#include "config/session.h"
#include "records/record_files.h"
#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen/memory_console.h"

namespace quarnell {
namespace {

struct Options {
  int owners = 2000;
  int runs = 20;
  std::string dir = "build/bench-data";
};

// Runs the data tool; its messages go to `log`. A failure ends the benchmark.
void RunTool(const std::vector<std::string>& args, const std::string& log) {
  const bench::ChildRun run = bench::Spawn(args, log);
  if (run.status != 0) bench::Fail("interactive_bench", args[1] + " failed: " + run.err);
}

// Best time of `runs` calls of `body`, in seconds, divided by `per`.
double Best(int runs, double per, const std::function<void()>& body) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto started = std::chrono::steady_clock::now();
    body();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  return best / per;
}

void ReleaseFiles() {
  int16_t status = 0;
  ResetRecordFiles(status);
}

// The interactive start-up up to the parameter screen drawn, as RunInteractive does it.
void StartUpWithScreen(Console& console) {
  EnterInstallation();
  LoadForm(Session().root_directory + "FORMS\\" + kModuleName + ".JPN");
  SetParameterDefaults();
  OpenRecordsAndTables();
  InstallFormHooks();
  RestoreEntryValues();
  SetAttribute("n");
  console.Clear();
  ShowScreen(console, 1);
  console.Refresh();
}

struct Figures {
  double startup = 0, startup_base = 0, key_in_field = 0, key_between = 0, key_base = 0;
};

constexpr int kKeys = 2000;

Figures Measure(const std::string& root, int runs) {
  setenv("QEBROOT", root.c_str(), 1);
  setenv("QEBTMP", (root + "tmp/").c_str(), 1);
  Figures f;
  MemoryConsole console;
  console.SetWindowStackPath(root + "tmp/WinPush.tmp");
  // The two start-ups take turns, so that neither gets the warmer disk cache.
  f.startup_base = f.startup = 1e30;
  for (int i = 0; i < runs; ++i) {
    f.startup_base = std::min(f.startup_base, Best(1, 1, [] {
                                StartUpWithoutScreen();
                                ReleaseFiles();
                              }));
    f.startup = std::min(f.startup, Best(1, 1, [&] {
                           StartUpWithScreen(console);
                           ReleaseFiles();
                         }));
  }

  StartUpWithScreen(console);
  f.key_base = Best(runs, kKeys, [&] {
    for (int i = 0; i < kKeys; ++i) console.PressKeys({kKeyRight});
    for (int i = 0; i < kKeys; ++i) console.WaitKey();
  });
  f.key_in_field = Best(runs, kKeys + 1, [&] {
    for (int i = 0; i < kKeys; ++i) console.PressKeys({i % 2 == 0 ? kKeyRight : kKeyLeft});
    console.PressKeys({kKeyEsc});
    int16_t key = 0;
    RunForm(console, 1, 0, 0, key);
  });
  f.key_between = Best(runs, kKeys + 1, [&] {
    for (int i = 0; i < kKeys; ++i) console.PressKeys({i % 2 == 0 ? kKeyDown : kKeyUp});
    console.PressKeys({kKeyEsc});
    int16_t key = 0;
    RunForm(console, 1, 0, 0, key);
  });
  ReleaseFiles();
  return f;
}

std::string Ms(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  return text;
}

std::string Us(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f µs", seconds * 1e6);
  return text;
}

}  // namespace
}  // namespace quarnell

int main(int argc, char** argv) {
  using namespace quarnell;
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--owners") options.owners = std::atoi(argv[i + 1]);
    if (option == "--runs") options.runs = std::atoi(argv[i + 1]);
    if (option == "--dir") options.dir = argv[i + 1];
  }
  namespace fs = std::filesystem;
  const std::string dir = fs::absolute(options.dir).string();
  const std::string bin = QEB_BIN_DIR;
  fs::create_directories(dir);
  const std::string demo = dir + "/demo/";
  const std::string generated = dir + "/agency-" + std::to_string(options.owners) + "/";
  const std::string log = dir + "/interactive-qebdata.txt";
  if (!fs::exists(demo)) RunTool({bin + "/qebdata", "demo", demo}, log);
  if (!fs::exists(generated)) {
    RunTool({bin + "/qebdata", "generate", generated, "--owners", std::to_string(options.owners)},
            log);
  }
  // This build's forms, messages and help in agencies made by an older one.
  RunTool({bin + "/qebdata", "init", demo}, log);
  RunTool({bin + "/qebdata", "init", generated}, log);

  std::printf(
      "| Agency | Start-up to the parameter screen | Baseline: start-up without it "
      "| Key in a field | Key to another field | Baseline: key wait |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const auto& [name, root] :
       {std::pair{std::string("demo (11 owners)"), demo},
        std::pair{std::to_string(options.owners) + " owners", generated}}) {
    const Figures f = Measure(root, options.runs);
    std::printf("| %s | %s | %s | %s | %s | %s |\n", name.c_str(), Ms(f.startup).c_str(),
                Ms(f.startup_base).c_str(), Us(f.key_in_field).c_str(), Us(f.key_between).c_str(),
                Us(f.key_base).c_str());
  }
  return 0;
}
