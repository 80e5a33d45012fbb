// Two processes on the same record file: what only another process can do to a file. Exclusive
// opens and readers beside a writer are tested through the record-file layer.
#include <gtest/gtest.h>

#include <string>

#include "records/engine/engine_client.h"
#include "records/engine/record_call.h"
#include "records/fork_child.h"
#include "records/numbered_records.h"
#include "records/storages.h"
#include "support/temp_dir.h"

namespace quarnell::testing {
namespace {

class MultiProcessTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    path_ = dir_.file("shared.dat");
    ASSERT_EQ(kRecordOk, CreateFile(path_, NumberedCreateData()));
  }

  std::string path_;
};

// A server drops the locks of a process that ended as soon as it sees its connection go, which
// may take it a moment after the process is gone.
int16_t LockedReadSoon(EngineClient& file, const std::string& key) {
  int16_t status = kRecordRecordLocked;
  for (int tries = 0; tries < 200 && status == kRecordRecordLocked; ++tries) {
    status = file.Read(kOpGetEqual + kLockBias, key);
    if (status == kRecordRecordLocked) usleep(10 * 1000);
  }
  return status;
}

TEST_P(MultiProcessTest, RecordLockHoldsUntilReleasedOrTheProcessEnds) {
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
  EXPECT_EQ(kRecordOk, LockedReadSoon(file, NumberRecord(2)));
}

// Takes a real second: the write waits out its busy timeout before giving up.
TEST_P(MultiProcessTest, WriteBlockedByAnotherWriterGivesFileLocked) {
  ForkChild child([&](ForkChild& self) {
    EngineClient file;
    if (file.Open(path_) != kRecordOk) return 1;
    if (file.Call(kOpBeginTransaction) != kRecordOk) return 2;
    if (file.Insert(NumberRecord(7)) != kRecordOk) return 3;
    self.Send('W');
    self.Receive();
    return file.Call(kOpAbortTransaction) == kRecordOk ? 0 : 4;
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

INSTANTIATE_TEST_SUITE_P(Storages, MultiProcessTest, kBothStorages, StorageName);

}  // namespace
}  // namespace quarnell::testing
