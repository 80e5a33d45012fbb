// `qebdata import` of the collections of generated agencies: wall time and peak memory, for the
// program as built and, in the same run, for a baseline build of it.
//
//   import_csv [--owners 500,2000,9999] [--runs R] [--dir DIR] [--baseline PATH]
//
// For each owner count an agency is made by `qebdata generate DIR/agency-N --owners N` and its
// collections exported to DIR/VCobros-N.csv (both kept and reused). Then, R times in turn, each
// program (the baseline first, when given) imports that CSV into the empty VCobros of a fresh
// installation made by `qebdata init`, as a child process: wall time and its peak resident size
// from the system, and its processor time (user and system), which the other work of a shared
// machine disturbs less than the wall clock. Each time is the best of the runs, each peak the
// largest.
// Output: a Markdown table on standard output.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

using quarnell::bench::ChildRun;
using quarnell::bench::Spawn;

struct Options {
  std::vector<int> owners = {500, 2000, 9999};
  int runs = 2;
  std::string dir = "build/bench-data";
  std::string baseline;
};

[[noreturn]] void Fail(const std::string& what) { quarnell::bench::Fail("import_csv", what); }

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      Fail("usage: import_csv [--owners 500,2000,9999] [--runs R] [--dir DIR] [--baseline PATH]");
    }
    const std::string value = argv[++i];
    if (arg == "--owners") {
      options.owners = quarnell::bench::ParseNumberList(value);
    } else if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--dir") {
      options.dir = value;
    } else if (arg == "--baseline") {
      options.baseline = std::filesystem::absolute(value).string();
    } else {
      Fail("unknown argument " + arg);
    }
  }
  return options;
}

void MustRun(const std::vector<std::string>& args, const std::string& err_path) {
  const ChildRun run = Spawn(args, err_path);
  if (run.status != 0) Fail(args[0] + " " + args[1] + " failed: " + run.err);
}

// The CSV of the collections of an agency of `owners` owners, made on first use; *rows receives
// its row count.
std::string CollectionsCsv(const std::string& qebdata, const std::string& base, int owners,
                           const std::string& err_path, long* rows) {
  const std::string csv = base + "VCobros-" + std::to_string(owners) + ".csv";
  if (!std::filesystem::exists(csv)) {
    const std::string root = base + "agency-" + std::to_string(owners) + "/";
    if (!std::filesystem::exists(root + "DADES/VCobros.dat")) {
      std::fprintf(stderr, "import_csv: generating %d owners in %s\n", owners, root.c_str());
      MustRun({qebdata, "generate", root, "--owners", std::to_string(owners)}, err_path);
    }
    MustRun({qebdata, "export", root, "VCobros", csv}, err_path);
  }
  *rows = -1;  // the header
  FILE* in = std::fopen(csv.c_str(), "rb");
  if (in == nullptr) Fail("cannot read " + csv);
  for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) *rows += c == '\n';
  std::fclose(in);
  return csv;
}

// One import into a fresh installation.
ChildRun ImportOnce(const std::string& program, const std::string& qebdata, const std::string& root,
                    const std::string& csv, const std::string& err_path) {
  std::filesystem::remove_all(root);
  MustRun({qebdata, "init", root}, err_path);
  ChildRun run = Spawn({program, "import", root, "VCobros", csv}, err_path);
  if (run.status != 0) Fail(program + " import failed: " + run.err);
  std::filesystem::remove_all(root);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const std::string qebdata = std::string(QEB_BIN_DIR) + "/qebdata";
  std::filesystem::create_directories(options.dir);
  const std::string base = std::filesystem::absolute(options.dir).string() + "/";
  const std::string err_path = base + "stderr.txt";
  std::vector<std::pair<std::string, std::string>> programs;
  if (!options.baseline.empty()) programs.emplace_back("baseline", options.baseline);
  programs.emplace_back("this build", qebdata);

  std::printf(
      "| CSV rows | CSV size | Program | Time (wall) | Processor time | Peak memory |\n"
      "|---|---|---|---|---|---|\n");
  for (const int owners : options.owners) {
    long rows = 0;
    const std::string csv = CollectionsCsv(qebdata, base, owners, err_path, &rows);
    struct stat st {};
    stat(csv.c_str(), &st);
    std::vector<ChildRun> best(programs.size());
    for (int run = 0; run < options.runs; ++run) {
      for (size_t p = 0; p < programs.size(); ++p) {
        const ChildRun child =
            ImportOnce(programs[p].second, qebdata, base + "import-root/", csv, err_path);
        const long peak = std::max(best[p].peak_kib, child.peak_kib);
        const double cpu =
            run == 0 ? child.cpu_seconds : std::min(best[p].cpu_seconds, child.cpu_seconds);
        if (run == 0 || child.seconds < best[p].seconds) best[p] = child;
        best[p].peak_kib = peak;
        best[p].cpu_seconds = cpu;
      }
    }
    for (size_t p = 0; p < programs.size(); ++p) {
      std::printf("| %ld | %.1f MB | %s | %.2f s | %.2f s | %.1f MiB |\n", rows, st.st_size / 1e6,
                  programs[p].first.c_str(), best[p].seconds, best[p].cpu_seconds,
                  best[p].peak_kib / 1024.0);
    }
    std::fflush(stdout);
  }
  return 0;
}
