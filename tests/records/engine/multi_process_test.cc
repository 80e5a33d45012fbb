// Two processes on the same record file: what only another process can do to a file. Exclusive
// opens and readers beside a writer are tested through the record-file layer.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "records/engine/engine_client.h"
#include "records/engine/record_call.h"
#include "records/fork_child.h"
#include "records/numbered_records.h"
#include "support/temp_dir.h"

namespace quarnell::testing {
namespace {

class MultiProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("shared.dat");
    ASSERT_EQ(kRecordOk, CreateFile(path_, NumberedCreateData()));
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(MultiProcessTest, RecordLockHoldsUntilReleasedOrTheProcessEnds) {
  {
    EngineClient file;
    ASSERT_EQ(kRecordOk, file.Open(path_));
    ASSERT_TRUE(InsertNumbered(file, 1, 3, 1));
  }
  ForkChild child([&](ForkChild& self) {
    EngineClient file;
    if (file.Open(path_) != kRecordOk) return 1;
    if (file.Read(kOpGetEqual + kLockBias, NumberRecord(2)) != kRecordOk) return 2;
    self.Send('L');
    self.Receive();
    if (file.Call(kOpUnlock) != kRecordOk) return 3;
    self.Send('U');
    self.Receive();
    // Locks again, then ends without unlocking or closing.
    if (file.Read(kOpGetEqual + kLockBias, NumberRecord(2)) != kRecordOk) return 4;
    self.Send('L');
    self.Receive();
    _exit(0);
  });
  ASSERT_TRUE(child.started());
  EngineClient file;
  ASSERT_EQ(kRecordOk, file.Open(path_));
  ASSERT_EQ('L', child.Receive());
  EXPECT_EQ(kRecordRecordLocked, file.Read(kOpGetEqual + kLockBias, NumberRecord(2)));
  EXPECT_EQ(kRecordOk, file.Read(kOpGetEqual, NumberRecord(2)));
  EXPECT_EQ(kRecordRecordLocked, file.Call(kOpUpdate, NumberRecord(2)));
  EXPECT_EQ(kRecordOk, file.Read(kOpGetEqual + kLockBias, NumberRecord(3)));
  child.Send('u');
  ASSERT_EQ('U', child.Receive());
  EXPECT_EQ(kRecordOk, file.Read(kOpGetEqual + kLockBias, NumberRecord(2)));
  ASSERT_EQ(kRecordOk, file.Call(kOpUnlock));
  child.Send('l');
  ASSERT_EQ('L', child.Receive());
  EXPECT_EQ(kRecordRecordLocked, file.Read(kOpGetEqual + kLockBias, NumberRecord(2)));
  EXPECT_EQ(0, child.Finish());
  EXPECT_EQ(kRecordOk, file.Read(kOpGetEqual + kLockBias, NumberRecord(2)));
}

// Takes a real second: the write waits out its busy timeout before giving up.
TEST_F(MultiProcessTest, WriteBlockedByAnotherWriterGivesFileLocked) {
  ForkChild child([&](ForkChild& self) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path_.c_str(), &db) != SQLITE_OK) return 1;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return 2;
    self.Send('W');
    self.Receive();
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
  });
  ASSERT_EQ('W', child.Receive());
  EngineClient file;
  ASSERT_EQ(kRecordOk, file.Open(path_));
  EXPECT_EQ(kRecordFileLocked, file.Insert(NumberRecord(1)));
  // Readers are not held up by the writer.
  EXPECT_EQ(kRecordEndOfFile, file.Read(kOpGetFirst));
  EXPECT_EQ(0, child.Finish());
  EXPECT_EQ(kRecordOk, file.Insert(NumberRecord(1)));
}

}  // namespace
}  // namespace quarnell::testing
