#include "app/parameter_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "config/error_stop.h"
#include "config/scoped_environment.h"
#include "config/session.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

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

}  // namespace
}  // namespace quarnell
