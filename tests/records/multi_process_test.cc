// The layer with another process using the same record file. Waits that the layer takes go
// through the scripted clock, which lets the other process move on instead of sleeping.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "records/engine/engine_client.h"
#include "records/fork_child.h"
#include "records/layer_fixture.h"
#include "records/numbered_records.h"
#include "records/record_files.h"

namespace quarnell::testing {
namespace {

class LayerProcessTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    path_ = Root() + "DADES/Shared.dat";
    name_ = Root() + "DADES\\Shared";
  }
  // Opens the file through the layer as file number 2.
  int16_t OpenShared(std::span<char> area) {
    int16_t status = -1;
    OpenRecordFile(2, name_, area, status);
    return status;
  }
  // Creates the file with owner name A, as the data tool does, and fills it.
  void Fill(int first, int count, int step) {
    ASSERT_EQ(kRecordOk, CreateFile(path_, NumberedCreateData()));
    EngineClient file;
    ASSERT_EQ(kRecordOk, file.Open(path_));
    ASSERT_EQ(kRecordOk, file.Call(kOpSetOwner, OwnerNameA()));
    ASSERT_TRUE(InsertNumbered(file, first, count, step));
  }

  std::string path_;
  std::string name_;
};

// The child reads record 2 through the layer in lock mode B and holds it until told.
int HoldRecordTwo(ForkChild& self) {
  int16_t status = 0;
  SetLockMode(2, "B", status);
  if (GetByKeyStatus(2, 0, NumberRecord(2), 0) != kRecordOk) return 2;
  self.Send('L');
  self.Receive();
  // Moving the lock to another record frees record 2.
  if (GetByKeyStatus(2, 0, NumberRecord(3), 0) != kRecordOk) return 3;
  self.Send('U');
  self.Receive();
  return 0;
}

TEST_P(LayerProcessTest, LockModeBReturnsRecordLocked) {
  Fill(1, 3, 1);
  ForkChild child([&](ForkChild& self) {
    std::array<char, 8> area{};
    if (OpenShared(area) != kRecordOk) return 1;
    return HoldRecordTwo(self);
  });
  std::array<char, 8> area{};
  ASSERT_EQ(kRecordOk, OpenShared(area));
  ASSERT_EQ('L', child.Receive());
  int16_t status = 0;
  SetLockMode(2, "B", status);
  area.fill('#');
  EXPECT_EQ(kRecordRecordLocked, GetByKeyStatus(2, 0, NumberRecord(2), 0));
  EXPECT_EQ(std::string(8, '#'), std::string(area.data(), 8));
  EXPECT_TRUE(alerts_.shown.empty());
  EXPECT_TRUE(clock_.sleeps.empty());
  // Without locks the record reads.
  SetLockMode(2, "D", status);
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(2), 0));
  child.Send('u');
  ASSERT_EQ('U', child.Receive());
  SetLockMode(2, "B", status);
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(2), 0));
  EXPECT_EQ(0, child.Finish());
}

TEST_P(LayerProcessTest, LockModeAWaitsWithTheMessageAndProceeds) {
  Fill(1, 3, 1);
  ForkChild child([&](ForkChild& self) {
    std::array<char, 8> area{};
    if (OpenShared(area) != kRecordOk) return 1;
    return HoldRecordTwo(self);
  });
  std::array<char, 8> area{};
  ASSERT_EQ(kRecordOk, OpenShared(area));
  ASSERT_EQ('L', child.Receive());
  int16_t status = 0;
  SetLockMode(2, "A", status);
  // The other process lets go during the third wait.
  clock_.on_sleep = [&](int sleeps) {
    if (sleeps == 3) {
      child.Send('u');
      ASSERT_EQ('U', child.Receive());
    }
  };
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(2), 0));
  EXPECT_EQ(NumberRecord(2), std::string(area.data(), 8));
  EXPECT_EQ(3u, clock_.sleeps.size());
  EXPECT_EQ(std::vector<std::string>{"FITXER BLOQUEJAT. ESPEREU UN MOMENT."}, alerts_.shown);
  EXPECT_EQ("show pop ", alerts_.events);
  EXPECT_EQ(0, child.Finish());
}

TEST_P(LayerProcessTest, OpenWaitsForAnExclusiveHolder) {
  Fill(1, 1, 1);
  ForkChild child([&](ForkChild& self) {
    EngineClient file;
    if (file.Open(path_, kOpenExclusive, OwnerNameA()) != kRecordOk) return 1;
    self.Send('E');
    self.Receive();
    file.Close();
    self.Send('C');
    self.Receive();
    return 0;
  });
  ASSERT_EQ('E', child.Receive());
  clock_.on_sleep = [&](int sleeps) {
    if (sleeps == 2) {
      child.Send('c');
      ASSERT_EQ('C', child.Receive());
    }
  };
  std::array<char, 8> area{};
  ASSERT_EQ(kRecordOk, OpenShared(area));
  EXPECT_EQ((std::vector<int32_t>{1000, 2000}), clock_.sleeps);
  EXPECT_EQ(std::vector<std::string>{"FITXER BLOQUEJAT. ESPEREU UN MOMENT."}, alerts_.shown);
  ASSERT_EQ(1u, alerts_.explained.size());
  EXPECT_NE(alerts_.explained[0].find(path_ + " is held exclusively by another program"),
            std::string::npos)
      << alerts_.explained[0];
  EXPECT_EQ("show explain pop ", alerts_.events);
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(1), 0));
  EXPECT_EQ(0, child.Finish());
}

// The other process of the walking tests: opens the file and says 'S'; then, each time it is asked
// ('i'), commits the next kBatch odd-numbered records one by one and answers 'd'; anything else
// ends it. Asked, not timed: a loaded machine could otherwise let it finish before the walks
// begin, or not start before they end, and the walks would meet no commits at all.
constexpr int kBatch = 100;

int InsertOddBatchesWhenAsked(ForkChild& self, const std::string& path) {
  EngineClient file;
  if (file.Open(path, kOpenNormal, OwnerNameA()) != kRecordOk) return 1;
  self.Send('S');
  for (int first = 1; self.Receive() == 'i'; first += 2 * kBatch) {
    if (!InsertNumbered(file, first, kBatch, 2)) return 2;
    self.Send('d');
  }
  return 0;
}

// Has the child commit a batch, and waits until it has.
::testing::AssertionResult CommitABatch(ForkChild& child) {
  child.Send('i');
  if (child.Receive() == 'd') return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the inserting process ended: " << child.Wait();
}

TEST_P(LayerProcessTest, ReaderKeepsWalkingWhileAnotherProcessInserts) {
  Fill(0, 3000, 2);  // even numbers
  ForkChild child([&](ForkChild& self) { return InsertOddBatchesWhenAsked(self, path_); });
  ASSERT_EQ('S', child.Receive());
  std::array<char, 8> area{};
  ASSERT_EQ(kRecordOk, OpenShared(area));
  int inserted = 0;
  for (int walk = 0; walk < 4; ++walk) {
    const int committed_before = 3000 + inserted;
    std::string previous;
    int count = 0;
    int16_t status = GetByKeyStatus(2, 0, "", 1);
    while (status == kRecordOk) {
      std::string key(area.data(), 8);
      ASSERT_LT(previous, key);
      previous = key;
      ++count;
      if (count % 1000 == 0) {  // commits land mid-walk, among the records walked and ahead
        ASSERT_TRUE(CommitABatch(child));
        inserted += kBatch;
      }
      ReadStep(2, 1, status);
    }
    EXPECT_EQ(kRecordEndOfFile, status);
    // Whatever it meets on the way, a walk misses nothing that was there when it began.
    EXPECT_GE(count, committed_before);
  }
  EXPECT_EQ(0, child.Finish());
}

// Inside a read snapshot the walks see the file as it was when the snapshot began, however many
// records the other process commits meanwhile; after it, they see them all.
TEST_P(LayerProcessTest, AReadSnapshotKeepsEveryWalkOnTheSameRecords) {
  Fill(0, 2000, 2);  // even numbers
  std::array<char, 8> area{};
  ASSERT_EQ(kRecordOk, OpenShared(area));
  ASSERT_EQ(kRecordOk, BeginReadSnapshot(2));
  ForkChild child([&](ForkChild& self) { return InsertOddBatchesWhenAsked(self, path_); });
  ASSERT_EQ('S', child.Receive());
  int inserted = 0;
  const auto walk = [&] {
    int count = 0;
    int16_t status = GetByKeyStatus(2, 0, "", 1);
    for (; status == kRecordOk; ReadStep(2, 1, status)) {
      EXPECT_EQ(0, std::stoi(std::string(area.data(), 8)) % 2) << std::string(area.data(), 8);
      if (++count % 500 == 0) {  // commits land mid-walk
        EXPECT_TRUE(CommitABatch(child));
        inserted += kBatch;
      }
    }
    EXPECT_EQ(kRecordEndOfFile, status);
    return count;
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(2000, walk());
  EXPECT_EQ(0, child.Finish());
  ASSERT_EQ(kRecordOk, EndReadSnapshot(2));
  // The first and the last record the other process committed.
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(1), 0));
  EXPECT_EQ(kRecordOk, GetByKeyStatus(2, 0, NumberRecord(2 * inserted - 1), 0));
}

INSTANTIATE_TEST_SUITE_P(Storages, LayerProcessTest, kBothStorages, StorageName);

}  // namespace
}  // namespace quarnell::testing
