#include "app/data_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/check_command.h"
#include "app/csv.h"
#include "app/record_csv.h"
#include "app/run_driver.h"
#include "app/statement_support.h"
#include "records/record_files.h"
#include "records/storages.h"
#include "text/folding.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/record_store.h"

namespace quarnell {
namespace {

using testing::TestAgency;

// Rows of one record file: its CSV header and rows in which "{o}" stands for the owner code. A
// value "0x..." is stored as the bytes it spells, so that a test can write what no import
// accepts (a damaged date, a language no message file has).
struct FileRows {
  std::string header;
  std::vector<std::string> rows;
};

const std::map<std::string, std::string>& Headers() {
  static const std::map<std::string, std::string> headers = {
      {"VPropiet", "owner,name,address1,state,language,tax_id"},
      {"VGrups", "owner,property,description,section"},
      {"VAmortit", "owner,property,method,cost,rate,life,start"},
      {"VDepBase", "owner,property,unit,description,reference"},
      {"VDepCont", "owner,property,unit,type,date"},
      {"VDepCada", "owner,property,unit,cadastral_ref"},
      {"VLlogate", "owner,property,unit,birth_date,young"},
      {"VCobros", "owner,property,unit,date,amount,deducted1,deducted2,retention"},
      {"VPagos", "owner,property,date,concept,description,amount,base,vat,kind,supplier,state"},
      {"VCapPeri", "owner,property,date,amount"},
  };
  return headers;
}

// An owner whose one property, with one let dwelling, checks clean on 30 November 2025.
const std::map<std::string, std::vector<std::string>>& CleanOwner() {
  static const std::map<std::string, std::vector<std::string>> rows = {
      {"VPropiet", {"{o},PUIG*JOSEP,\"C. MAJOR, 1\",0,CAT,ES12345678Z"}},
      {"VGrups", {"{o},1,\"C. DEL MAR, 5\",1"}},
      {"VAmortit", {"{o},1,C,10000.00,300,0,2010-01-01"}},
      {"VDepBase", {"{o},1,1,PIS 1R*,0101"}},
      {"VDepCont", {"{o},1,1,V,2020-01-01"}},
      {"VDepCada", {"{o},1,1,9872023VH5797S0001WX"}},
      {"VLlogate", {"{o},1,1,1995-01-01,1"}},
      {"VCobros", {"{o},1,1,2025-03-01,1000.00,0,0,0"}},
      {"VPagos", {"{o},1,2025-03-01,COM,QUOTA,100.00,0,0,P,1,N"}},
      {"VCapPeri", {"{o},1,2025-03-01,10.00"}},
  };
  return rows;
}

std::string WithOwner(std::string text, int owner) {
  for (size_t at = text.find("{o}"); at != std::string::npos; at = text.find("{o}")) {
    text.replace(at, 3, std::to_string(owner));
  }
  return text;
}

// Writes rows straight into the record files (no import checks) of the installation at `root`.
void WriteRows(const std::string& root, const std::map<std::string, FileRows>& files) {
  for (const auto& [base, rows] : files) {
    const FileLayout& file = *FindRentalFile(base);
    RecordStore store;
    ASSERT_EQ(store.Open(RecordFilePath(root, file), kOpenNormal), kRecordOk) << base;
    std::vector<std::string> header;
    CsvReader(rows.header).ReadRow(&header);
    for (const std::string& row : rows.rows) {
      std::vector<std::string> values;
      ASSERT_TRUE(CsvReader(row).ReadRow(&values)) << row;
      ASSERT_EQ(values.size(), header.size()) << row;
      std::string record = BlankRecord(file);
      for (size_t i = 0; i < header.size(); ++i) {
        const FieldLayout& field = *FindField(file, header[i]);
        if (values[i].starts_with("0x")) {
          for (size_t b = 0; b < static_cast<size_t>(field.width); ++b) {
            record[static_cast<size_t>(field.offset) + b] =
                static_cast<char>(std::stoi(values[i].substr(2 + 2 * b, 2), nullptr, 16));
          }
        } else {
          ASSERT_EQ(StoreFieldValue(field, values[i], record), "") << base << " " << row;
        }
      }
      ASSERT_EQ(store.Insert(record), kRecordOk) << base << " " << row;
    }
  }
}

// Runs the check of the installation in this process, as `quarnell --check` does.
// REQUIRES: a TestAgency is alive (its environment names the installation).
std::vector<Finding> Check(std::string_view date, char layout, std::string_view from = "1",
                           std::string_view to = "9999") {
  const std::filesystem::path here = std::filesystem::current_path();
  OpenInstallation();
  CheckSettings settings;
  settings.statement_date = ParseDate(date);
  settings.owner_from = DottedToPacked(from);
  settings.owner_to = DottedToPacked(to);
  settings.layout = layout;
  std::vector<Finding> findings = RunDataFindings(settings);
  int16_t status = 0;
  ResetRecordFiles(status);
  std::filesystem::current_path(here);
  return findings;
}

std::string Lines(const std::vector<Finding>& findings) {
  std::string lines;
  for (const Finding& finding : findings) lines += FindingLine(finding) + "\n";
  return lines;
}

struct Expected {
  FindingKind kind;
  std::string owner, property, unit, file, key;  // "{o}" for the seed's owner
};

// One fault seeded into its own owner: the clean owner with some files' rows replaced (an empty
// list removes them), or, `alone`, nothing but the rows given.
struct Seed {
  std::string name;
  std::map<std::string, std::vector<std::string>> rows;
  std::vector<Expected> expected;
  bool alone = false;
};

using K = FindingKind;

const std::vector<Seed>& Seeds() {
  static const std::vector<Seed> seeds = {
      {"clean", {}, {}},
      {"unit missing",
       {{"VCobros", {"{o},1,1,2025-03-01,1000.00,0,0,0", "{o},1,2,2025-03-01,50.00,0,0,0"}}},
       {{K::kOrphan, "{o}", "1", "2", "VCobros", "{o}.1.2"}}},
      {"property missing",
       {{"VPagos",
         {"{o},1,2025-03-01,COM,QUOTA,100.00,0,0,P,1,N", "{o},2,2025-03-01,COM,X,1.00,0,0,P,1,N"}}},
       {{K::kOrphan, "{o}", "2", "", "VPagos", "{o}.2"}}},
      {"owner missing",
       {{"VDepCont", {"{o},1,1,V,2020-01-01"}}},
       {{K::kOrphan, "{o}", "1", "1", "VDepCont", "{o}.1.1"}},
       true},
      {"owner not reported", {{"VPropiet", {"{o},PUIG*JOSEP,,1,XXX,"}}, {"VDepCont", {}}}, {}},
      {"collection after the date",
       {{"VCobros", {"{o},1,1,2025-03-01,1000.00,0,0,0", "{o},1,1,2025-12-01,900.00,0,0,0"}}},
       {{K::kLeftOut, "{o}", "1", "1", "VCobros", "{o}.1.1 #2"},
        {K::kLeftOutTotal, "{o}", "1", "", "VCobros", "{o}.1"}}},
      {"payment of another kind",
       {{"VPagos",
         {"{o},1,2025-03-01,COM,QUOTA,100.00,0,0,P,1,N",
          "{o},1,2025-04-01,COM,\"DERRAMA, \"\"ASCENSOR\"\" ÀTIC\",5.00,0,0,C,1,N"}}},
       {{K::kLeftOut, "{o}", "1", "", "VPagos", "{o}.1 #2"},
        {K::kLeftOutTotal, "{o}", "1", "", "VPagos", "{o}.1"}}},
      {"no contract",
       {{"VDepCont", {}}},
       {{K::kNoContract, "{o}", "1", "1", "VDepCont", "{o}.1.1"}}},
      {"blank contract type",
       {{"VDepCont", {"{o},1,1,,2020-01-01"}}},
       {{K::kBlankContractType, "{o}", "1", "1", "VDepCont", "{o}.1.1"}}},
      {"dwelling without contract date",
       {{"VDepCont", {"{o},1,1,O,"}}},
       {{K::kNoContractDate, "{o}", "1", "1", "VDepCont", "{o}.1.1"}}},
      {"blank cadastral reference",
       {{"VDepCada", {"{o},1,1,"}}},
       {{K::kNoCadastralReference, "{o}", "1", "1", "VDepCada", "{o}.1.1"}}},
      {"young without birth date",
       {{"VLlogate", {"{o},1,1,1960-01-01,0", "{o},1,1,,1"}}},
       {{K::kYoungWithoutBirthDate, "{o}", "1", "1", "VLlogate", "{o}.1.1 #2"}}},
      {"born after the date",
       {{"VLlogate", {"{o},1,1,2025-12-24,1"}}},
       {{K::kBirthDateAfter, "{o}", "1", "1", "VLlogate", "{o}.1.1 #1"}}},
      {"born too long ago",
       {{"VLlogate", {"{o},1,1,1900-01-01,1"}}},
       {{K::kBirthDateTooOld, "{o}", "1", "1", "VLlogate", "{o}.1.1 #1"}}},
      {"unknown language",
       {{"VPropiet", {"{o},PUIG*JOSEP,,0,0x454E47,ES12345678Z"}}},
       {{K::kUnknownLanguage, "{o}", "", "", "VPropiet", "{o}"}}},
      {"no tax identifier",
       {{"VPropiet", {"{o},PUIG*JOSEP,,0,SPA,"}}},
       {{K::kNoTaxId, "{o}", "", "", "VPropiet", "{o}"}}},
      {"wrong check letter",
       {{"VPropiet", {"{o},PUIG*JOSEP,,0,GLG,ES12345678A"}}},
       {{K::kInvalidTaxId, "{o}", "", "", "VPropiet", "{o}"}}},
      {"name without separator",
       {{"VPropiet", {"{o},JOSEP PUIG,,0,OCI,ESX1234567L"}}},
       {{K::kNameWithoutSeparator, "{o}", "", "", "VPropiet", "{o}"}}},
      {"unknown concept",
       {{"VPagos", {"{o},1,2025-03-01,XYZ,QUOTA,100.00,0,0,P,1,N"}}},
       {{K::kUnknownConcept, "{o}", "1", "", "VPagos", "{o}.1 #1"}}},
      {"unknown supplier",
       {{"VPagos", {"{o},1,2025-03-01,COM,QUOTA,-100.00,0,0,P,77,N"}}},
       {{K::kUnknownSupplier, "{o}", "1", "", "VPagos", "{o}.1 #1"}}},
      {"unknown method",
       {{"VAmortit", {"{o},1,X,10000.00,300,10,2010-01-01"}}},
       {{K::kUnknownMethod, "{o}", "1", "", "VAmortit", "{o}.1 #1"}}},
      {"no rate",
       {{"VAmortit", {"{o},1,C,10000.00,300,0,2010-01-01", "{o},1,C,10000.00,0,10,2010-01-01"}}},
       {{K::kZeroRateOrLife, "{o}", "1", "", "VAmortit", "{o}.1 #2"}}},
      {"asset starting later",
       {{"VAmortit", {"{o},1,S,10000.00,0,10,2025-12-01"}}},
       {{K::kAssetStartsLater, "{o}", "1", "", "VAmortit", "{o}.1 #1"}}},
      {"section missing",
       {{"VGrups", {"{o},1,C. DEL MAR,9"}}},
       {{K::kNoSection, "{o}", "1", "", "VGrups", "{o}.1"}}},
      {"nothing to print",
       {{"VDepBase", {}},
        {"VDepCont", {}},
        {"VDepCada", {}},
        {"VLlogate", {}},
        {"VCobros", {}},
        {"VPagos", {}}},
       {{K::kEmptyProperty, "{o}", "1", "", "VGrups", "{o}.1"}}},
      {"damaged birth date",
       {{"VLlogate", {"{o},1,1,0xFF818181,0"}}},
       {{K::kDamagedRecord, "{o}", "1", "1", "VLlogate", "{o}.1.1 #1"}}},
  };
  return seeds;
}

// The seeds, each under its own owner (the seed's place in the table, from 1), with the shared
// tables the clean owner refers to.
void WriteSeeds(const std::string& root) {
  std::map<std::string, FileRows> files;
  for (const auto& [base, header] : Headers()) files[base].header = header;
  files["USeccio"] = {"section,letterhead", {"1,S"}};
  files["VDespesa"] = {"concept,description", {"COM,COMUNITAT"}};
  files["Industri"] = {"supplier,subsidy", {"1,"}};
  for (size_t i = 0; i < Seeds().size(); ++i) {
    const Seed& seed = Seeds()[i];
    const int owner = static_cast<int>(i) + 1;
    for (const auto& [base, clean] : CleanOwner()) {
      const auto replaced = seed.rows.find(base);
      const std::vector<std::string>& rows = replaced != seed.rows.end() ? replaced->second
                                             : seed.alone ? std::vector<std::string>()
                                                          : clean;
      for (const std::string& row : rows) files[base].rows.push_back(WithOwner(row, owner));
    }
  }
  WriteRows(root, files);
}

bool Matches(const Finding& finding, const Expected& expected, int owner) {
  return finding.kind == expected.kind && finding.owner == WithOwner(expected.owner, owner) &&
         finding.property == expected.property && finding.unit == expected.unit &&
         finding.file == expected.file && finding.key == WithOwner(expected.key, owner);
}

// Each seeded fault is found once, at its owner, property, unit, file and key, and nothing else
// is found: the clean owner, and an owner the run does not print, give nothing.
TEST(DataCheckTest, EachSeededFaultIsFoundOnceWhereItIs) {
  TestAgency agency;
  WriteSeeds(agency.root());
  for (const char layout : {'F', 'N'}) {
    SCOPED_TRACE(std::string("layout ") + layout);
    const std::vector<Finding> findings = Check("30112025", layout);
    size_t expected_count = 0;
    for (size_t i = 0; i < Seeds().size(); ++i) {
      for (const Expected& expected : Seeds()[i].expected) {
        // Only the fiscal layout prints cadastral references.
        const bool applies = layout == 'F' || expected.kind != K::kNoCadastralReference;
        int found = 0;
        for (const Finding& finding : findings) {
          found += Matches(finding, expected, static_cast<int>(i) + 1) ? 1 : 0;
        }
        EXPECT_EQ(found, applies ? 1 : 0) << Seeds()[i].name << "\n" << Lines(findings);
        expected_count += applies ? 1 : 0;
      }
    }
    EXPECT_EQ(findings.size(), expected_count) << Lines(findings);
  }
}

TEST(DataCheckTest, TheOwnerRangeBoundsTheCheck) {
  TestAgency agency;
  WriteSeeds(agency.root());
  // Owners 2 and 3: the orphans of a missing unit and of a missing property, nothing else.
  const std::vector<Finding> findings = Check("30112025", 'N', "2", "3");
  ASSERT_EQ(findings.size(), 2u) << Lines(findings);
  EXPECT_EQ(findings[0].key, "2.1.2");
  EXPECT_EQ(findings[1].key, "3.2");
  // Owner 4 has no record: its contract is an orphan even when the range is that owner alone.
  EXPECT_EQ(Lines(Check("30112025", 'N', "4", "4")),
            "owner 4, property 1, unit 1: VDepCont 4.1.1: 1 record of owner 4, which has no "
            "VPropiet record; the statement never reads it\n");
}

TEST(DataCheckTest, FindingsSayWhatTheStatementDoes) {
  TestAgency agency;
  WriteSeeds(agency.root());
  const std::string lines = Lines(Check("30112025", 'F'));
  for (const char* line : {
           "owner 6, property 1, unit 1: VCobros 6.1.1 #2: collection of 2025-12-01, net 900.00: "
           "dated after the statement date; not counted",
           "owner 6, property 1: VCobros 6.1: 1 collection of 2025 dated after the statement date, "
           "net 900.00; left out of the property's statement",
           "owner 7, property 1: VPagos 7.1 #2: payment of 2025-04-01 \"DERRAMA, \"ASCENSOR\" "
           "ÀTIC\", 5.00: kind \"C\" (only P counts); not counted: no expense, VAT or subsidy",
           "owner 10, property 1, unit 1: VDepCont 10.1.1: housing contract (type O) without a "
           "date; reduced at 60 % as an old contract, never at a young-tenant rate",
       }) {
    EXPECT_NE(lines.find(line), std::string::npos) << line << "\n" << lines;
  }
  EXPECT_NE(lines.find("VPagos 20.1 #1: payment of 2025-03-01 \"QUOTA\", -100.00: supplier 77 is "
                       "not in Industri; counted as a refund of expenses, never as a subsidy"),
            std::string::npos)
      << lines;
}

// The check's CSV reads back, through a CSV reader, as the findings it was written from: commas,
// quotes and accents included.
TEST(DataCheckTest, CsvRoundTripsThroughACsvReader) {
  TestAgency agency;
  WriteSeeds(agency.root());
  const std::vector<Finding> findings = Check("30112025", 'F');
  std::ostringstream out, err;
  const std::filesystem::path here = std::filesystem::current_path();
  const int exit = RunCheckCommand(
      {"--date", "30112025", "--from", "1", "--to", "9999", "--layout", "F", "--format", "csv"},
      out, err);
  std::filesystem::current_path(here);
  EXPECT_EQ(exit, kExitFindings) << err.str();
  const std::string csv = out.str();
  CsvReader reader(csv);
  std::vector<std::string> row;
  ASSERT_TRUE(reader.ReadRow(&row));
  EXPECT_EQ(row, FindingCsvHeader());
  size_t count = 0;
  for (; reader.ReadRow(&row); ++count) {
    ASSERT_LT(count, findings.size());
    EXPECT_EQ(row, FindingCsvRow(findings[count]));
  }
  EXPECT_FALSE(reader.error()) << reader.error()->message;
  EXPECT_EQ(count, findings.size());
  EXPECT_NE(csv.find("\"payment of 2025-04-01 \"\"DERRAMA, \"\"ASCENSOR\"\" ÀTIC\"\", 5.00: "),
            std::string::npos)
      << csv;
}

// The demo agency checks clean but for the findings it carries on purpose, each showing how the
// statement treats such a record (install/demo/README.md lists them and why).
TEST(DataCheckTest, TheDemoAgencyHasOnlyItsIntendedFindings) {
  TestAgency agency;
  std::ostringstream out, err;
  const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
  ASSERT_EQ(RunDataTool({"demo", agency.root()}, DataToolContext{install, &out, &err}), 0)
      << err.str();
  const std::string in_2025 =
      "VPagos 2.1 #29 unknown-supplier\n"
      "VPagos 3.1 #28 left-out\n"
      "VPagos 3.1 #29 left-out\n"
      "VPagos 3.1 left-out-total\n"
      "VPagos 5.1 #29 unknown-concept\n"
      "VPagos 5.1 #30 unknown-concept\n"
      "VPagos 7.1 #27 left-out\n"
      "VPagos 7.1 left-out-total\n"
      "VPagos 10.1 #27 left-out\n"
      "VLlogate 10.1.1 #2 young-without-birth-date\n"
      "VPagos 10.1 left-out-total\n";
  const std::string in_2024 =
      "VAmortit 3.2 #2 asset-starts-later\n"
      "VLlogate 10.1.1 #2 young-without-birth-date\n";
  const std::string fiscal = "VDepCada 2.1.2 no-cadastral-reference\n";
  const auto kinds = [](const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
      text += finding.file + " " + finding.key + " " + std::string(FindingKindName(finding.kind)) +
              "\n";
    }
    return text;
  };
  EXPECT_EQ(kinds(Check("31122025", 'N')), in_2025);
  const std::string fiscal_2025 = kinds(Check("31122025", 'F'));
  EXPECT_EQ(fiscal_2025,
            "VPagos 2.1 #29 unknown-supplier\n" + fiscal + in_2025.substr(in_2025.find('\n') + 1));
  EXPECT_EQ(kinds(Check("31122024", 'N')), in_2024);
}

// A file damaged in the middle is a finding: the records before the damage are checked, the walk
// of that file ends there, and the other files are still walked.
TEST(DataCheckTest, ADamagedFileIsAFindingNotACrash) {
  TestAgency agency;
  std::map<std::string, FileRows> files = {
      {"VPropiet", {Headers().at("VPropiet"), {WithOwner(CleanOwner().at("VPropiet")[0], 1)}}},
      {"VGrups", {Headers().at("VGrups"), {WithOwner(CleanOwner().at("VGrups")[0], 1)}}},
      {"USeccio", {"section,letterhead", {"1,S"}}},
      {"VCobros", {Headers().at("VCobros"), {}}},
      {"VPagos", {Headers().at("VPagos"), {"1,1,2025-03-01,,QUOTA,1.00,0,0,C,0,N"}}},
  };
  for (int unit = 1; unit <= 400; ++unit) {
    for (int month = 1; month <= 9; ++month) {
      files["VCobros"].rows.push_back("1,1," + std::to_string(unit) + ",2025-0" +
                                      std::to_string(month) + "-01,100.00,0,0,0");
    }
  }
  WriteRows(agency.root(), files);
  const std::string path = RecordFilePath(agency.root(), *FindRentalFile("VCobros"));
  const auto size = std::filesystem::file_size(path);
  ASSERT_GT(size, 16u * 4096u);
  {
    std::fstream dat(path, std::ios::in | std::ios::out | std::ios::binary);
    dat.seekp(static_cast<std::streamoff>(size / 2 / 4096 * 4096));
    const std::string garbage(4096, '\xA5');
    dat.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  const std::vector<Finding> findings = Check("30112025", 'N');
  int unreadable = 0;
  for (const Finding& finding : findings) {
    if (finding.kind == K::kUnreadableFile) {
      ++unreadable;
      EXPECT_EQ(finding.file, "VCobros");
    }
  }
  EXPECT_EQ(unreadable, 1) << Lines(findings);
  // VPagos, walked beside the damaged file, is still checked to its end.
  EXPECT_NE(Lines(findings).find("VPagos 1.1 #1: payment of 2025-03-01"), std::string::npos)
      << Lines(findings);
}

// The check finds the same on a PostgreSQL server as in SQLite files.
TEST(DataCheckTest, TheSameFindingsOnBothStorages) {
  if (testing::ServerTestsOff()) GTEST_SKIP() << "QEB_PG=off: no server tests";
  const std::vector<std::string> agencies[] = {
      {"demo"},
      {"generate", "--owners", "25", "--seed", "3"},
  };
  for (const std::vector<std::string>& fill : agencies) {
    SCOPED_TRACE(fill[0]);
    testing::ServerSchema schema;
    ASSERT_EQ("", schema.error());
    std::string lines[2];
    for (int storage = 0; storage < 2; ++storage) {
      TestAgency agency(storage == 0 ? std::vector<std::string>()
                                     : std::vector<std::string>{"--server", schema.server()});
      std::vector<std::string> args = {fill[0], agency.root()};
      args.insert(args.end(), fill.begin() + 1, fill.end());
      std::ostringstream out, err;
      const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
      ASSERT_EQ(RunDataTool(args, DataToolContext{install, &out, &err}), 0) << err.str();
      lines[storage] = Lines(Check("31122025", 'F'));
    }
    EXPECT_NE(lines[0], "");
    EXPECT_EQ(lines[0], lines[1]);
  }
}

}  // namespace
}  // namespace quarnell
