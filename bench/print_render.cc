// qebprint on large spool files: the time to render 1,000 and 10,000 statement pages to PDF and
// to text, and the program's peak memory, which must not grow with the number of pages; and the
// split of the first 2,000 owners into one PDF per owner beside the whole-range PDF of the same
// spool.
//
// The spool comes from the statement program itself: once, before the runs, `qebdata generate`
// builds a synthetic agency large enough for more than 10,000 pages and `quarnell --batch` prints
// the account layout of all its owners; the cases read the first 1,000 and 10,000 pages of that
// spool. Each run starts the built qebprint, as the statement program does, and reads its peak
// resident size from the operating system when it ends.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "support/temp_dir.h"

namespace {

quarnell::testing::TempDir& Scratch() {
  static quarnell::testing::TempDir dir;
  return dir;
}

// The start of an owner's marks: "*QEB-OWNER " and "*QEB-OWNER-END ".
constexpr char kOwnerMark[] = "*QEB-OWNER";

// Owners of the synthetic agency: about five pages each, so comfortably over 10,000 pages.
constexpr int kOwners = 2400;

bool Run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The statement program's spool for the whole synthetic agency, made on first use; empty when
// the data tool or the statement program fails.
const std::string& GeneratedSpool() {
  static const std::string spool = [] {
    const std::string bin = QEB_BIN_DIR;
    const std::string root = Scratch().dir() + "root/";
    const std::string session = Scratch().dir();
    if (!Run(bin + "/qebdata generate " + root + " --owners " + std::to_string(kOwners)) ||
        !Run("cd " + root + " && env QEBROOT=" + root + " QEBTMP=" + session + " QEBEXE=" + bin +
             "/ " + bin + "/quarnell --batch --date 311225 --from 1 --to 9999 --layout N" +
             " --no-print")) {
      return std::string();
    }
    return Scratch().file("qebprint.tmp");
  }();
  return spool;
}

// The start of the generated spool as a spool file of its own: everything before the line that
// begins with `marker` for the (`count` + 1)th time. Empty when the spool has fewer such lines.
// Without `owner_marks` the owners' marks are left out: a spool cut inside an owner's statements
// is then a whole report without marks, as earlier versions wrote, not one the print program
// must call cut short.
std::string SpoolUpTo(const std::string& marker, int count, bool owner_marks) {
  static std::map<std::string, std::string> spools;
  const std::string key = marker + std::to_string(count) + (owner_marks ? "+" : "");
  auto found = spools.find(key);
  if (found != spools.end()) return found->second;
  if (GeneratedSpool().empty()) return "";
  std::ifstream in(GeneratedSpool(), std::ios::binary);
  std::string path = Scratch().file("spool-" + std::to_string(spools.size()) + ".tmp");
  std::ofstream out(path, std::ios::binary);
  std::string line;
  int seen = 0;
  while (std::getline(in, line)) {
    if (line.rfind(marker, 0) == 0 && ++seen > count) break;
    if (!owner_marks && line.rfind(kOwnerMark, 0) == 0) continue;
    out << line << '\n';
  }
  out.close();
  if (seen < count) return "";
  spools[key] = path;
  return path;
}

// The first `pages` pages (page lines), or the first `owners` owners (their marks).
std::string SpoolOf(int pages) { return SpoolUpTo("PAGE", pages, false); }
std::string SpoolOfOwners(int owners) { return SpoolUpTo("*QEB-OWNER ", owners, true); }

struct Measured {
  bool ok = false;
  double seconds = 0;      // wall time
  double cpu_seconds = 0;  // user and system time of the program, all its threads
  long peak_kib = 0;
};

// Starts the built qebprint with `args` and waits for it; its words are not kept.
Measured RunQebprint(std::vector<std::string> args) {
  args.insert(args.begin(), std::string(QEB_BIN_DIR) + "/qebprint");
  const quarnell::bench::ChildRun run = quarnell::bench::Spawn(args, "/dev/null");
  Measured measured;
  measured.ok = run.status == 0;
  measured.seconds = run.seconds;
  measured.cpu_seconds = run.cpu_seconds;
  measured.peak_kib = run.peak_kib;
  return measured;
}

void BM_Qebprint(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const bool pdf = state.range(1) == 0;
  const std::string spool = SpoolOf(pages);
  if (spool.empty()) {
    state.SkipWithError("no spool file of that many pages (qebdata generate, quarnell --batch)");
    return;
  }
  const std::string output = Scratch().file(pdf ? "out.pdf" : "out.txt");
  long peak_kib = 0;
  for (auto _ : state) {
    Measured run = RunQebprint({"--input", spool, "--device", (pdf ? "PDF:" : "TXT:") + output});
    if (!run.ok) {
      state.SkipWithError("qebprint failed");
      break;
    }
    state.SetIterationTime(run.seconds);
    peak_kib = std::max(peak_kib, run.peak_kib);
  }
  state.counters["pages"] = pages;
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
  state.counters["spool_MiB"] =
      static_cast<double>(std::filesystem::file_size(spool)) / (1024.0 * 1024.0);
  state.counters["output_MiB"] =
      static_cast<double>(std::filesystem::file_size(output)) / (1024.0 * 1024.0);
  state.SetLabel(pdf ? "PDF" : "TXT");
}

// The 2,000 owners' report as one PDF (split 0) and as one PDF per owner (split 1). Each split
// goes to a directory of its own, kept until the end: an agency's split directories are new, and
// deleting thousands of files between runs would make the file system slower to create them.
void BM_Split(benchmark::State& state) {
  constexpr int kSplitOwners = 2000;
  const bool split = state.range(0) == 1;
  const std::string spool = SpoolOfOwners(kSplitOwners);
  if (spool.empty()) {
    state.SkipWithError("no spool file of that many owners (qebdata generate, quarnell --batch)");
    return;
  }
  long peak_kib = 0;
  double cpu = 0;
  int iteration = 0;
  for (auto _ : state) {
    const std::string target = Scratch().file("split-" + std::to_string(++iteration));
    Measured run = split ? RunQebprint({"--input", spool, "--split", target})
                         : RunQebprint({"--input", spool, "--device", "PDF:" + target + ".pdf"});
    if (!run.ok) {
      state.SkipWithError("qebprint failed");
      break;
    }
    state.SetIterationTime(run.seconds);
    peak_kib = std::max(peak_kib, run.peak_kib);
    cpu += run.cpu_seconds;
  }
  for (int i = 1; i <= iteration; ++i) {
    std::filesystem::remove_all(Scratch().file("split-" + std::to_string(i)));
    std::filesystem::remove(Scratch().file("split-" + std::to_string(i) + ".pdf"));
  }
  state.counters["owners"] = kSplitOwners;
  state.counters["cpu_s"] = iteration > 0 ? cpu / iteration : 0;
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
  state.SetLabel(split ? "one PDF per owner" : "whole-range PDF");
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

BENCHMARK(BM_Split)->ArgNames({"split"})->Arg(0)->Arg(1)->UseManualTime()->Iterations(3)->Unit(
    benchmark::kMillisecond);

BENCHMARK_MAIN();
