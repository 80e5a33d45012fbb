// Statement runs of a generated agency through the batch program, against the reads no statement
// can avoid, done by SQLite itself on the same record files in the same run; and the check of the
// same run's data (`quarnell --check`), which must not take longer than the statement.
//
//   statement_run [--owners 500,2000] [--runs R] [--dir DIR] [--server SERVER]
//
// For each owner count an agency is made by `qebdata generate DIR/agency-N --owners N` (kept and
// reused). Then, R times in turn:
//   - `quarnell --batch --date 31122025 --from 1 --to 9999 --layout N --no-print --stats`, and the
//     same with --layout F, each a child process: wall time, and its peak resident memory and the
//     records it read (both from --stats). Every batch run begins with the check of its data; the
//     statement's own time is the wall time less the check's, which --stats reports apart;
//   - `quarnell --check --date 31122025 --from 1 --to 9999 --layout N --stats`, a child process:
//     wall time, peak memory and records read;
//   - the floor: one SQL pass over VCobros.dat and VPagos.dat that computes each unit's net
//     collections of 2025 and each property's counted payments (amount, base and VAT of the
//     payments dated in 2025 with kind "P" and state "N"), with the engine's connection settings.
// Each figure is the best of the runs. The peak memory of a run is also split into the record
// manager's SQLite page cache (sqlite3_memory_highwater, in a forked child that runs the same
// statement in-process) and the rest, which is the statement's own.
// With --server (a libpq connection string), each agency is also made on that PostgreSQL server
// (`qebdata init --server`, a schema per agency, kept and reused) and run the same way, against the
// same floor computed by the server on its tables (wall time from connecting to the last row).
// Output: Markdown tables on standard output.
#include "app/statement_run.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/run_driver.h"
#include "bench/bench_support.h"
#include "records/record_files.h"
#include "text/dates.h"
#include "text/folding.h"

namespace {

struct Options {
  std::vector<int> owners = {500, 2000};
  int runs = 3;
  std::string dir = "build/bench-data";
  std::string server;  // a PostgreSQL database for the server runs, or none
};

using quarnell::bench::ChildRun;

[[noreturn]] void Fail(const std::string& what) { quarnell::bench::Fail("statement_run", what); }

// The child's own peak comes from its --stats line: the rusage of a spawned child also counts the
// memory of this process, which it shared until it started the program.
ChildRun Spawn(const std::vector<std::string>& args, const std::string& err_path) {
  ChildRun run = quarnell::bench::Spawn(args, err_path);
  const size_t peak = run.err.find("peak memory ");
  if (peak != std::string::npos) {
    run.peak_kib = std::strtol(run.err.c_str() + peak + 12, nullptr, 10);
  }
  return run;
}

// le32(blob, offset): the little-endian 32-bit signed integer at a 0-based offset of a record.
void Le32(sqlite3_context* context, int, sqlite3_value** values) {
  const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(values[0]));
  const int size = sqlite3_value_bytes(values[0]);
  const int offset = sqlite3_value_int(values[1]);
  if (bytes == nullptr || offset < 0 || offset + 4 > size) {
    sqlite3_result_int(context, 0);
    return;
  }
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + i];
  sqlite3_result_int64(context, static_cast<int32_t>(value));
}

struct FloorRun {
  double seconds = 0;
  int64_t records = 0;  // rows scanned
  int64_t groups = 0;   // units and properties computed
};

// One aggregate query over one record file, from opening the file to its last row; returns the
// groups, adds the time taken and, counted apart, the rows the query scanned.
int64_t Aggregate(const std::string& path, const std::string& sql, double* seconds, int64_t* rows) {
  const auto start = std::chrono::steady_clock::now();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    Fail("cannot open " + path);
  }
  sqlite3_exec(db, "PRAGMA mmap_size=0; PRAGMA cache_size=-65536;", nullptr, nullptr, nullptr);
  sqlite3_create_function(db, "le32", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Le32, nullptr,
                          nullptr);
  // Dates are packed: each byte 128 + two digits; 31 December 2025 is 148 153 140 159.
  const unsigned char year[2] = {148, 153};
  const unsigned char date[4] = {148, 153, 140, 159};
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    Fail(std::string("cannot prepare the floor query: ") + sqlite3_errmsg(db));
  }
  sqlite3_bind_blob(statement, 1, year, 2, SQLITE_STATIC);
  sqlite3_bind_blob(statement, 2, date, 4, SQLITE_STATIC);
  int64_t groups = 0;
  int64_t checksum = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    ++groups;
    checksum += sqlite3_column_int64(statement, 1);
  }
  sqlite3_finalize(statement);
  *seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM records", -1, &count, nullptr);
  if (sqlite3_step(count) == SQLITE_ROW) *rows += sqlite3_column_int64(count, 0);
  sqlite3_finalize(count);
  sqlite3_close(db);
  if (checksum == INT64_MIN) std::puts("");  // keeps the sums from being optimised away
  return groups;
}

FloorRun Floor(const std::string& root) {
  FloorRun run;
  int64_t rows = 0;
  run.groups += Aggregate(root + "DADES/VCobros.dat",
                          "SELECT substr(data, 1, 6),"
                          " sum(le32(data, 12) - le32(data, 16) - le32(data, 38) - le32(data, 59)),"
                          " sum(le32(data, 59))"
                          " FROM records"
                          " WHERE substr(data, 9, 2) = ?1 AND substr(data, 9, 4) <= ?2"
                          " GROUP BY substr(data, 1, 6)",
                          &run.seconds, &rows);
  run.groups += Aggregate(root + "DADES/VPagos.dat",
                          "SELECT substr(data, 1, 4), sum(le32(data, 42)), sum(le32(data, 46)),"
                          " sum(le32(data, 52)), count(*)"
                          " FROM records"
                          " WHERE substr(data, 5, 2) = ?1 AND substr(data, 5, 4) <= ?2"
                          " AND substr(data, 68, 1) = X'50' AND substr(data, 77, 1) = X'4E'"
                          " GROUP BY substr(data, 1, 4)",
                          &run.seconds, &rows);
  run.records = rows;
  return run;
}

// Runs the statement of every owner in a forked child, in-process, with the environment set for
// the agency, and reports SQLite's peak memory in it: the part of the program's peak that is the
// record manager's page cache.
long SqlitePeakKib(const char* layout) {
  int fds[2];
  if (pipe(fds) != 0) Fail("pipe");
  const pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    close(fds[0]);
    sqlite3_memory_highwater(1);  // count only this run, not what the parent's queries used
    quarnell::StartUpWithoutScreen();
    quarnell::StatementRun(quarnell::ParseDate("31122025"), quarnell::DottedToPacked("1"),
                           quarnell::DottedToPacked("9999"), layout, "PDF");
    int16_t status = 0;
    quarnell::ResetRecordFiles(status);
    const long kib = static_cast<long>(sqlite3_memory_highwater(0) / 1024);
    if (write(fds[1], &kib, sizeof kib) != sizeof kib) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  long kib = 0;
  if (read(fds[0], &kib, sizeof kib) != sizeof kib) Fail("the in-process run failed");
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return kib;
}

// The seconds that the batch run's check took, from its --stats line; 0 when absent.
double CheckSeconds(const std::string& stats) {
  const size_t line = stats.find("the check before the run: ");
  if (line == std::string::npos) return 0;
  const size_t in = stats.find(" read in ", line);
  return in == std::string::npos ? 0 : std::strtod(stats.c_str() + in + 9, nullptr);
}

int64_t RecordsRead(const std::string& stats) {
  const size_t owners = stats.find(" owners, ");
  if (owners == std::string::npos) return 0;
  return std::strtoll(stats.c_str() + owners + 9, nullptr, 10);
}

// Keeps in *best the quickest run so far, with the highest peak memory of all of them.
void KeepBest(ChildRun* best, const ChildRun& run, bool first) {
  const long peak = first ? run.peak_kib : std::max(best->peak_kib, run.peak_kib);
  if (first || run.seconds < best->seconds) *best = run;
  best->peak_kib = peak;
}

// A batch run of every owner in `layout`, the check of its data and the statement.
ChildRun BatchRun(const std::string& bin, const char* layout, const std::string& err_path) {
  ChildRun child = Spawn({bin + "/quarnell", "--batch", "--date", "31122025", "--from", "1", "--to",
                          "9999", "--layout", layout, "--no-print", "--stats"},
                         err_path);
  if (child.status != 0) Fail("quarnell failed: " + child.err);
  return child;
}

// A batch run whose time is the statement's alone: every batch run begins with the check of its
// data, whose time --stats gives apart.
ChildRun BatchStatement(const std::string& bin, const char* layout, const std::string& err_path) {
  ChildRun child = BatchRun(bin, layout, err_path);
  child.seconds -= CheckSeconds(child.err);
  return child;
}

// One row of the table of runs: wall time, records read, rate, peak memory, ratio to the floor.
void PrintRun(int owners, const std::string& label, const ChildRun& run, double floor_seconds) {
  const int64_t records = RecordsRead(run.err);
  std::printf("| %d | %s | %.2f s | %lld | %.0f | %.1f MiB | %.2f |\n", owners, label.c_str(),
              run.seconds, static_cast<long long>(records), records / run.seconds,
              run.peak_kib / 1024.0, run.seconds / floor_seconds);
}

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      Fail("usage: statement_run [--owners 500,2000] [--runs R] [--dir DIR] [--server SERVER]");
    }
    const std::string value = argv[++i];
    if (arg == "--owners") {
      options.owners = quarnell::bench::ParseNumberList(value);
    } else if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--dir") {
      options.dir = value;
    } else if (arg == "--server") {
      options.server = value;
    } else {
      Fail("unknown argument " + arg);
    }
  }
  return options;
}

PGconn* Connect(const std::string& server) {
  PGconn* db = PQconnectdb(server.c_str());
  if (PQstatus(db) != CONNECTION_OK) Fail(std::string("cannot connect: ") + PQerrorMessage(db));
  return db;
}

PGresult* Exec(PGconn* db, const std::string& sql) {
  PGresult* result = PQexec(db, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    Fail("server query failed: " + std::string(PQerrorMessage(db)));
  }
  return result;
}

// The floor on the server: the same two aggregates as Floor, computed by the server on its tables,
// from connecting to the last row.
FloorRun ServerFloor(const std::string& server) {
  FloorRun run;
  const auto start = std::chrono::steady_clock::now();
  PGconn* db = Connect(server);
  // le32 of a record, signed: the shift of the last byte wraps as the 32-bit value does.
  PQclear(Exec(db,
               "CREATE FUNCTION pg_temp.le32(b bytea, o int) RETURNS int LANGUAGE sql IMMUTABLE"
               " AS 'SELECT get_byte(b, o) | get_byte(b, o + 1) << 8 | get_byte(b, o + 2) << 16"
               " | get_byte(b, o + 3) << 24'"));
  // Dates are packed: each byte 128 + two digits; 31 December 2025 is 148 153 140 159.
  const char* queries[] = {
      "SELECT substring(data from 1 for 6),"
      " sum(pg_temp.le32(data, 12)::int8 - pg_temp.le32(data, 16) - pg_temp.le32(data, 38)"
      " - pg_temp.le32(data, 59)), sum(pg_temp.le32(data, 59)::int8) FROM vcobros"
      " WHERE substring(data from 9 for 2) = '\\x9499'::bytea"
      " AND substring(data from 9 for 4) <= '\\x94998c9f'::bytea GROUP BY 1",
      "SELECT substring(data from 1 for 4), sum(pg_temp.le32(data, 42)::int8),"
      " sum(pg_temp.le32(data, 46)::int8), sum(pg_temp.le32(data, 52)::int8), count(*)"
      " FROM vpagos WHERE substring(data from 5 for 2) = '\\x9499'::bytea"
      " AND substring(data from 5 for 4) <= '\\x94998c9f'::bytea"
      " AND substring(data from 68 for 1) = 'P'::bytea AND substring(data from 77 for 1) ="
      " 'N'::bytea GROUP BY 1",
  };
  for (const char* sql : queries) {
    PGresult* result = Exec(db, sql);
    run.groups += PQntuples(result);
    PQclear(result);
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PGresult* count =
      Exec(db, "SELECT (SELECT count(*) FROM vcobros) + (SELECT count(*) FROM vpagos)");
  run.records = std::strtoll(PQgetvalue(count, 0, 0), nullptr, 10);
  PQclear(count);
  PQfinish(db);
  return run;
}

// An agency counts as made once its generation has ended well: one that was interrupted (its
// directory and part of its files there) is made again, not measured half full.
bool AgencyMade(const std::string& root) { return std::filesystem::exists(root + "made"); }

void MarkAgencyMade(const std::string& root) {
  if (!std::ofstream(root + "made")) Fail("cannot write " + root + "made");
}

// The agency of `owners` on the server, in a schema of its own; made on first use.
std::string ServerAgency(const Options& options, int owners, const std::string& root,
                         const std::string& bin, const std::string& err_path) {
  const std::string schema = "agency_" + std::to_string(owners);
  const std::string server = options.server + " options='-csearch_path=" + schema + "'";
  if (!AgencyMade(root)) {
    std::filesystem::remove_all(root);
    PGconn* db = Connect(options.server);
    PQclear(Exec(db, "DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema));
    PQfinish(db);
    std::fprintf(stderr, "statement_run: generating %d owners on the server\n", owners);
    ChildRun made = Spawn({bin + "/qebdata", "init", root, "--server", server}, err_path);
    if (made.status != 0) Fail("qebdata init failed: " + made.err);
    made =
        Spawn({bin + "/qebdata", "generate", root, "--owners", std::to_string(owners)}, err_path);
    if (made.status != 0) Fail("qebdata generate failed: " + made.err);
    MarkAgencyMade(root);
  }
  return server;
}

// A run on the server: wall time, and processor time of the program and of the server's
// processes that served it.
struct ServerRun {
  ChildRun child;
  double seconds = 0;
  double cpu = 0;     // the program's and the server's
  double server = 0;  // the server's part of it
};

// `body` (a program run, or the floor through a connection of its own) with the server's processor
// time: the server's processes that served it have ended and been collected when it returns.
ServerRun TimeOnServer(const quarnell::bench::ServerClock& clock, size_t idle_processes,
                       const std::function<ChildRun()>& body) {
  ServerRun run;
  const double before = clock.Seconds();
  run.child = body();
  clock.Settle(idle_processes);
  run.server = clock.Seconds() - before;
  run.seconds = run.child.seconds;
  run.cpu = run.child.cpu_seconds + run.server;
  return run;
}

void KeepBest(ServerRun* best, const ServerRun& run, bool first) {
  const long peak = first ? run.child.peak_kib : std::max(best->child.peak_kib, run.child.peak_kib);
  if (first || run.seconds < best->seconds) {
    best->seconds = run.seconds;
    best->child = run.child;
  }
  if (first || run.cpu < best->cpu) {
    best->cpu = run.cpu;
    best->server = run.server;
  }
  best->child.peak_kib = peak;
}

std::string ServerRow(int owners, const std::string& label, const ServerRun& run,
                      const ServerRun& floor) {
  char row[256];
  std::snprintf(row, sizeof row,
                "| %d | %s | %.2f s | %.2f s (%.2f s) | %lld | %s | %.2f | %.2f |\n", owners,
                label.c_str(), run.seconds, run.cpu, run.server,
                static_cast<long long>(RecordsRead(run.child.err)),
                run.child.peak_kib > 0 ? (Fixed(run.child.peak_kib / 1024.0) + " MiB").c_str() : "",
                run.seconds / floor.seconds, run.cpu / floor.cpu);
  return row;
}

// Both layouts and the check of the agency on the server against the server's floor, as rows of
// their own table. A batch run's statement alone is the run less its check: in wall time by the
// check's time from --stats, in processor time by the best of the check's own runs (a run of the
// check alone does what the batch run's check does: it opens the files and reads them).
std::string ServerRuns(const Options& options, int owners, const std::string& base,
                       const std::string& bin, const std::string& err_path) {
  const std::string root = base + "server-agency-" + std::to_string(owners) + "/";
  const std::string server = ServerAgency(options, owners, root, bin, err_path);
  setenv("QEBROOT", root.c_str(), 1);
  setenv("QEBTMP", (root + "tmp/").c_str(), 1);
  PGconn* watch = Connect(options.server);
  const quarnell::bench::ServerClock clock(PQbackendPID(watch));
  const size_t idle = clock.Processes();
  ServerRun batch[2];
  ServerRun alone[2];
  ServerRun check;
  ServerRun floor;
  auto floor_run = [&] {
    const FloorRun f = ServerFloor(server);
    ChildRun child;
    child.seconds = f.seconds;
    child.err = " owners, " + std::to_string(f.records);
    return child;
  };
  TimeOnServer(clock, idle, floor_run);  // warms the server's cache like the runs before it
  for (int run = 0; run < options.runs; ++run) {
    KeepBest(&check,
             TimeOnServer(clock, idle,
                          [&] {
                            ChildRun child =
                                Spawn({bin + "/quarnell", "--check", "--date", "31122025", "--from",
                                       "1", "--to", "9999", "--layout", "N", "--stats"},
                                      err_path);
                            // 3: the check found something, as it does in a generated agency.
                            if (child.status != 0 && child.status != 3) {
                              Fail("quarnell --check failed: " + child.err);
                            }
                            return child;
                          }),
             run == 0);
    const char* layouts[2] = {"N", "F"};
    for (int l = 0; l < 2; ++l) {
      const ServerRun whole =
          TimeOnServer(clock, idle, [&] { return BatchRun(bin, layouts[l], err_path); });
      KeepBest(&batch[l], whole, run == 0);
      ServerRun statement = whole;
      statement.seconds -= CheckSeconds(whole.child.err);
      KeepBest(&alone[l], statement, run == 0);
    }
    KeepBest(&floor, TimeOnServer(clock, idle, floor_run), run == 0);
  }
  PQfinish(watch);
  for (ServerRun& statement : alone) {
    statement.cpu -= check.cpu;
    statement.server -= check.server;
  }
  return ServerRow(owners, "layout N (statement alone)", alone[0], floor) +
         ServerRow(owners, "layout F (statement alone)", alone[1], floor) +
         ServerRow(owners, "layout N (whole batch run: check and statement)", batch[0], floor) +
         ServerRow(owners, "check (layout N)", check, floor) +
         ServerRow(owners, "floor (SQL on the server)", floor, floor);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const std::string bin = QEB_BIN_DIR;
  std::filesystem::create_directories(options.dir);
  const std::string base = std::filesystem::absolute(options.dir).string() + "/";
  const std::string err_path = base + "stderr.txt";

  std::string check_table =
      "\n| Owners | Check | Statement alone (layout N) | Check / statement |\n|---|---|---|---|\n";
  std::string server_table =
      "\n| Owners | Run on the server | Wall time | Processor time (server's part) | Records read |"
      " Peak memory | Ratio to floor, wall | Ratio to floor, processor |\n"
      "|---|---|---|---|---|---|---|---|\n";
  std::string memory_table =
      "\n| Owners | Layout | Peak memory | SQLite page cache | The rest |\n|---|---|---|---|---|\n";
  std::printf(
      "| Owners | Run | Wall time | Records read | Records/s | Peak memory | Ratio to "
      "floor |\n|---|---|---|---|---|---|---|\n");
  for (int owners : options.owners) {
    const std::string root = base + "agency-" + std::to_string(owners) + "/";
    if (!AgencyMade(root)) {
      std::fprintf(stderr, "statement_run: generating %d owners in %s\n", owners, root.c_str());
      std::filesystem::remove_all(root);
      ChildRun made =
          Spawn({bin + "/qebdata", "generate", root, "--owners", std::to_string(owners)}, err_path);
      if (made.status != 0) Fail("qebdata generate failed: " + made.err);
      MarkAgencyMade(root);
    }
    setenv("QEBROOT", root.c_str(), 1);
    setenv("QEBTMP", (root + "tmp/").c_str(), 1);
    setenv("QEBEXE", (bin + "/").c_str(), 1);

    ChildRun best[2];
    ChildRun best_check;
    FloorRun floor;
    floor.seconds = 1e9;
    Floor(root);  // warms the system's file cache like the runs before it
    for (int run = 0; run < options.runs; ++run) {
      const char* layouts[2] = {"N", "F"};
      for (int l = 0; l < 2; ++l) {
        KeepBest(&best[l], BatchStatement(bin, layouts[l], err_path), run == 0);
      }
      ChildRun check = Spawn({bin + "/quarnell", "--check", "--date", "31122025", "--from", "1",
                              "--to", "9999", "--layout", "N", "--stats"},
                             err_path);
      // 3: the check found something, as it does in a generated agency.
      if (check.status != 0 && check.status != 3) Fail("quarnell --check failed: " + check.err);
      KeepBest(&best_check, check, run == 0);
      FloorRun f = Floor(root);
      if (f.seconds < floor.seconds) floor = f;
    }
    for (int l = 0; l < 2; ++l) {
      PrintRun(owners, std::string("layout ") + (l == 0 ? "N" : "F"), best[l], floor.seconds);
    }
    PrintRun(owners, "check (layout N)", best_check, floor.seconds);
    std::printf("| %d | floor (SQL) | %.2f s | %lld | %.0f | | 1 |\n", owners, floor.seconds,
                static_cast<long long>(floor.records), floor.records / floor.seconds);
    check_table += "| " + std::to_string(owners) + " | " + Fixed(best_check.seconds) + " s | " +
                   Fixed(best[0].seconds) + " s | " + Fixed(best_check.seconds / best[0].seconds) +
                   " |\n";
    std::fflush(stdout);
    for (int l = 0; l < 2; ++l) {
      const char* layout = l == 0 ? "N" : "F";
      const long sqlite_kib = SqlitePeakKib(layout);
      char row[160];
      std::snprintf(row, sizeof row, "| %d | %s | %.1f MiB | %.1f MiB | %.1f MiB |\n", owners,
                    layout, best[l].peak_kib / 1024.0, sqlite_kib / 1024.0,
                    (best[l].peak_kib - sqlite_kib) / 1024.0);
      memory_table += row;
    }
    if (!options.server.empty()) server_table += ServerRuns(options, owners, base, bin, err_path);
  }
  std::printf("%s", memory_table.c_str());
  if (!options.server.empty()) std::printf("%s", server_table.c_str());
  std::printf("%s", check_table.c_str());
  return 0;
}
