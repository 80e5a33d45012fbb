// Record files that are damaged, foreign, missing or held by another program: the statement
// program stops with a message naming the file and what to check, or says what it waits for;
// it never prints statements that look complete without the file's records.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/statement_support.h"
#include "quarnell/quarnell_program.h"
#include "records/engine/engine_client.h"
#include "records/record_files.h"

namespace quarnell {
namespace {

using testing::EngineClient;
using testing::Outcome;
using testing::QuarnellProcess;
using testing::RunQuarnellProgram;
using testing::TempDir;
using testing::TestAgency;

const std::vector<std::string> kRunArguments = {
    "--batch", "--date", "31122023", "--from", "1", "--to", "9999", "--layout", "N", "--no-print"};

// One owner with one let flat and enough collections that VCobros spans many pages.
void ImportAgency(TestAgency& agency) {
  agency.Import("VPropiet", "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,FINCA,2\n");
  agency.Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n");
  std::string collections = "owner,property,unit,date,amount\n";
  for (int i = 0; i < 1500; ++i) collections += "1,1,1,2023-06-01,1.00\n";
  agency.Import("VCobros", collections);
  agency.Import("VPagos",
                "owner,property,date,concept,description,amount,base,vat,kind,supplier,state\n"
                "1,1,2023-03-10,COM,QUOTA,100.00,0,0,P,0,N\n");
}

void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  char* error = nullptr;
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error)) << error;
  sqlite3_free(error);
  sqlite3_close(db);
}

// The index of key 0 no longer holds the record at position 700, and the schema says it is whole.
void LoseARecordFromTheIndex(const std::string& path) {
  Sql(path,
      "DROP INDEX records_k0; CREATE INDEX records_k0 ON records (k0, p) WHERE pos <> 700;"
      " PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = 'CREATE INDEX "
      "records_k0 ON records (k0, p)' WHERE name = 'records_k0'");
}

// The installation root as a command takes it: without the final "/".
std::string TypedRoot(const std::string& root) { return root.substr(0, root.size() - 1); }

// The two lines of the fatal access path without a screen.
void ExpectStopNaming(const Outcome& outcome, const std::string& root, const std::string& base,
                      int status, const std::string& meaning) {
  EXPECT_EQ(outcome.exit, 1);
  const std::string message = "NO ES POT ACCEDIR AL FITXER " + root + "DADES\\" + base + " (" +
                              std::to_string(status) + ")\n";
  const std::string explanation = "quarnell: " + root + "DADES/" + base + ".dat: " + meaning;
  EXPECT_NE(outcome.err.find(message + explanation), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("check QEBROOT, the installation root (now " + TypedRoot(root) + ")"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.out, "");
}

// Damage that opening cannot see shows during the walk; the run stops there.
TEST(RecordFileFailureTest, DamageFoundDuringTheWalkStopsTheRun) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> damage;
  };
  const Case cases[] = {
      {"a record shorter than the record length",
       [](const std::string& path) {
         Sql(path, "UPDATE records SET data = substr(data, 1, 60) WHERE pos = 700");
       }},
      {"a record longer than the record length",
       [](const std::string& path) {
         Sql(path, "UPDATE records SET data = data || X'00' WHERE pos = 700");
       }},
      {"a record whose bytes name another unit than the one it is filed under",
       [](const std::string& path) {
         Sql(path,
             "UPDATE records SET data = substr(data, 1, 4) || X'8082' || substr(data, 7) "
             "WHERE pos = 700");
       }},
      {"a damaged page",
       [](const std::string& path) {
         std::string bytes = TempDir::ReadFile(path);
         for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 4096; ++i) bytes[i] = '\x5A';
         std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
       }},
      {"a file cut short",
       [](const std::string& path) {
         std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
       }},
      // No read fails on it: the record is simply never found.
      {"a key whose index lost a record", LoseARecordFromTheIndex},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestAgency agency;
    ImportAgency(agency);
    c.damage(agency.root() + "DADES/VCobros.dat");
    TempDir scratch;
    ExpectStopNaming(RunQuarnellProgram(scratch, kRunArguments), agency.root(), "VCobros", 2,
                     "damaged");
  }
}

// The check reports what it cannot read as findings, and goes on with the other files; an index
// that lost records is one of them, not a file without findings.
TEST(RecordFileFailureTest, TheCheckReportsAnIndexThatLostRecords) {
  TestAgency agency;
  ImportAgency(agency);
  LoseARecordFromTheIndex(agency.root() + "DADES/VCobros.dat");
  TempDir scratch;
  const Outcome outcome = RunQuarnellProgram(
      scratch, {"--check", "--date", "31122023", "--from", "1", "--to", "9999", "--layout", "N"});
  EXPECT_EQ(outcome.exit, 3) << outcome.err;
  EXPECT_NE(outcome.out.find("VCobros: its keys do not find every record (status 2); its records "
                             "cannot all be checked, and the statement run stops at it\n"),
            std::string::npos)
      << outcome.out;
}

TEST(RecordFileFailureTest, AFileHoldingAnotherFilesRecordsIsRefused) {
  TestAgency agency;
  ImportAgency(agency);
  std::filesystem::copy_file(agency.root() + "DADES/VPagos.dat",
                             agency.root() + "DADES/VPropiet.dat",
                             std::filesystem::copy_options::overwrite_existing);
  TempDir scratch;
  Outcome outcome = RunQuarnellProgram(scratch, kRunArguments);
  ExpectStopNaming(outcome, agency.root(), "VPropiet", 2,
                   "holds records of another layout (record length 80; key 0: bytes 1 to 2, 3 to "
                   "4) than VPropiet records (record length 828; key 0: bytes 1 to 2; key 1: bytes "
                   "3 to 42)");
  EXPECT_FALSE(std::filesystem::exists(agency.root() + "tmp/qebprint.tmp"));
}

// A missing record file is never made anew, empty, by the statement program: the run stops and
// says how to bring it back.
TEST(RecordFileFailureTest, AMissingRecordFileStopsTheRunAndIsNotCreated) {
  for (const char* base : {"VCobros", "USeccio"}) {
    SCOPED_TRACE(base);
    TestAgency agency;
    ImportAgency(agency);
    const std::string path = agency.root() + "DADES/" + base + ".dat";
    std::filesystem::remove(path);
    TempDir scratch;
    Outcome outcome = RunQuarnellProgram(scratch, kRunArguments);
    ExpectStopNaming(outcome, agency.root(), base, 12, "not found");
    EXPECT_NE(outcome.err.find("qebdata init " + TypedRoot(agency.root()) +
                               " brings back missing record files, empty"),
              std::string::npos)
        << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(agency.root() + "tmp/qebprint.tmp"));
  }
}

TEST(RecordFileFailureTest, AWrongRootNamesThePathTriedAndTheSetting) {
  TestAgency agency;
  TempDir elsewhere;
  testing::ScopedEnvironment env;
  env.Set("QEBROOT", elsewhere.dir());
  TempDir scratch;
  ExpectStopNaming(RunQuarnellProgram(scratch, kRunArguments), elsewhere.dir(), "VPropiet", 12,
                   "not found");
}

// Another program holds a file exclusively: after a second the run says which file it waits
// for, and goes on when the file is free.
TEST(RecordFileFailureTest, AFileHeldExclusivelyIsNamedWhileTheRunWaits) {
  TestAgency agency;
  ImportAgency(agency);
  const std::string path = agency.root() + "DADES/VCobros.dat";
  EngineClient holder;
  ASSERT_EQ(kRecordOk, holder.Open(path, kOpenExclusive, OwnerNameA()));
  TempDir scratch;
  QuarnellProcess run(scratch, kRunArguments);
  const std::string notice =
      "quarnell: " + path + " is held exclusively by another program; waiting until it is free\n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (run.ErrorSoFar().find(notice) == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(run.ErrorSoFar(), "FITXER BLOQUEJAT. ESPEREU UN MOMENT.\n" + notice);
  holder.Close();
  Outcome outcome = run.Wait();
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.out, agency.root() + "tmp/qebprint.tmp\n");
}

}  // namespace
}  // namespace quarnell
