// Reads of one large record file through the record-file layer, against what SQLite itself does
// on the same file in the same run.
//
//   record_manager [--records N] [--dir DIR] [--rounds R] [--only abc123]
//
// The file (DIR/DADES/Bench.dat, built on first use and kept) holds N 68-byte records whose key 0
// is a 6-byte group code followed by a 4-byte sequence number; groups hold 20 to 40 records, about
// 30. Records are inserted round by round, one record of every group per round, the way monthly
// entries arrive, so the records of one group lie far apart in the file.
//
// Measured through the layer:
//   (a) GetByKey at or above each group's code, groups in random order, then ReadStep through the
//       group (until the leading code changes);
//   (b) a walk of the whole file in key order with ReadStep;
//   (c) RecordPosition reads at random positions.
// References, straight through SQLite on the same file with the engine's connection settings:
//   R1 one prepared statement stepping the key index in order with its table rows;
//   R2 one GROUP BY aggregate over the rows;
//   R3 a prepared single-row select by row id, once per position.
// Each figure is the best of the rounds; every round runs every measure once, in turn.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "records/engine/record_call.h"
#include "records/record_files.h"

namespace quarnell {
namespace {

constexpr int kRecordLength = 68;
constexpr int16_t kFileNumber = 1;
constexpr int64_t kBatch = 10000;

struct Options {
  int64_t records = 1000000;
  std::string dir = "build/bench-data";
  int rounds = 3;
  std::string only = "abc123";  // which measures to run
};

struct Layout {
  std::vector<int> group_sizes;
  int64_t records = 0;
};

std::string GroupCode(int group) {
  char text[8];
  std::snprintf(text, sizeof text, "%06d", group);
  return std::string(text, 6);
}

std::string MakeRecord(int group, int sequence) {
  char text[kRecordLength + 1];
  std::snprintf(text, sizeof text, "%06d%04d", group, sequence);
  std::string record(text, 10);
  // The rest as the rental files have it: amounts, dates, texts.
  for (int i = 10; i < kRecordLength; ++i) {
    record += static_cast<char>('a' + (group * 7 + sequence * 13 + i) % 26);
  }
  return record;
}

Layout PlanGroups(int64_t records) {
  Layout layout;
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> size(20, 40);
  while (layout.records < records) {
    int n = static_cast<int>(std::min<int64_t>(size(random), records - layout.records));
    layout.group_sizes.push_back(n);
    layout.records += n;
  }
  return layout;
}

std::string CreateData() {
  std::string data(16 + 2 * 16, '\0');
  auto word = [&](size_t offset, uint16_t value) {
    data[offset] = static_cast<char>(value & 0xFF);
    data[offset + 1] = static_cast<char>(value >> 8);
  };
  word(kHeaderRecordLength, kRecordLength);
  word(kHeaderPageSize, 4096);
  word(kHeaderKeyCount, 1);
  word(16 + kSegmentPosition, 1);
  word(16 + kSegmentLength, 6);
  word(16 + kSegmentFlags, kKeySegmented);
  word(32 + kSegmentPosition, 7);
  word(32 + kSegmentLength, 4);
  word(32 + kSegmentFlags, 0);
  return data;
}

bool BuildFile(const std::string& path, const Layout& layout) {
  std::string data = CreateData();
  uint8_t block[kPositionBlockSize] = {};
  uint32_t length = static_cast<uint32_t>(data.size());
  std::string key = path + '\0';
  if (RecordCall(kOpCreate, block, data.data(), &length, key.data(),
                 static_cast<uint8_t>(key.size()), kCreateReplace) != kRecordOk) {
    return false;
  }
  char owner[1] = {0};
  length = 1;
  if (RecordCall(kOpOpen, block, owner, &length, key.data(), static_cast<uint8_t>(key.size()),
                 kOpenNormal) != kRecordOk) {
    return false;
  }
  std::vector<int> order(layout.group_sizes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::shuffle(order.begin(), order.end(), std::mt19937(99));
  int max_size = *std::max_element(layout.group_sizes.begin(), layout.group_sizes.end());
  int64_t done = 0;
  auto start = std::chrono::steady_clock::now();
  for (int sequence = 0; sequence < max_size; ++sequence) {
    for (int group : order) {
      if (sequence >= layout.group_sizes[group]) continue;
      // Batches of inserts in one transaction: one commit per batch instead of per record.
      if (done % kBatch == 0) {
        if (done > 0) RecordCall(kOpEndTransaction, block, nullptr, &length, nullptr, 0, 0);
        RecordCall(kOpBeginTransaction, block, nullptr, &length, nullptr, 0, 0);
      }
      std::string record = MakeRecord(group, sequence);
      char key_out[16];
      length = kRecordLength;
      int16_t status =
          RecordCall(kOpInsert, block, record.data(), &length, key_out, sizeof key_out, 0);
      if (status != kRecordOk) {
        std::fprintf(stderr, "insert failed: %d\n", status);
        return false;
      }
      if (++done % 100000 == 0) {
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "  %lld records inserted, %.1f us each\n",
                     static_cast<long long>(done), seconds * 1e6 / static_cast<double>(done));
      }
    }
  }
  length = 0;
  if (RecordCall(kOpEndTransaction, block, nullptr, &length, nullptr, 0, 0) != kRecordOk) {
    return false;
  }
  RecordCall(kOpClose, block, nullptr, &length, nullptr, 0, 0);
  return true;
}

int64_t StampedRecords(const std::string& stamp) {
  std::ifstream in(stamp);
  int64_t records = 0;
  in >> records;
  return records;
}

double CpuSeconds() {
  struct timespec now {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The processor time `body` takes, user and system. The build machine is shared, so wall time
// mostly measures the others' work; everything measured here is processor work (the file sits in
// the system's page cache), which this clock sees whole.
double Seconds(const std::function<void()>& body) {
  double start = CpuSeconds();
  body();
  return CpuSeconds() - start;
}

void Fail(const char* what) {
  std::fprintf(stderr, "record_manager: %s\n", what);
  std::exit(1);
}

sqlite3* OpenReference(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    Fail("cannot open the file with SQLite");
  }
  sqlite3_exec(db, "PRAGMA mmap_size=0; PRAGMA cache_size=-65536;", nullptr, nullptr, nullptr);
  return db;
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
  return stmt;
}

int Run(const Options& options) {
  Layout layout = PlanGroups(options.records);
  std::filesystem::create_directories(options.dir + "/DADES");
  const std::string path = std::filesystem::absolute(options.dir + "/DADES/Bench.dat").string();
  const std::string stamp = path + ".records";
  // The file is kept between runs; its record count says whether it is the one asked for.
  bool have = std::filesystem::exists(path) && StampedRecords(stamp) == layout.records;
  if (!have) {
    std::fprintf(stderr, "building %s with %lld records...\n", path.c_str(),
                 static_cast<long long>(layout.records));
    auto start = std::chrono::steady_clock::now();
    if (!BuildFile(path, layout)) Fail("cannot build the file");
    std::fprintf(stderr, "built in %.1f s\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::ofstream(stamp) << layout.records << "\n";
  }

  std::array<char, kRecordLength> area{};
  int16_t status = -1;
  std::string name = std::filesystem::absolute(options.dir).string() + "/DADES\\Bench";
  OpenRecordFile(kFileNumber, name, area, status);
  if (status != kRecordOk) Fail("cannot open the file through the layer");
  sqlite3* db = OpenReference(path);

  const int groups = static_cast<int>(layout.group_sizes.size());
  std::vector<int> group_order(static_cast<size_t>(groups));
  for (int i = 0; i < groups; ++i) group_order[static_cast<size_t>(i)] = i;
  std::shuffle(group_order.begin(), group_order.end(), std::mt19937(7));
  const int random_reads = 200000;
  std::vector<int32_t> positions(random_reads);
  {
    std::mt19937 random(11);
    std::uniform_int_distribution<int32_t> pick(1, static_cast<int32_t>(layout.records));
    for (int32_t& p : positions) p = pick(random);
  }
  volatile uint64_t sink = 0;

  // (a) groups in random order.
  int64_t a_records = 0;
  auto run_a = [&]() -> double {
    a_records = 0;
    return Seconds([&] {
      for (int group : group_order) {
        std::string code = GroupCode(group);
        int16_t s = GetByKeyStatus(kFileNumber, 0, code, 1);
        while (s == kRecordOk && std::memcmp(area.data(), code.data(), 6) == 0) {
          ++a_records;
          ReadStep(kFileNumber, 1, s);
        }
      }
    });
  };

  // (b) the whole file in key order.
  int64_t b_records = 0;
  auto run_b = [&]() -> double {
    b_records = 0;
    return Seconds([&] {
      int16_t s = GetByKeyStatus(kFileNumber, 0, "", 1);
      while (s == kRecordOk) {
        ++b_records;
        ReadStep(kFileNumber, 1, s);
      }
    });
  };

  // (c) random positions.
  auto run_c = [&]() -> double {
    return Seconds([&] {
      for (int32_t p : positions) {
        if (RecordPosition(kFileNumber, p) != kRecordOk) Fail("(c) read failed");
        sink = sink + static_cast<uint8_t>(area[0]);
      }
    });
  };

  // R1: one statement stepping the key index with its rows.
  sqlite3_stmt* r1 = Prepare(db, "SELECT pos, data FROM records ORDER BY k0, p");
  int64_t r1_records = 0;
  auto run_ref1 = [&]() -> double {
    r1_records = 0;
    return Seconds([&] {
      std::array<char, kRecordLength> copy;
      while (sqlite3_step(r1) == SQLITE_ROW) {
        std::memcpy(copy.data(), sqlite3_column_blob(r1, 1),
                    static_cast<size_t>(sqlite3_column_bytes(r1, 1)));
        sink = sink + static_cast<uint8_t>(copy[0]);
        ++r1_records;
      }
      sqlite3_reset(r1);
    });
  };

  // R2: one aggregate over every row, grouped by the leading code.
  sqlite3_stmt* r2 =
      Prepare(db, "SELECT substr(k0, 1, 6), count(*), sum(length(data)) FROM records GROUP BY 1");
  auto run_ref2 = [&]() -> double {
    return Seconds([&] {
      while (sqlite3_step(r2) == SQLITE_ROW) sink = sink + sqlite3_column_int64(r2, 1);
      sqlite3_reset(r2);
    });
  };

  // R3: single rows by row id.
  sqlite3_stmt* r3 = Prepare(db, "SELECT data FROM records WHERE pos = ?1");
  auto run_ref3 = [&]() -> double {
    return Seconds([&] {
      std::array<char, kRecordLength> copy;
      for (int32_t p : positions) {
        sqlite3_bind_int64(r3, 1, p);
        if (sqlite3_step(r3) != SQLITE_ROW) Fail("R3 read failed");
        std::memcpy(copy.data(), sqlite3_column_blob(r3, 0), kRecordLength);
        sink = sink + static_cast<uint8_t>(copy[0]);
        sqlite3_reset(r3);
      }
    });
  };

  // Rounds interleave every measure, so that a busy moment of the machine does not favour one
  // side; each measure keeps its best round.
  struct Measure {
    char id;
    const std::function<double()>* run;
    double best;
  };
  const std::function<double()> runs[] = {run_a, run_b, run_c, run_ref1, run_ref2, run_ref3};
  Measure measures[] = {{'a', &runs[0], 0}, {'b', &runs[1], 0}, {'c', &runs[2], 0},
                        {'1', &runs[3], 0}, {'2', &runs[4], 0}, {'3', &runs[5], 0}};
  for (int round = 0; round < options.rounds; ++round) {
    for (Measure& measure : measures) {
      if (options.only.find(measure.id) == std::string::npos) continue;
      double seconds = (*measure.run)();
      if (measure.best == 0 || seconds < measure.best) measure.best = seconds;
    }
  }
  auto measured = [&](char id) { return options.only.find(id) != std::string::npos; };
  if (measured('a') && a_records != layout.records) Fail("(a) did not read every record");
  if (measured('b') && b_records != layout.records) Fail("(b) did not read every record");
  if (measured('1') && r1_records != layout.records) Fail("R1 did not read every record");
  const double a = measures[0].best, b = measures[1].best, c = measures[2].best;
  const double ref1 = measures[3].best, ref2 = measures[4].best, ref3 = measures[5].best;

  sqlite3_finalize(r1);
  sqlite3_finalize(r2);
  sqlite3_finalize(r3);
  sqlite3_close(db);
  ResetRecordFiles(status);

  const double n = static_cast<double>(layout.records);
  const double us_a = a * 1e6 / n;
  const double us_b = b * 1e6 / n;
  const double us_c = c * 1e6 / random_reads;
  const double us_r1 = ref1 * 1e6 / n;
  const double us_r2 = ref2 * 1e6 / n;
  const double us_r3 = ref3 * 1e6 / random_reads;
  std::printf("records: %lld in %d groups; random reads: %d; best of %d rounds\n\n",
              static_cast<long long>(layout.records), groups, random_reads, options.rounds);
  std::printf("| Measure | us per record | records per second | ratio | goal |\n");
  std::printf("|---|---|---|---|---|\n");
  auto row = [](const char* what, double us, const char* ratio_text, double ratio,
                const char* goal) {
    if (us <= 0) return;  // not measured in this run
    char ratio_cell[32] = "";
    if (ratio > 0 && std::isfinite(ratio))
      std::snprintf(ratio_cell, sizeof ratio_cell, "%.2f x %s", ratio, ratio_text);
    std::printf("| %s | %.2f | %.0f | %s | %s |\n", what, us, 1e6 / us, ratio_cell, goal);
  };
  row("(a) GetByKey per group + ReadStep", us_a, "R1", us_a / us_r1, "<= 1.6 x R1");
  row("(b) key-order walk with ReadStep", us_b, "R1", us_b / us_r1, "<= 1.3 x R1");
  row("(c) RecordPosition at random", us_c, "R3", us_c / us_r3, "<= 1.5 x R3");
  row("R1 stepping the key index with rows", us_r1, "", 0, "");
  row("R2 GROUP BY aggregate", us_r2, "", 0, "");
  row("R3 select by row id", us_r3, "", 0, "");
  return 0;
}

}  // namespace
}  // namespace quarnell

int main(int argc, char** argv) {
  quarnell::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--records") {
      options.records = std::atoll(argv[i + 1]);
    } else if (flag == "--dir") {
      options.dir = argv[i + 1];
    } else if (flag == "--only") {
      options.only = argv[i + 1];
    } else if (flag == "--rounds") {
      options.rounds = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(
          stderr, "usage: record_manager [--records N] [--dir DIR] [--rounds R] [--only abc123]\n");
      return 2;
    }
  }
  if (options.records <= 0 || options.rounds <= 0) return 2;
  return quarnell::Run(options);
}
