#include "app/parameter_table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/error_stop.h"
#include "config/scoped_environment.h"
#include "config/session.h"
#include "support/recording_alerts.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::RecordingAlerts;
using testing::ScopedEnvironment;
using testing::TempDir;

std::string Defaults() {
  ParameterRecord record = DefaultParameterRecord();
  return std::string(record.begin(), record.end());
}

class ParameterTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("QEBROOT", dir_.dir());
    env_.Set("QEBTMP", dir_.dir());
    std::filesystem::create_directories(dir_.path() / "DADES");
    StartConfiguration();
  }

  TempDir dir_;
  ScopedEnvironment env_;
};

TEST_F(ParameterTableTest, DefaultRecordLayout) {
  const std::string record = Defaults();
  ASSERT_EQ(record.size(), 318u);
  EXPECT_EQ(record.substr(0, 10), std::string(10, '\0'));
  EXPECT_EQ(record.substr(10, 30), "NVARCOBNSHONSUPRHOSSFSNFRIVIIV");
  EXPECT_EQ(record.substr(40, 20), "REBUT LLOGUER       ");
  EXPECT_EQ(record.substr(60, 20), "ENDARRERIMENTS      ");
  EXPECT_EQ(record.substr(80, 160), std::string(160, ' '));
  EXPECT_EQ(record.substr(240, 72),
            "551      552      705      705      754      759      473      430      ");
  EXPECT_EQ(record.substr(312, 6), std::string("S\0\0RLO", 6));
  const ParameterValues values = ValuesOf(DefaultParameterRecord());
  EXPECT_EQ(values.fee_concept, "HON");
  EXPECT_EQ(values.outlay_concept, "SUP");
  EXPECT_EQ(values.outlay_flag, 'N');
}

TEST_F(ParameterTableTest, StoredBytesWinAndTheTableIsAlways318Bytes) {
  // Offset 17 (the outlay flag) "S", offset 19 (first byte of the fee concept) "X".
  const std::string twenty = "ABCDEFGHIJNVARCOBSSX";
  struct Case {
    const char* name;
    bool exists;
    std::string stored;
    std::string expected;
  };
  std::string long_table(400, 'x');
  long_table.replace(0, 20, twenty);
  std::string fee_xyz = Defaults();
  fee_xyz.replace(19, 3, "XYZ");
  const Case cases[] = {
      {"missing", false, "", Defaults()},
      {"empty", true, "", Defaults()},
      {"20 bytes", true, twenty, twenty + Defaults().substr(20)},
      {"400 bytes", true, long_table, long_table.substr(0, 318)},
      {"fee concept XYZ", true, fee_xyz, fee_xyz},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_.path() / "DADES" / "VParam.tab");
    if (c.exists) dir_.Write("DADES/VParam.tab", c.stored);
    LoadParameterTable();
    EXPECT_EQ(dir_.Read("DADES/VParam.tab"), c.expected);
    EXPECT_EQ(std::string(Parameters().begin(), Parameters().end()), c.expected);
    // The temporary file of the rewrite is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path() / "DADES"),
                            std::filesystem::directory_iterator()),
              1);
  }
  // The 20-byte table gives the outlay flag and the fee concept's first byte; the rest of the
  // fee concept and the outlay concept keep their defaults.
  dir_.Write("DADES/VParam.tab", twenty);
  LoadParameterTable();
  const ParameterValues values = ParameterTableValues();
  EXPECT_EQ(values.outlay_flag, 'S');
  EXPECT_EQ(values.fee_concept, "XON");
  EXPECT_EQ(values.outlay_concept, "SUP");
}

TEST_F(ParameterTableTest, ATableThatCannotBeWrittenIsAnErrorStop) {
  std::filesystem::remove(dir_.path() / "DADES");
  SetErrorStopHandler([](std::string_view what) { throw std::runtime_error(std::string(what)); });
  try {
    LoadParameterTable();
    ADD_FAILURE() << "no error stop";
  } catch (const std::runtime_error& stop) {
    EXPECT_NE(std::string(stop.what()).find("VParam.tab"), std::string::npos) << stop.what();
  }
  SetErrorStopHandler(nullptr);
}

// A table of 200 MB is cut to its record as any longer table is, but only one byte past the
// record is read to know it, and the operator is told.
TEST_F(ParameterTableTest, AHugeTableIsCutWithAWarningWithoutBeingRead) {
  const std::string fee_xyz = Defaults().replace(19, 3, "XYZ");
  dir_.Write("DADES/VParam.tab", fee_xyz);
  ASSERT_EQ(truncate(dir_.file("DADES/VParam.tab").c_str(), 200 << 20), 0);  // sparse
  RecordingAlerts alerts;
  LoadParameterTable();
  EXPECT_EQ(dir_.Read("DADES/VParam.tab"), fee_xyz);
  ASSERT_EQ(alerts.shown.size(), 1u) << alerts.All();
  EXPECT_EQ(alerts.shown[0], "the parameter table " + dir_.file("DADES/VParam.tab") +
                                 " is longer than its 318 bytes; it is cut to them");
}

TEST_F(ParameterTableTest, ATableThatIsNoRegularFileIsAnErrorStop) {
  ASSERT_EQ(mkfifo(dir_.file("DADES/VParam.tab").c_str(), 0600), 0);
  SetErrorStopHandler([](std::string_view what) { throw std::runtime_error(std::string(what)); });
  alarm(20);  // opening a FIFO to read waits for a writer
  try {
    LoadParameterTable();
    ADD_FAILURE() << "no error stop";
  } catch (const std::runtime_error& stop) {
    EXPECT_EQ(std::string(stop.what()),
              "the parameter table " + dir_.file("DADES/VParam.tab") + " is not a regular file");
  }
  alarm(0);
  SetErrorStopHandler(nullptr);
}

// A program killed while it rewrote the table leaves its temporary file; the next start removes
// it, unless it is younger than that start or a live program still writes it.
TEST_F(ParameterTableTest, TheNextStartRemovesTemporaryFilesOfAKilledRewrite) {
  const auto write_old = [&](const std::string& name) {
    dir_.Write("DADES/" + name, "half a table");
    const timespec long_ago[2] = {{946684800, 0}, {946684800, 0}};  // 1 January 2000
    ASSERT_EQ(utimensat(AT_FDCWD, dir_.file("DADES/" + name).c_str(), long_ago, 0), 0);
  };
  write_old("VParam.tab.a1B2c3");             // left by a killed program
  write_old("VParam.tab.d4E5f6");             // held by a live writer
  dir_.Write("DADES/VParam.tab.g7H8i9", "");  // written after this program started
  write_old("VParam.tab.notmine");            // not a name of the rewrite
  write_old("VParam.tab.j1-k2l");
  const int held = open(dir_.file("DADES/VParam.tab.d4E5f6").c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  LoadParameterTable();
  close(held);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "DADES")) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"VParam.tab", "VParam.tab.d4E5f6", "VParam.tab.g7H8i9",
                                            "VParam.tab.j1-k2l", "VParam.tab.notmine"}));
}

}  // namespace
}  // namespace quarnell
