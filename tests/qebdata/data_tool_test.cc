#include "tools/qebdata/data_tool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/letterhead.h"
#include "app/record_csv.h"
#include "app/record_layouts.h"
#include "config/ini.h"
#include "qebdata/data_tool_support.h"
#include "records/record_files.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "text/cp850.h"
#include "tools/qebdata/transfer.h"

namespace quarnell {
namespace {

namespace fs = std::filesystem;
using testing::FakeClock;
using testing::kInstallDir;
using testing::RunTool;
using testing::StoredRecords;
using testing::TempDir;
using testing::ToolRun;

size_t CsvRows(const std::string& path) {
  const std::string text = TempDir::ReadFile(path);
  CsvReader reader(text);
  std::vector<std::string> fields;
  size_t rows = 0;
  while (reader.ReadRow(&fields)) ++rows;
  return rows == 0 ? 0 : rows - 1;
}

std::string Export(const std::string& root, std::string_view base) {
  ToolRun run = RunTool({"export", root, std::string(base)});
  EXPECT_EQ(run.exit, 0) << run.err;
  return run.out;
}

TEST(DictionaryFilesTest, CheckedInBytesAreWhatTheLayoutTableGives) {
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(kInstallDir + "/ddf")) {
    const std::string base = entry.path().stem().string();
    const FileLayout* file = FindRentalFile(base);
    ASSERT_NE(file, nullptr) << "a dictionary for no file: " << entry.path();
    EXPECT_EQ(TempDir::ReadFile(entry.path().string()), DictionaryBytes(*file))
        << base << ".xdf is stale: run qebdata dictionaries install/ddf";
    ++files;
  }
  EXPECT_EQ(files, kRentalFiles.size());
}

TEST(DictionaryFilesTest, KeysAreUniqueOrInInsertionOrderAsEachFileNeeds) {
  FakeClock clock;
  TempDir root;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  for (const FileLayout& file : kRentalFiles) {
    SCOPED_TRACE(std::string(file.base_name));
    RecordStore store;
    ASSERT_EQ(store.Open(RecordFilePath(root.dir(), file), kOpenNormal), kRecordOk);
    uint32_t length = 0;
    ASSERT_EQ(store.RecordLength(&length), kRecordOk);
    EXPECT_EQ(length, static_cast<uint32_t>(file.record_size));
    // Two records with the same key 0, told apart by a byte outside every key.
    std::string first = BlankRecord(file);
    std::string second = first;
    second.back() = 'x';
    ASSERT_EQ(store.Insert(first), kRecordOk);
    if (!file.key_duplicates) {
      EXPECT_EQ(store.Insert(second), kRecordDuplicateKey);
      continue;
    }
    ASSERT_EQ(store.Insert(second), kRecordOk);
    std::string record;
    ASSERT_EQ(store.GetFirst(&record), kRecordOk);
    EXPECT_EQ(record, first);
    ASSERT_EQ(store.GetNext(&record), kRecordOk);
    EXPECT_EQ(record, second);
  }
}

TEST(InitTest, LaysOutTheShippedDataRecordFilesAndSession) {
  FakeClock clock(20260115);
  TempDir root;
  ToolRun run = RunTool({"init", root.dir()});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(fs::exists(root.file("Tova.ini")));
  // A new agency's own letterhead is not known: the placeholder stands in for it.
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text1"), kPlaceholderAgencyName);
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text7"), "");
  for (const char* folder : {"FORMS", "LOCALE", "AJUDA"}) {
    EXPECT_TRUE(fs::is_directory(root.file(folder))) << folder;
  }
  EXPECT_FALSE(fs::exists(root.file("demo")));
  EXPECT_FALSE(fs::exists(root.file("README.md")));
  EXPECT_FALSE(fs::exists(root.file("FORMS/README.md")));
  for (const FileLayout& file : kRentalFiles) {
    EXPECT_TRUE(fs::exists(RecordFilePath(root.dir(), file))) << file.base_name;
    EXPECT_EQ(root.Read("ddf/" + std::string(file.base_name) + ".xdf"), DictionaryBytes(file));
  }
  EXPECT_EQ(ReadIni(root.file("tmp/Sessio.ini"), "Menu", "Titol"),
            std::string("COMPTE D'EXPLOTACIÓ DE FINQUES"_cp850));
  EXPECT_EQ(ReadIni(root.file("tmp/Sessio.ini"), "Menu", "NomMenu"), "QUARNELL");
  EXPECT_EQ(ReadIni(root.file("tmp/TovaTerm.ini"), "Sistema", "Data"), "20260115");
  EXPECT_EQ(ReadIni(root.file("tmp/TovaTerm.ini"), "Sistema", "Sortida"), "PDF");
  EXPECT_EQ(ReadIni(root.file("tmp/TovaTerm.ini"), "Sistema", "Idioma"), "CAT");
}

TEST(InitTest, RunningItAgainKeepsRecordsAndSettings) {
  FakeClock clock(20260115);
  TempDir root;
  TempDir csv;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  csv.Write("concepts.csv", "concept,description\nHON,HONORARIS\n");
  ASSERT_EQ(RunTool({"import", root.dir(), "VDespesa", csv.file("concepts.csv")}).exit, 0);
  root.Write("Tova.ini", "[Empresa]\nText1=MY AGENCY\n");
  root.Write("tmp/TovaTerm.ini", "[Sistema]\nSortida=LPT1\n");
  const FileLayout& sections = *FindRentalFile("USeccio");
  fs::remove(RecordFilePath(root.dir(), sections));

  clock.set_today(20260301);
  ToolRun run = RunTool({"init", root.dir()});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(Export(root.dir(), "VDespesa"), "concept,description\nHON,HONORARIS\n");
  EXPECT_EQ(root.Read("Tova.ini"), "[Empresa]\nText1=MY AGENCY\n");
  EXPECT_EQ(root.Read("tmp/TovaTerm.ini"), "[Sistema]\nSortida=LPT1\n");
  EXPECT_TRUE(fs::exists(RecordFilePath(root.dir(), sections))) << "a lost file comes back";
}

// The letterhead options of init write section Empresa of Tova.ini, new or the administrator's
// own, and leave every other line of it as it was.
TEST(InitTest, WritesTheAgencysLetterhead) {
  FakeClock clock(20260115);
  const std::vector<std::string> options = {"--agency-name", "FINQUES DE L'EMPORDÀ, S.L.",
                                            "--line",        "C. MAJOR, 1",
                                            "--line",        "17600 FIGUERES",
                                            "--tax-id",      "b-17000000"};
  const std::string cp850_name = "FINQUES DE L'EMPORDÀ, S.L."_cp850;
  struct Case {
    const char* name;
    std::string tova;   // Tova.ini before init; empty for a new installation
    std::string after;  // Tova.ini after it; empty when only the values are checked
  };
  const Case cases[] = {
      {"new installation", "", ""},
      {"the administrator's own file, CR LF, a second Empresa section never read",
       "; mine\r\n[Usuari]\r\nDatOrdre=AMD\r\n[empresa]\r\nText2=OLD ; old line\r\n"
       "Text5=OLD 5\r\n\r\n; end\r\n[Empresa]\r\nText1=NOT READ\r\n",
       "; mine\r\n[Usuari]\r\nDatOrdre=AMD\r\n[empresa]\r\nText2=C. MAJOR, 1\r\n"
       "Text5=\r\nText1=" +
           cp850_name +
           "\r\nText3=17600 FIGUERES\r\nText4=\r\nText6=\r\n"
           "Text7=b-17000000\r\n\r\n; end\r\n[Empresa]\r\nText1=NOT READ\r\n"},
      {"no Empresa section", "[Usuari]\nDatOrdre=AMD",
       "[Usuari]\nDatOrdre=AMD\n\n[Empresa]\nText1=" + cp850_name +
           "\nText2=C. MAJOR, 1\nText3=17600 FIGUERES\nText4=\nText5=\nText6=\nText7=b-17000000\n"},
      {"saved as UTF-8", "[Usuari]\nIdioma=CAT ; català\n[Empresa]\nText1=X\n",
       "[Usuari]\nIdioma=CAT ; català\n[Empresa]\nText1=FINQUES DE L'EMPORDÀ, S.L.\n"
       "Text2=C. MAJOR, 1\nText3=17600 FIGUERES\nText4=\nText5=\nText6=\nText7=b-17000000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    if (!c.tova.empty()) root.Write("Tova.ini", c.tova);
    std::vector<std::string> args = {"init", root.dir()};
    args.insert(args.end(), options.begin(), options.end());
    ToolRun run = RunTool(args);
    ASSERT_EQ(run.exit, 0) << run.err;
    if (!c.after.empty()) {
      EXPECT_EQ(root.Read("Tova.ini"), c.after);
    }
    const std::string tova = root.file("Tova.ini");
    EXPECT_EQ(ReadIni(tova, "Empresa", "Text1"), cp850_name);
    EXPECT_EQ(ReadIni(tova, "Empresa", "Text2"), "C. MAJOR, 1");
    EXPECT_EQ(ReadIni(tova, "Empresa", "Text3"), "17600 FIGUERES");
    EXPECT_EQ(ReadIni(tova, "Empresa", "Text6"), "");
    EXPECT_EQ(ReadIni(tova, "Empresa", "Text7"), "b-17000000");
  }

  // Only what is given changes; init without options keeps the letterhead.
  TempDir root;
  ASSERT_EQ(RunTool({"init", root.dir(), "--agency-name", "A", "--line", "B"}).exit, 0);
  ASSERT_EQ(RunTool({"init", root.dir(), "--tax-id", "B1"}).exit, 0);
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text1"), "A");
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text2"), "B");
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text7"), "B1");
}

TEST(InitTest, ALetterheadThatCannotBeStoredIsRefusedBeforeAnythingIsWritten) {
  TempDir parent;
  const std::string root = parent.file("agency");
  const std::vector<std::vector<std::string>> cases = {
      {"--agency-name", "10 €"},  // no euro sign in code page 850
      {"--agency-name", "A; B"},
      {"--line", "A\tB"},
      {"--agency-name", " "},
      {"--agency-name", std::string(kPlaceholderAgencyName)},
      {"--line", "1", "--line", "2", "--line", "3", "--line", "4", "--line", "5", "--line", "6"},
      {"--tax-id"},
      {"--name", "A"},
  };
  for (const std::vector<std::string>& options : cases) {
    SCOPED_TRACE(options[0] + " " + (options.size() > 1 ? options[1] : ""));
    std::vector<std::string> args = {"init", root};
    args.insert(args.end(), options.begin(), options.end());
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.exit, kExitBadInput);
    EXPECT_NE(run.err.find(options[0] == "--name"  ? "--name"
                           : options.back() == "6" ? "--line"
                                                   : options[0]),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(root));
  }
}

TEST(DemoTest, ImportsEveryDemoFileAndRefusesAFilledInstallation) {
  FakeClock clock;
  TempDir root;
  ToolRun run = RunTool({"demo", root.dir()});
  ASSERT_EQ(run.exit, 0) << run.err;
  for (const FileLayout& file : kRentalFiles) {
    const std::string csv = kInstallDir + "/demo/" + std::string(file.base_name) + ".csv";
    ASSERT_TRUE(fs::exists(csv)) << "the demo has no " << file.base_name;
    const size_t rows = CsvRows(csv);
    EXPECT_GT(rows, 0u) << file.base_name;
    EXPECT_EQ(StoredRecords(root.dir(), file).size(), rows) << file.base_name;
  }
  // The demo agency prints under its own letterhead, with a working date after its records.
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text1"), "FINQUES DEL PORT, S.L.");
  EXPECT_EQ(ReadIni(root.file("Tova.ini"), "Empresa", "Text7"), "B-65432109");
  EXPECT_EQ(ReadIni(root.file("tmp/TovaTerm.ini"), "Sistema", "Data"), "20260115");
  const std::string owners = Export(root.dir(), "VPropiet");
  run = RunTool({"demo", root.dir()});
  EXPECT_EQ(run.exit, kExitBadInput);
  EXPECT_NE(run.err.find("already holds records"), std::string::npos) << run.err;
  EXPECT_EQ(Export(root.dir(), "VPropiet"), owners);
}

// The statement reads the demo through the record-file layer and the layout table.
TEST(DemoTest, ReadsThroughTheProgramsRecordFileLayer) {
  FakeClock clock;
  TempDir root;
  ASSERT_EQ(RunTool({"demo", root.dir()}).exit, 0);
  std::string owner(828, '\0');
  std::string collection(68, '\0');
  int16_t status = -1;
  OpenRecordFile(6, root.dir() + "DADES\\VPropiet", owner, status);
  ASSERT_EQ(status, 0);
  OpenRecordFile(17, root.dir() + "DADES\\VCobros", collection, status);
  ASSERT_EQ(status, 0);

  EXPECT_EQ(GetByKeyStatus(6, 0, OwnerKey(5), 0), 0);
  EXPECT_EQ(ReadText(owner, RentalField("VPropiet", "tax_id")), "ESB61234563      ");
  EXPECT_EQ(GetByKeyStatus(6, 1, "CAUBET*JOAN", 1), 0) << "the owner pick list's key";
  EXPECT_EQ(CodeValue(ReadCode(owner, RentalField("VPropiet", "owner"))), 9);

  // The collections of unit 1.1.3 in 2025, one of them paid late with the next month's.
  SetKeyRange(17, 0, UnitKey(1, 1, 3), UnitKey(1, 1, 3), status);
  int months = 0;
  int64_t total = 0;
  while (ReadInRange(17) == 0) {
    if (DateNumber(ReadDate(collection, RentalField("VCobros", "date"))) / 10000 != 2025) continue;
    ++months;
    total += ReadAmount(collection, RentalField("VCobros", "amount"));
  }
  EXPECT_EQ(months, 12);
  EXPECT_EQ(total, 12 * 80418);
  ResetRecordFiles(status);
  EXPECT_EQ(status, 0);
}

// Export, import into an empty installation, export again: the same records, byte for byte.
TEST(TransferTest, ExportThenImportGivesTheSameRecordsForEveryFile) {
  FakeClock clock;
  TempDir demo;
  TempDir copy;
  TempDir csv;
  ASSERT_EQ(RunTool({"demo", demo.dir()}).exit, 0);
  ASSERT_EQ(RunTool({"init", copy.dir()}).exit, 0);
  for (const FileLayout& file : kRentalFiles) {
    SCOPED_TRACE(std::string(file.base_name));
    const std::string path = csv.file(std::string(file.base_name) + ".csv");
    ToolRun run = RunTool({"export", demo.dir(), std::string(file.base_name), path});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no warnings for records the tool wrote";
    EXPECT_FALSE(fs::exists(path + ".partial"));
    run = RunTool({"import", copy.dir(), std::string(file.base_name), path});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(StoredRecords(copy.dir(), file), StoredRecords(demo.dir(), file));
    EXPECT_EQ(Export(copy.dir(), file.base_name), TempDir::ReadFile(path));
  }
}

struct BadImport {
  const char* name;
  const char* base;
  std::string csv;
  std::string where;  // "line L, column C"
  std::string message_part;
};

TEST(TransferTest, BadDataIsRefusedWithLineAndColumnAndImportsNothing) {
  FakeClock clock;
  TempDir root;
  TempDir input;
  ASSERT_EQ(RunTool({"demo", root.dir()}).exit, 0);
  const std::string collection_head = "owner,property,unit,date,amount\n1,1,2,2025-12-01,950\n";
  const BadImport cases[] = {
      {"amount with three decimals", "VCobros", collection_head + "1,1,2,2025-12-02,12.345\n",
       "line 3, column 5 (amount)", "not an amount"},
      {"day not in the calendar", "VCobros", collection_head + "1,1,2,2025-02-29,950\n",
       "line 3, column 4 (date)", "not a day of the calendar"},
      {"code too large", "VPagos", "owner,property,supplier,kind,state\n1,1,3,P,N\n1,1,10000,P,N\n",
       "line 3, column 3 (supplier)", "not a code from 0 to 9999"},
      {"number out of range", "VAmortit", "owner,property,rate\n1,1,300\n1,1,40000\n",
       "line 3, column 3 (rate)", "from -32768 to 32767"},
      {"state byte out of range", "VPropiet", "owner,state,language\n20,0,\n21,256,\n",
       "line 3, column 2 (state)", "from 0 to 255"},
      {"text longer than its field", "VPropiet",
       "owner,name,language\n20,A*B,\n21,\"" + std::string(41, 'N') + "\",\n",
       "line 3, column 2 (name)", "more than 40 characters; the field holds 40"},
      {"character missing from code page 850", "VPropiet",
       "owner,name,language\n20,A*B,\n21,ŁUKASZ*X,\n", "line 3, column 2 (name)",
       "does not exist in code page 850"},
      {"unknown column", "VGrups", "owner,property,colour\n1,9,RED\n", "line 1, column 3",
       "unknown column \"colour\""},
      {"key repeated inside the file", "VDespesa", "description,concept\nA,ZZZ\nB,ZZY\nC,ZZZ\n",
       "line 4, column 2 (concept)", "duplicate key: concept ZZZ is also on line 2"},
      {"key already in the record file", "VDespesa", "concept,description\nZZZ,A\nHON,B\n",
       "line 3, column 1 (concept)", "concept HON is already in VDespesa"},
      {"row with a field missing", "VLlogate", "owner,property,unit,young\n1,1,2,1\n1,1,2\n",
       "line 3, column 4", "the row has 3 fields"},
      {"quote left open", "VCobros", collection_head + "1,1,2,\"2025-12\n",
       "line 3, column 4 (date)", "a quoted field is not closed"},
      {"quote left open in a long file", "VCobros",
       collection_head + "1,1,2,\"2025-12-03,950\n1,1,2,2025-12-04,950\n",
       "line 3, column 4 (date)", "is its closing quote missing?"},
      {"empty file", "VCapPeri", "", "line 1, column 1", "empty"},
      {"payments without their state", "VPagos",
       "owner,property,date,amount,kind\n1,1,2025-05-01,10,P\n", "line 1, column 1",
       "leaves out the column \"state\""},
      {"owner in a language the message file does not know", "VPropiet",
       "owner,name,language\n20,A*B,cat\n21,C*D,XYZ\n", "line 3, column 3 (language)",
       "\"XYZ\" is no language code"},
      {"columns separated by semicolons", "VCobros", "owner;property;unit;date;amount\n",
       "line 1, column 1", "separated by \";\""},
      {"a million commas in a row", "VCobros", collection_head + std::string(1000000, ','),
       "line 3, column 6", "more than 5 fields"},
      {"a field of a megabyte", "VPropiet",
       "owner,name,language\n20,\"" + std::string(1 << 20, 'N') + "\",CAT\n",
       "line 2, column 2 (name)", "\"" + std::string(40, 'N') + "...\" has more than 40"},
  };
  for (const BadImport& c : cases) {
    SCOPED_TRACE(c.name);
    const FileLayout& file = *FindRentalFile(c.base);
    const std::vector<std::string> before = StoredRecords(root.dir(), file);
    input.Write("bad.csv", c.csv);
    ToolRun run = RunTool({"import", root.dir(), c.base, input.file("bad.csv")});
    EXPECT_EQ(run.exit, kExitBadInput);
    EXPECT_NE(run.err.find(input.file("bad.csv") + ", " + c.where + ": "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(c.message_part), std::string::npos) << run.err.substr(0, 1000);
    EXPECT_LE(run.err.size(), 1000u) << "no value is echoed whole";
    EXPECT_EQ(StoredRecords(root.dir(), file), before);
  }
}

TEST(TransferTest, AnInputThatCannotBeReadSaysWhy) {
  FakeClock clock;
  TempDir root;
  TempDir input;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  input.Write("locked.csv", "concept,description\nHON,FEES\n");
  fs::permissions(input.file("locked.csv"), fs::perms::none);
  struct Case {
    std::string path;
    std::string why;
  };
  std::vector<Case> cases = {
      {input.file("nofile.csv"), "No such file or directory"},
      {input.dir(), "Is a directory"},
      {input.file("nofile.csv/x.csv"), "No such file or directory"},
  };
  if (geteuid() != 0) cases.push_back({input.file("locked.csv"), "Permission denied"});
  for (const Case& c : cases) {
    ToolRun run = RunTool({"import", root.dir(), "VDespesa", c.path});
    EXPECT_EQ(run.exit, kExitBadInput);
    EXPECT_EQ(run.err, "qebdata: cannot read " + c.path + ": " + c.why + "\n");
  }
}

// An input without end (a device, a pipe left open) stops at the first field too long.
TEST(TransferTest, AnEndlessInputIsRefusedWithoutBeingHeld) {
  FakeClock clock;
  TempDir root;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  ToolRun run = RunTool({"import", root.dir(), "VCobros", "/dev/zero"});
  EXPECT_EQ(run.exit, kExitBadInput);
  EXPECT_NE(run.err.find("/dev/zero, line 1, column 1: the value"), std::string::npos) << run.err;
}

// The program itself, not the library: a directory gives a message and status 2, never an
// abort.
TEST(TransferTest, TheProgramGivenADirectorySaysSo) {
  TempDir root;
  const std::string command = std::string(QEB_BIN_DIR) + "/qebdata import " + root.dir() +
                              " VCobros " + root.dir() + " 2>" + root.file("err");
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitBadInput);
  EXPECT_EQ(root.Read("err"), "qebdata: cannot read " + root.dir() + ": Is a directory\n");
}

// Importing the same collections twice would double every rent.
TEST(TransferTest, RowsAlreadyInTheFileAreRefusedUnlessReplacedOrAllowed) {
  FakeClock clock;
  TempDir root;
  TempDir input;
  ASSERT_EQ(RunTool({"demo", root.dir()}).exit, 0);
  const FileLayout& collections = *FindRentalFile("VCobros");
  const std::string demo_csv = kInstallDir + "/demo/VCobros.csv";
  const std::vector<std::string> demo = StoredRecords(root.dir(), collections);

  ToolRun run = RunTool({"import", root.dir(), "VCobros", demo_csv});
  EXPECT_EQ(run.exit, kExitBadInput);
  EXPECT_NE(run.err.find(demo_csv + ": 805 of the 805 rows are records already in VCobros, byte "
                                    "for byte (the first on line 2); nothing was imported"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("--replace"), std::string::npos);
  EXPECT_EQ(StoredRecords(root.dir(), collections), demo);

  // Two new rows alike are no repeat of the file, nor is a row that differs from a record in
  // one column; a row equal to a record is.
  const std::string head = "owner,property,unit,date,amount,deducted1,deducted2,retention\n";
  const std::string fresh = "1,1,2,2026-01-05,700,0,0,0\n";
  input.Write("new.csv", head + fresh + fresh);
  input.Write("near.csv", head + "1,1,1,2024-01-01,1200.00,0,0,0\n");
  input.Write("mixed.csv", head + "1,1,3,2026-01-05,700,0,0,0\n1,1,1,2024-01-01,1200,0,0,228\n");
  ASSERT_EQ(RunTool({"import", root.dir(), "VCobros", input.file("new.csv")}).exit, 0);
  ASSERT_EQ(RunTool({"import", root.dir(), "VCobros", input.file("near.csv")}).exit, 0);
  run = RunTool({"import", root.dir(), "VCobros", input.file("mixed.csv")});
  EXPECT_EQ(run.exit, kExitBadInput);
  EXPECT_NE(run.err.find("1 of the 2 rows is a record already in VCobros, byte for byte (the "
                         "first on line 3)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(StoredRecords(root.dir(), collections).size(), demo.size() + 3);

  run = RunTool({"import", "--allow-repeats", root.dir(), "VCobros", input.file("new.csv")});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(StoredRecords(root.dir(), collections).size(), demo.size() + 5);

  run = RunTool({"import", root.dir(), "VCobros", demo_csv, "--replace"});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.err, "qebdata: 810 records removed from VCobros, 805 records added to VCobros\n");
  EXPECT_EQ(StoredRecords(root.dir(), collections), demo);
}

TEST(TransferTest, ReplacingAndClearingAreAllOrNothing) {
  FakeClock clock;
  TempDir root;
  TempDir input;
  ASSERT_EQ(RunTool({"demo", root.dir()}).exit, 0);
  const FileLayout& concepts = *FindRentalFile("VDespesa");
  const std::vector<std::string> demo = StoredRecords(root.dir(), concepts);
  input.Write("bad.csv", "concept,description\nAAA,ONE\nBBB,\"" + std::string(26, 'X') + "\"\n");
  ToolRun run = RunTool({"import", "--replace", root.dir(), "VDespesa", input.file("bad.csv")});
  EXPECT_EQ(run.exit, kExitBadInput);
  EXPECT_EQ(StoredRecords(root.dir(), concepts), demo) << "the old records stay";

  run = RunTool({"clear", root.dir(), "VDespesa"});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.err,
            "qebdata: " + std::to_string(demo.size()) + " records removed from VDespesa\n");
  EXPECT_TRUE(StoredRecords(root.dir(), concepts).empty());
  run = RunTool({"clear", root.dir(), "VDespesa"});
  EXPECT_EQ(run.err, "qebdata: 0 records removed from VDespesa\n");
}

TEST(TransferTest, AFileHeldByAnotherProgramIsReportedAndLeftAlone) {
  FakeClock clock;
  TempDir root;
  TempDir input;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  const FileLayout& sections = *FindRentalFile("USeccio");
  int ready[2];
  int done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RecordStore store;
    const char status = store.Open(RecordFilePath(root.dir(), sections), kOpenExclusive) == 0;
    (void)!write(ready[1], &status, 1);
    char unused;
    (void)!read(done[0], &unused, 1);
    _exit(0);
  }
  char opened = 0;
  ASSERT_EQ(read(ready[0], &opened, 1), 1);
  ASSERT_EQ(opened, 1);
  input.Write("sections.csv", "section,letterhead\n1,S\n");
  ToolRun run = RunTool({"import", root.dir(), "USeccio", input.file("sections.csv")});
  EXPECT_EQ(run.exit, kExitFailure);
  EXPECT_NE(run.err.find("in use by another program"), std::string::npos) << run.err;
  (void)!write(done[1], "x", 1);
  int child_status = 0;
  waitpid(child, &child_status, 0);
  EXPECT_TRUE(StoredRecords(root.dir(), sections).empty());
  EXPECT_EQ(RunTool({"import", root.dir(), "USeccio", input.file("sections.csv")}).exit, 0);
}

TEST(GenerateTest, TheSameSeedGivesTheSameAgency) {
  FakeClock clock;
  TempDir first;
  TempDir second;
  TempDir other;
  ToolRun run = RunTool({"generate", first.dir(), "--owners", "3", "--seed", "7"});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.err.find("3 of 3 owners"), std::string::npos) << run.err;
  ASSERT_EQ(RunTool({"generate", second.dir(), "--seed", "7", "--owners", "3"}).exit, 0);
  ASSERT_EQ(RunTool({"generate", other.dir(), "--owners", "3", "--seed", "8"}).exit, 0);
  for (const FileLayout& file : kRentalFiles) {
    EXPECT_EQ(StoredRecords(first.dir(), file), StoredRecords(second.dir(), file))
        << file.base_name;
  }
  EXPECT_NE(Export(first.dir(), "VPropiet"), Export(other.dir(), "VPropiet"));
}

TEST(GenerateTest, EveryRecordBelongsToSomethingThatExists) {
  FakeClock clock;
  TempDir root;
  ASSERT_EQ(RunTool({"generate", root.dir(), "--owners", "4"}).exit, 0);
  const auto keys = [&](std::string_view base, size_t length) {
    std::set<std::string> result;
    for (const std::string& record : StoredRecords(root.dir(), *FindRentalFile(base))) {
      result.insert(record.substr(0, length));
    }
    return result;
  };
  EXPECT_EQ(keys("VPropiet", 2).size(), 4u);
  const std::set<std::string> properties = keys("VGrups", 4);
  const std::set<std::string> units = keys("VDepBase", 6);
  EXPECT_GE(properties.size(), 12u);
  EXPECT_LE(properties.size(), 28u);
  for (const char* base : {"VDepCont", "VDepCada", "VLlogate", "VCobros"}) {
    for (const std::string& unit : keys(base, 6)) EXPECT_TRUE(units.count(unit)) << base;
  }
  for (const char* base : {"VAmortit", "VPagos", "VCapPeri"}) {
    for (const std::string& property : keys(base, 4)) EXPECT_TRUE(properties.count(property));
  }
  for (const std::string& unit : units) EXPECT_TRUE(properties.count(unit.substr(0, 4)));
  // Collections and payments of two years: the bulk of a statement's reads.
  EXPECT_GT(StoredRecords(root.dir(), *FindRentalFile("VCobros")).size(), units.size() * 12);
  EXPECT_GT(StoredRecords(root.dir(), *FindRentalFile("VPagos")).size(), properties.size() * 30);
}

TEST(UsageTest, BadUsageExitsWithTwoAndSaysWhy) {
  FakeClock clock;
  TempDir root;
  ASSERT_EQ(RunTool({"init", root.dir()}).exit, 0);
  const struct {
    std::vector<std::string> args;
    const char* message_part;
  } cases[] = {
      {{}, "no command"},
      {{"frobnicate", root.dir()}, "unknown command"},
      {{"import", root.dir(), "VCobros"}, "wrong number of arguments"},
      {{"export", root.dir(), "VCobro"}, "unknown record file \"VCobro\""},
      {{"import", root.dir(), "VCobros", root.file("missing.csv")}, "cannot read"},
      {{"generate", root.dir()}, "needs --owners"},
      {{"generate", root.dir(), "--owners", "10000"}, "from 1 to 9999"},
      {{"generate", root.dir(), "--owners", "0"}, "from 1 to 9999"},
      {{"generate", root.dir(), "--owners", "5", "--seed"}, "needs a value"},
      {{"generate", root.dir(), "--owners", "5", "--speed", "1"}, "unknown option"},
      {{"export", root.file("nowhere"), "VCobros"}, "does not exist"},
      {{"import", "--replace", root.dir(), "VCobros", "x.csv", "--allow-repeats"}, "exclude"},
      {{"import", "--replace-all", root.dir(), "VCobros", "x.csv"}, "unknown option"},
      {{"clear", root.dir()}, "wrong number of arguments"},
      {{"clear", root.dir(), "VCobro"}, "unknown record file"},
  };
  for (const auto& c : cases) {
    ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.exit, kExitBadInput) << run.err;
    EXPECT_NE(run.err.find(c.message_part), std::string::npos) << run.err;
  }
}

TEST(UsageTest, HelpPrintsTheUsageOnStandardOutput) {
  for (const char* help : {"--help", "-h", "help"}) {
    ToolRun run = RunTool({help});
    EXPECT_EQ(run.exit, 0) << help;
    EXPECT_EQ(run.err, "") << help;
    for (const char* part : {"qebdata init ROOT", "--agency-name", "--tax-id", "qebdata demo"}) {
      EXPECT_NE(run.out.find(part), std::string::npos) << help << " " << part;
    }
  }
}

}  // namespace
}  // namespace quarnell
