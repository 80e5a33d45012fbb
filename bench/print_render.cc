// qebprint on large spool files: the time to render 1,000 and 10,000 statement pages to PDF and
// to text, and the program's peak memory, which must not grow with the number of pages.
//
// The spool files are written once, before the runs, with the spool writer through the sample
// statements of the tests (realistic account-layout pages: heading, underlined titles, amount
// column, rules, dot-leader totals). Each run starts the built program, as the statement program
// does, and reads its peak resident size from the operating system when it ends.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/session.h"
#include "print/print_output.h"
#include "qebprint/sample_statements.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

quarnell::testing::TempDir& Scratch() {
  static quarnell::testing::TempDir dir;
  return dir;
}

// The spool file of `pages` pages, written on first use.
std::string SpoolOf(int pages) {
  static std::map<int, std::string> spools;
  auto found = spools.find(pages);
  if (found != spools.end()) return found->second;
  setenv("QEBTMP", Scratch().dir().c_str(), 1);
  quarnell::StartConfiguration();
  quarnell::testing::SampleReport report;
  report.properties = pages;  // more than needed; the page limit ends the report
  report.units_per_property = 50;
  report.max_pages = pages;
  if (quarnell::testing::WriteSampleReport(report) != pages) std::abort();
  std::string path = Scratch().file("spool-" + std::to_string(pages) + ".tmp");
  std::filesystem::rename(Scratch().file("qebprint.tmp"), path);
  spools[pages] = path;
  return path;
}

void BM_Qebprint(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const bool pdf = state.range(1) == 0;
  const std::string spool = SpoolOf(pages);
  const std::string output = Scratch().file(pdf ? "out.pdf" : "out.txt");
  const std::string program = std::string(QEB_BIN_DIR) + "/qebprint";
  std::vector<std::string> args = {program, "--input", spool, "--device",
                                   (pdf ? "PDF:" : "TXT:") + output};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  long peak_kib = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("qebprint cannot be started");
      break;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    state.SetIterationTime(elapsed.count());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("qebprint failed");
      break;
    }
    peak_kib = std::max(peak_kib, usage.ru_maxrss);
  }
  state.counters["pages"] = pages;
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
  state.counters["spool_MiB"] =
      static_cast<double>(std::filesystem::file_size(spool)) / (1024.0 * 1024.0);
  state.counters["output_MiB"] =
      static_cast<double>(std::filesystem::file_size(output)) / (1024.0 * 1024.0);
  state.SetLabel(pdf ? "PDF" : "TXT");
}

BENCHMARK(BM_Qebprint)
    ->ArgNames({"pages", "text"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
