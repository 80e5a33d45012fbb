// The owner pick list of the parameter screen (F4) over a generated agency of 9,999 owners, in
// name order (key 1 of VPropiet), in the form's window of 16 lines, through the in-memory console:
//   - open: the list drawn with its first window of lines, then Esc;
//   - 50 pages down, then Esc; and 50 pages down and 50 back up (the way back comes from the
//     cache file, not the record file), then Esc;
//   - every page to the end of the list (9,999 lines), then Esc;
// against their floors, the record reads alone in the same run: one window of owners along the
// name key (GetByKey and 15 ReadStep), and every owner along it, as a list that read everything
// before it showed anything would.
//
// The agency is made once by `qebdata generate build/bench-data/agency-9999 --owners 9999` (the
// statement benchmark's, when it is there) and kept.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/rental_files.h"
#include "bench/bench_support.h"
#include "config/session.h"
#include "records/record_files.h"
#include "screen/browse_list.h"
#include "screen/key_codes.h"
#include "screen/memory_console.h"
#include "text/dates.h"

namespace quarnell {
namespace {

constexpr int kOwners = 9999;
constexpr int kWindowLines = 16;  // the form's window: rows 4 to 21
constexpr int kNameKey = 1;

void MakeAgency(const std::string& root) {
  if (std::filesystem::exists(root + "Tova.ini")) return;
  std::fprintf(stderr, "pick_list: generating %d owners in %s\n", kOwners, root.c_str());
  const bench::ChildRun made = bench::Spawn({std::string(QEB_BIN_DIR) + "/qebdata", "generate",
                                             root, "--owners", std::to_string(kOwners)},
                                            root + "../pick-list-generate.txt");
  if (made.status != 0) bench::Fail("pick_list", "qebdata generate failed: " + made.err);
}

// The owner's line as the program shows it: the code in four digits, two blanks, the name.
std::string OwnerLine() {
  const std::span<char> area = RecordArea(kOwnerFile);
  return UnpackDigits(std::string_view(area.data(), 2)) + "  " + std::string(area.data() + 2, 40);
}

BrowseList OwnerList() {
  BrowseList list;
  list.file = kOwnerFile;
  list.key_number = kNameKey;
  list.frame = WindowRect{4, 8, 4 + kWindowLines + 1, 73};
  list.title = "Propietaris";
  list.line = OwnerLine;
  return list;
}

void RunList(benchmark::State& state, std::vector<int16_t> keys) {
  MemoryConsole console;
  const BrowseList list = OwnerList();
  for (auto _ : state) {
    for (int16_t key : keys) console.memory().keys().push_back(key);
    benchmark::DoNotOptimize(RunBrowseList(console, list));
  }
}

std::vector<int16_t> Pages(int down, int up) {
  std::vector<int16_t> keys(static_cast<size_t>(down), kKeyPageDown);
  keys.insert(keys.end(), static_cast<size_t>(up), kKeyPageUp);
  keys.push_back(kKeyEsc);
  return keys;
}

void BM_Open(benchmark::State& state) { RunList(state, Pages(0, 0)); }
void BM_Down50(benchmark::State& state) { RunList(state, Pages(50, 0)); }
void BM_Down50Up50(benchmark::State& state) { RunList(state, Pages(50, 50)); }
void BM_ToTheEnd(benchmark::State& state) { RunList(state, Pages(kOwners / kWindowLines + 1, 0)); }

// Reads `count` owners along the name key and builds their lines, nothing else.
void ReadOwners(benchmark::State& state, int count) {
  for (auto _ : state) {
    int16_t status = 0;
    GetByKey(kOwnerFile, kNameKey, "", 1, status);
    int read = 0;
    while (status == 0 && read < count) {
      benchmark::DoNotOptimize(OwnerLine());
      ++read;
      ReadStep(kOwnerFile, 1, status);
    }
    if (read < count && count < kOwners) bench::Fail("pick_list", "fewer owners than a window");
  }
}

void BM_FloorWindow(benchmark::State& state) { ReadOwners(state, kWindowLines); }
void BM_FloorAll(benchmark::State& state) { ReadOwners(state, kOwners); }

BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Down50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Down50Up50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToTheEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarnell

int main(int argc, char** argv) {
  const std::string data = std::filesystem::absolute("build/bench-data").string();
  const std::string root = data + "/agency-9999/";
  const std::string session = data + "/pick-list-tmp/";
  std::filesystem::create_directories(session);
  quarnell::MakeAgency(root);
  setenv("QEBROOT", root.c_str(), 1);
  setenv("QEBTMP", session.c_str(), 1);
  quarnell::StartConfiguration();
  quarnell::OpenRentalFiles();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  int16_t status = 0;
  quarnell::ResetRecordFiles(status);
  return 0;
}
