// The data tool's warnings about records that belong to no owner, property or unit on file: one
// line per file, and the import goes on.
#include "tools/qebdata/orphans.h"

#include <gtest/gtest.h>

#include <string>

#include "qebdata/data_tool_support.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;

class OrphanWarningTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunTool({"init", root()}).exit, 0); }

  ToolRun Import(const std::string& base, const std::string& csv, const std::string& option = "") {
    dir_.Write("csv/" + base + ".csv", csv);
    std::vector<std::string> args = {"import"};
    if (!option.empty()) args.push_back(option);
    args.insert(args.end(), {root(), base, dir_.file("csv/" + base + ".csv")});
    return RunTool(args);
  }
  std::string root() const { return dir_.dir(); }

  TempDir dir_;
};

TEST_F(OrphanWarningTest, RecordsWithoutTheirOwnerPropertyOrUnitAreCountedInOneLine) {
  ASSERT_EQ(Import("VPropiet", "owner,name,language,tax_id\n1,A*B,CAT,ES12345678Z\n").exit, 0);
  ASSERT_EQ(Import("VGrups", "owner,property,description\n1,1,X\n").exit, 0);
  ASSERT_EQ(Import("VDepBase", "owner,property,unit\n1,1,1\n").exit, 0);
  const ToolRun run = Import("VCobros",
                             "owner,property,unit,date,amount\n"
                             "1,1,1,2025-01-01,1.00\n"  // its unit is there
                             "1,1,2,2025-01-01,1.00\n"  // no unit 1.1.2
                             "1,1,2,2025-02-01,1.00\n"
                             "1,2,1,2025-01-01,1.00\n"  // no property 1.2
                             "7,1,1,2025-01-01,1.00\n"  // no owner 7
  );
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.err,
            "qebdata: 5 records added to VCobros\n"
            "qebdata: warning: 4 of the 5 records added to VCobros have no owner, property or unit "
            "on file (no VDepBase record for 2, no VGrups record for 1, no VPropiet record for 1; "
            "the first: 1.1.2): the statement never reads them; quarnell --check lists them\n");
  // Files keyed by something else than the owner have no parents to miss.
  const ToolRun concepts = Import("VDespesa", "concept,description\nCOM,COMUNITAT\n");
  EXPECT_EQ(concepts.err.find("warning"), std::string::npos) << concepts.err;
}

TEST_F(OrphanWarningTest, ReplacingAParentFileWarnsOfTheRecordsLeftWithoutIt) {
  ASSERT_EQ(Import("VPropiet", "owner,name,language,tax_id\n1,A*B,CAT,ES12345678Z\n").exit, 0);
  ASSERT_EQ(Import("VGrups", "owner,property,description\n1,1,X\n1,2,Y\n").exit, 0);
  ASSERT_EQ(Import("VDepBase", "owner,property,unit\n1,1,1\n1,2,1\n").exit, 0);
  ASSERT_EQ(Import("VCobros", "owner,property,unit,date,amount\n1,2,1,2025-01-01,1.00\n").exit, 0);
  const ToolRun run = Import("VGrups", "owner,property,description\n1,1,X\n", "--replace");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.err.find("qebdata: warning: 1 of the 2 records left in VDepBase has no owner, "
                         "property or unit on file (no VGrups record for 1; the first: 1.2.1): the "
                         "statement never reads it; quarnell --check lists them\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("qebdata: warning: the record left in VCobros has no owner"),
            std::string::npos)
      << run.err;
  // Emptying a parent file says the same; emptying a file nothing belongs to says nothing more.
  const ToolRun cleared = RunTool({"clear", root(), "VDepBase"});
  EXPECT_EQ(cleared.exit, 0) << cleared.err;
  EXPECT_NE(cleared.err.find("qebdata: warning: the record left in VCobros has no owner"),
            std::string::npos)
      << cleared.err;
  EXPECT_EQ(RunTool({"clear", root(), "VCobros"}).err, "qebdata: 1 record removed from VCobros\n");
}

}  // namespace
}  // namespace quarnell
