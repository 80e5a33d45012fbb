#include "tools/qebdata/record_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app/record_csv.h"
#include "app/record_layouts.h"
#include "qebdata/data_tool_support.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::RunTool;
using testing::StoredRecords;
using testing::TempDir;

const FileLayout& Concepts() { return *FindRentalFile("VDespesa"); }

std::string Concept(std::string_view code) {
  std::string record = BlankRecord(Concepts());
  WriteText(record, Concepts().fields[0], code);
  return record;
}

// The record count another process sees, through Stat of its own open.
uint32_t CountSeenElsewhere(const std::string& path) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return 999;
  const pid_t child = fork();
  if (child == 0) {
    RecordStore store;
    uint32_t count = 999;
    if (store.Open(path, kOpenReadOnly) == kRecordOk) store.RecordCount(&count);
    (void)!write(pipe_ends[1], &count, sizeof count);
    _exit(0);
  }
  uint32_t count = 999;
  (void)!read(pipe_ends[0], &count, sizeof count);
  int status = 0;
  waitpid(child, &status, 0);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  return count;
}

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunTool({"init", root_.dir()}).exit, 0);
    path_ = RecordFilePath(root_.dir(), Concepts());
    ASSERT_EQ(store_.Open(path_, kOpenNormal), kRecordOk);
  }

  testing::FakeClock clock_;
  TempDir root_;
  std::string path_;
  RecordStore store_;
};

TEST_F(RecordStoreTest, ATransactionIsSeenWholeOnlyAfterItsEnd) {
  ASSERT_EQ(store_.BeginTransaction(), kRecordOk);
  ASSERT_EQ(store_.Insert(Concept("AAA")), kRecordOk);
  ASSERT_EQ(store_.Insert(Concept("BBB")), kRecordOk);
  std::string record;
  EXPECT_EQ(store_.GetEqual(Concept("BBB").substr(0, 3), &record), kRecordOk)
      << "the writer sees its own records";
  EXPECT_EQ(CountSeenElsewhere(path_), 0u);
  ASSERT_EQ(store_.EndTransaction(), kRecordOk);
  EXPECT_EQ(CountSeenElsewhere(path_), 2u);
}

TEST_F(RecordStoreTest, AbortUndoesEverythingAndAFailedInsertOnlyItself) {
  ASSERT_EQ(store_.Insert(Concept("OLD")), kRecordOk);
  ASSERT_EQ(store_.BeginTransaction(), kRecordOk);
  ASSERT_EQ(store_.Insert(Concept("AAA")), kRecordOk);
  EXPECT_EQ(store_.Insert(Concept("OLD")), kRecordDuplicateKey);
  ASSERT_EQ(store_.Insert(Concept("BBB")), kRecordOk);
  ASSERT_EQ(store_.AbortTransaction(), kRecordOk);
  EXPECT_EQ(StoredRecords(root_.dir(), Concepts()), std::vector<std::string>{Concept("OLD")});

  ASSERT_EQ(store_.BeginTransaction(), kRecordOk);
  EXPECT_EQ(store_.BeginTransaction(), kRecordInvalidOperation);
  ASSERT_EQ(store_.Insert(Concept("AAA")), kRecordOk);
  EXPECT_EQ(store_.Insert(Concept("AAA")), kRecordDuplicateKey);
  ASSERT_EQ(store_.EndTransaction(), kRecordOk);
  EXPECT_EQ(StoredRecords(root_.dir(), Concepts()),
            (std::vector<std::string>{Concept("AAA"), Concept("OLD")}));
  EXPECT_EQ(store_.EndTransaction(), kRecordInvalidOperation);
  EXPECT_EQ(store_.AbortTransaction(), kRecordInvalidOperation);
}

TEST_F(RecordStoreTest, ClosingInsideATransactionAbortsIt) {
  ASSERT_EQ(store_.BeginTransaction(), kRecordOk);
  ASSERT_EQ(store_.Insert(Concept("AAA")), kRecordOk);
  ASSERT_EQ(store_.Close(), kRecordOk);
  EXPECT_TRUE(StoredRecords(root_.dir(), Concepts()).empty());
}

}  // namespace
}  // namespace quarnell
