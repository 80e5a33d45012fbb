// The statement program as scripts see it: its command line, exit statuses, standard output and
// error, the files it writes, and the print program it starts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/scoped_environment.h"
#include "quarnell/quarnell_program.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "text/cp850.h"
#include "tools/qebdata/data_tool.h"

namespace quarnell {
namespace {

using testing::FakeClock;
using testing::Outcome;
using testing::QuarnellProcess;
using testing::RunQuarnellProgram;
using testing::ScopedEnvironment;
using testing::TempDir;

// Polls `condition` every millisecond for up to `seconds`; whether it came true.
bool WaitUntil(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    ASSERT_EQ(
        RunDataTool({"init", root(), "--agency-name", "AGENCIA DE PROVES", "--tax-id", "B00000000"},
                    DataToolContext{install, &out, &err}),
        0)
        << err.str();
    Import("VPropiet", "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n");
    Import("VGrups", "owner,property,description,section\n1,1,FINCA,2\n");
    Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n");
    Import("VCobros", "owner,property,unit,date,amount\n1,1,1,2023-06-01,100.00\n");
    // The records the check of a run looks for, so that runs report no findings.
    Import("USeccio", "section,letterhead\n1,S\n2,N\n");
    Import("VDepCont", "owner,property,unit,type,date\n1,1,1,L,2020-01-01\n");
    Import("VDepCada", "owner,property,unit,cadastral_ref\n1,1,1,9872023VH5797S0001WX\n");
    // A print program that keeps a copy of the spool file it was started on.
    agency_.Write("bin/qebprint",
                  "#!/bin/sh\ncp \"$QEBTMP/qebprint.tmp\" \"$QEBTMP/printed.tmp\"\n"
                  "echo printed\n");
    std::filesystem::permissions(agency_.path() / "bin/qebprint",
                                 std::filesystem::perms::owner_all);
    env_.Set("QEBROOT", root());
    env_.Set("QEBTMP", root() + "tmp/");
    env_.Set("QEBEXE", root() + "bin/");
  }

  void Import(const std::string& base, const std::string& csv) {
    agency_.Write("csv/" + base + ".csv", csv);
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    ASSERT_EQ(RunDataTool({"import", root(), base, agency_.file("csv/" + base + ".csv")},
                          DataToolContext{install, &out, &err}),
              0)
        << err.str();
  }

  // A print program that says it has started, waits until the test lets it go, then keeps a copy
  // of the spool file as it finds it, named after the run that started it.
  void UseHeldPrintProgram() {
    agency_.Write("bin/qebprint",
                  "#!/bin/sh\n: > \"$QEBTMP/printing-$PPID\"\n"
                  "while [ ! -e \"$QEBTMP/go\" ]; do sleep 0.02; done\n"
                  "cp \"$QEBTMP/qebprint.tmp\" \"$QEBTMP/printed-$PPID\"\n");
  }

  // Starts quarnell, its output in files of its own. The fixture lets held print programs go at
  // the end, so that a test that fails half way leaves nothing waiting.
  QuarnellProcess& Start(const std::vector<std::string>& args) {
    running_.push_back(
        std::make_unique<QuarnellProcess>(scratch_, args, std::to_string(running_.size())));
    return *running_.back();
  }

  void TearDown() override {
    agency_.Write("tmp/go", "");
    running_.clear();
  }

  std::string root() const { return agency_.dir(); }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(agency_.path() / name);
  }

  TempDir agency_;
  TempDir scratch_;
  ScopedEnvironment env_;
  std::vector<std::unique_ptr<QuarnellProcess>> running_;
};

std::vector<std::string> RunArguments(const std::string& layout, const std::string& to = "9999",
                                      bool print = true) {
  std::vector<std::string> args = {"--batch", "--date", "31122023", "--from", "1",
                                   "--to",    to,       "--layout", layout};
  if (!print) args.push_back("--no-print");
  return args;
}

TEST_F(BatchTest, BadArgumentsNameTheArgumentAndWriteNothing) {
  const std::vector<std::string> good = {"--batch", "--date", "31122023", "--from", "1",
                                         "--to",    "9999",   "--layout", "N",      "--no-print"};
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  auto with = [&](const std::string& option, const std::string& value) {
    std::vector<std::string> args = good;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] == option) args[i + 1] = value;
    }
    return args;
  };
  auto without = [&](const std::string& option) {
    std::vector<std::string> args;
    for (size_t i = 0; i < good.size(); ++i) {
      if (good[i] == option) {
        ++i;
      } else {
        args.push_back(good[i]);
      }
    }
    return args;
  };
  std::vector<std::string> extra = good;
  extra.push_back("--verbose");
  const Case cases[] = {
      {with("--date", "31022023"), "--date"},
      {with("--date", "5.3"), "--date"},
      {with("--date", "yesterday"), "--date"},
      {with("--date", "31/12/10000"), "--date"},  // a year the packed date cannot hold
      {with("--from", "0"), "--from"},
      {with("--from", "12345"), "--from"},
      {with("--from", "1.2"), "--from"},
      {with("--from", "A"), "--from"},
      {with("--to", ""), "--to"},
      {with("--from", "10"), "--from"},  // greater than --to
      {with("--layout", "X"), "--layout"},
      {with("--layout", "NF"), "--layout"},
      {without("--to"), "--to"},
      {extra, "--verbose"},
      {{"--date", "31122023"}, "--batch"},
  };
  for (Case c : cases) {
    if (c.named == "--from" && c.args[4] == "10") c.args[6] = "9";
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    Outcome outcome = RunQuarnellProgram(scratch_, c.args);
    EXPECT_EQ(outcome.exit, 2);
    EXPECT_NE(outcome.err.find(c.named), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_FALSE(Exists("DADES/VParam.tab"));
    EXPECT_FALSE(Exists("tmp/qebprint.tmp"));
  }
}

TEST_F(BatchTest, HelpDescribesTheBatchOptions) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"--batch", "--from", "1", "--help"}}) {
    Outcome outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 0) << args.back();
    EXPECT_EQ(outcome.err, "");
    for (const char* option : {"--batch", "--date", "--from", "--to", "--layout", "--no-print",
                               "QEBROOT", "QEBTMP", "QEBEXE"}) {
      EXPECT_NE(outcome.out.find(option), std::string::npos) << option;
    }
  }
  EXPECT_FALSE(Exists("tmp/qebprint.tmp"));
}

TEST_F(BatchTest, ARunWritesTheSpoolFileAndStartsThePrintProgram) {
  Outcome outcome = RunQuarnellProgram(
      scratch_, {"--batch", "--date", "31/12/2023", "--from", "1", "--to", "1", "--layout", "f"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  const std::string spool = agency_.Read("tmp/qebprint.tmp");
  // The run's mark follows the device line; the owner's marks surround the owner's pages.
  EXPECT_TRUE(spool.starts_with("DEVICEPDF\r\n*QEB-RUN ")) << spool;
  EXPECT_NE(spool.find(" 20231231 F 0001 0001\r\n*QEB-OWNER 0001 ES11111111H       PUIG*JOSEP\r\n"
                       "PAGE 66 \r\n"),
            std::string::npos)
      << spool;
  EXPECT_TRUE(spool.ends_with("*QEB-OWNER-END 0001 1\r\n")) << spool;
  EXPECT_NE(spool.find(" INGRESSOS"), std::string::npos);  // the fiscal layout
  // The print program ran on the finished spool file; its output comes before the spool's path.
  EXPECT_EQ(agency_.Read("tmp/printed.tmp"), spool);
  EXPECT_EQ(outcome.out, "printed\n" + root() + "tmp/qebprint.tmp\n");
  EXPECT_EQ(agency_.Read("DADES/VParam.tab").size(), 318u);
  EXPECT_EQ(outcome.err, "");  // no progress lines when standard error is not a terminal
}

TEST_F(BatchTest, NoPrintLeavesTheSpoolFileAlone) {
  Outcome outcome =
      RunQuarnellProgram(scratch_, {"--batch", "--date", "31122023", "--from", "1", "--to", "9999",
                                    "--layout", "N", "--no-print", "--stats"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.out, root() + "tmp/qebprint.tmp\n");
  EXPECT_FALSE(Exists("tmp/printed.tmp"));
  EXPECT_NE(outcome.err.find("quarnell: 1 owner, "), std::string::npos) << outcome.err;
}

// --check lists the findings of the run's data on standard output, writes no file, and says by
// its exit status whether there were any; a batch run says in one line what it found and goes on.
TEST_F(BatchTest, CheckListsTheFindingsAndWritesNothing) {
  const std::vector<std::string> args = {"--check", "--date", "31122023", "--from", "1",
                                         "--to",    "9999",   "--layout", "N"};
  Outcome outcome = RunQuarnellProgram(scratch_, args);
  EXPECT_EQ(outcome.exit, 0) << outcome.out << outcome.err;
  EXPECT_EQ(outcome.out, "");

  Import("VGrups", "owner,property,description,section\n1,2,ALTRA FINCA,9\n");
  Import("VDepBase", "owner,property,unit,description\n1,2,1,LOCAL\n");
  outcome = RunQuarnellProgram(scratch_, args);
  EXPECT_EQ(outcome.exit, 3) << outcome.err;
  EXPECT_EQ(
      outcome.out,
      "owner 1, property 2: VGrups 1.2: section \"9\" has no USeccio record; printed with the "
      "agency letterhead\n"
      "owner 1, property 2, unit 1: VDepCont 1.2.1: the unit has no contract record; computed "
      "as a contract of blank type: not housing, no reduction\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_FALSE(Exists("DADES/VParam.tab"));
  EXPECT_FALSE(Exists("tmp/qebprint.tmp"));

  std::vector<std::string> csv = args;
  csv.insert(csv.end(), {"--format", "csv"});
  outcome = RunQuarnellProgram(scratch_, csv);
  EXPECT_EQ(outcome.exit, 3);
  EXPECT_TRUE(
      outcome.out.starts_with("kind,owner,property,unit,file,key,problem,effect\n"
                              "no-section,1,2,,VGrups,1.2,"))
      << outcome.out;

  outcome = RunQuarnellProgram(scratch_, {"--batch", "--date", "31/12/2023", "--from", "1", "--to",
                                          "1", "--layout", "f", "--no-print"});
  EXPECT_EQ(outcome.exit, 0);
  EXPECT_EQ(outcome.err,
            "quarnell: 3 findings in the data of this run; quarnell --check --date 31122023 "
            "--from 1 --to 1 --layout F lists them\n");
  EXPECT_TRUE(Exists("tmp/qebprint.tmp"));
}

TEST_F(BatchTest, CheckRefusesBadArguments) {
  const std::vector<std::string> good = {"--check", "--date", "31122023", "--from", "1",
                                         "--to",    "9999",   "--layout", "N"};
  struct Case {
    std::vector<std::string> extra;
    std::string named;
  };
  const Case cases[] = {
      {{"--format", "xml"}, "--format"},
      {{"--format"}, "--format"},
      {{"--format=csv", "--format", "text"}, "--format"},
      {{"--no-print"}, "--no-print"},
      {{"--date", "31122024"}, "--date"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = good;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Outcome outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 2) << c.named;
    EXPECT_NE(outcome.err.find(c.named), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
}

// Failures of the system end with status 1 and a message; the print program never sees a report
// that could not be written whole.
TEST_F(BatchTest, FailuresEndWithStatusOne) {
  const std::vector<std::string> args = {"--batch", "--date", "31122023", "--from", "1",
                                         "--to",    "9999",   "--layout", "N"};
  {
    ScopedEnvironment env;
    env.Set("QEBTMP", root() + "missing/");
    Outcome outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 1);
    EXPECT_NE(outcome.err.find("qebprint.tmp"), std::string::npos) << outcome.err;
    EXPECT_FALSE(Exists("tmp/printed.tmp"));
    EXPECT_EQ(outcome.out, "");
  }
  {
    ScopedEnvironment env;
    env.Set("QEBEXE", root() + "nowhere/");
    Outcome outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 1);
    // What to check, and that the report is not lost.
    EXPECT_NE(outcome.err.find("check QEBEXE, the directory of the print program (now " + root() +
                               "nowhere); the report stays in " + root() + "tmp/qebprint.tmp"),
              std::string::npos)
        << outcome.err;
    // Unset, it is not shown as an empty setting.
    env.Unset("QEBEXE");
    outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 1);
    EXPECT_NE(outcome.err.find("check QEBEXE, the directory of the print program (now not set: "
                               "the current directory)"),
              std::string::npos)
        << outcome.err;
  }
  {
    ScopedEnvironment env;
    TempDir empty;
    env.Set("QEBROOT", empty.dir());  // no record files and no dictionaries to create them from
    Outcome outcome = RunQuarnellProgram(scratch_, args);
    EXPECT_EQ(outcome.exit, 1);
    EXPECT_NE(outcome.err.find("VPropiet"), std::string::npos) << outcome.err;
  }
}

// Settings that cannot be read leave statements without letterhead or in the wrong language:
// the run goes on, but says so on standard error, one line per file, and nothing waits on a FIFO.
TEST_F(BatchTest, SettingsThatCannotBeReadAreToldAndTheRunGoesOn) {
  Import("VPropiet", "owner,name,state,language,tax_id\n2,GARCIA*ANA,0,SPA,ES22222222J\n");
  Import("VGrups", "owner,property,description,section\n2,1,FINCA,2\n");
  Import("VDepBase", "owner,property,unit,description\n2,1,1,PIS\n");
  Import("VCobros", "owner,property,unit,date,amount\n2,1,1,2023-06-01,100.00\n");
  Import("VDepCont", "owner,property,unit,type,date\n2,1,1,L,2020-01-01\n");
  const std::vector<std::string> args = {"--batch", "--date", "31122023", "--from", "1",
                                         "--to",    "9999",   "--layout", "N",      "--no-print"};
  for (const char* name :
       {"Tova.ini", "tmp/Sessio.ini", "tmp/TovaTerm.ini", "LOCALE/QUARNELL.LNG"}) {
    std::filesystem::remove(agency_.path() / name);
    ASSERT_EQ(mkfifo(agency_.file(name).c_str(), 0600), 0) << name;
  }
  Outcome outcome = RunQuarnellProgram(scratch_, args);
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  const std::string expected =
      "quarnell: warning: cannot read " + root() +
      "tmp/Sessio.ini: not a regular file; its settings are not used\n"
      "quarnell: warning: cannot read " +
      root() +
      "tmp/TovaTerm.ini: not a regular file; its settings are not used\n"
      "quarnell: warning: cannot read " +
      root() +
      "Tova.ini: not a regular file; its settings are not used\n"
      "quarnell: warning: the message file " +
      root() + "LOCALE/QUARNELL.LNG is not a regular file: texts are printed in Catalan\n";
  EXPECT_EQ(outcome.err, expected);
  EXPECT_NE(agency_.Read("tmp/qebprint.tmp").find("GARCIA"), std::string::npos);

  std::filesystem::remove(agency_.path() / "Tova.ini");
  outcome = RunQuarnellProgram(scratch_, args);
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_NE(outcome.err.find("quarnell: warning: " + root() +
                             "Tova.ini is missing: the statements print without the agency's "
                             "letterhead"),
            std::string::npos)
      << outcome.err;
}

TEST_F(BatchTest, AYearTypedShortIsSaidInFull) {
  Outcome outcome = RunQuarnellProgram(scratch_, {"--batch", "--date", "31.12.23", "--from", "1",
                                                  "--to", "1", "--layout", "N", "--no-print"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "quarnell: statement date 31/12/2023\n");
}

// A range without owners prints nothing, and says why.
TEST_F(BatchTest, ARangeWithoutOwnersSaysSo) {
  Outcome outcome = RunQuarnellProgram(scratch_, {"--batch", "--date", "31122023", "--from", "9000",
                                                  "--to", "9999", "--layout", "N", "--no-print"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.err,
            "quarnell: no statement: no owner from 9000 to 9999 with state 0 in VPropiet (qebdata "
            "import brings in the agency's owners)\n");
}

// A print program that fails makes the run fail; the spool file stays for another try.
TEST_F(BatchTest, APrintFailureIsTheRunsFailure) {
  agency_.Write("bin/qebprint", "#!/bin/sh\necho 'qebprint: lp cannot be run' >&2\nexit 1\n");
  Outcome outcome = RunQuarnellProgram(scratch_, RunArguments("N"));
  EXPECT_EQ(outcome.exit, 1);
  EXPECT_NE(outcome.err.find("the print program ended with status 1"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.out, root() + "tmp/qebprint.tmp\n");
  EXPECT_TRUE(agency_.Read("tmp/qebprint.tmp").starts_with("DEVICEPDF\r\n"));
}

// The spool file without its run's mark, which tells when the run started.
std::string WithoutRunMark(std::string spool) {
  const size_t mark = spool.find("*QEB-RUN ");
  if (mark != std::string::npos) spool.erase(mark, spool.find('\n', mark) + 1 - mark);
  return spool;
}

// Two runs on one session directory: while the first one's print program has its report, a
// second run waits briefly and then stops without touching the spool file; a run that comes while
// the first one ends waits for it and then prints its own report.
TEST_F(BatchTest, OneRunAtATimeUsesASessionDirectory) {
  ASSERT_EQ(RunQuarnellProgram(scratch_, RunArguments("F", "9999", false)).exit, 0);
  const std::string fiscal = agency_.Read("tmp/qebprint.tmp");
  ASSERT_EQ(RunQuarnellProgram(scratch_, RunArguments("N", "9999", false)).exit, 0);
  const std::string account = agency_.Read("tmp/qebprint.tmp");
  ASSERT_NE(account, fiscal);

  UseHeldPrintProgram();
  QuarnellProcess& first = Start(RunArguments("N"));
  const std::string first_pid = std::to_string(first.pid());
  ASSERT_TRUE(WaitUntil([&] { return Exists("tmp/printing-" + first_pid); }, 60));

  Outcome stopped = Start(RunArguments("F")).Wait();
  EXPECT_EQ(stopped.exit, 1);
  EXPECT_NE(stopped.err.find("another statement run is using " + root() + "tmp/ (process " +
                             first_pid + ")"),
            std::string::npos)
      << stopped.err;
  EXPECT_EQ(WithoutRunMark(agency_.Read("tmp/qebprint.tmp")), WithoutRunMark(account));

  QuarnellProcess& third = Start(RunArguments("F"));
  const std::string third_pid = std::to_string(third.pid());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  agency_.Write("tmp/go", "");
  EXPECT_EQ(first.Wait().exit, 0);
  EXPECT_EQ(third.Wait().exit, 0);
  EXPECT_EQ(WithoutRunMark(agency_.Read("tmp/printed-" + first_pid)), WithoutRunMark(account));
  EXPECT_EQ(WithoutRunMark(agency_.Read("tmp/printed-" + third_pid)), WithoutRunMark(fiscal));
}

// A run killed half way leaves the spool file as the last complete run wrote it; what it had
// written goes at the next start.
TEST_F(BatchTest, AKilledRunLeavesTheLastCompleteReport) {
  TempDir agency;
  std::ostringstream progress, err;
  const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
  ASSERT_EQ(RunDataTool({"generate", agency.dir(), "--owners", "30"},
                        DataToolContext{install, &progress, &err}),
            0)
      << err.str();
  ScopedEnvironment env;
  env.Set("QEBROOT", agency.dir());
  env.Set("QEBTMP", agency.dir() + "tmp/");
  ASSERT_EQ(RunQuarnellProgram(scratch_, RunArguments("N", "1", false)).exit, 0);
  const std::string complete = agency.Read("tmp/qebprint.tmp");
  auto unfinished = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(agency.path() / "tmp")) {
      if (entry.path().filename().string().starts_with(".qebprint.tmp.")) {
        names.push_back(entry.path().string());
      }
    }
    return names;
  };

  QuarnellProcess& killed = Start(RunArguments("N", "9999", false));
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::error_code ignored;
        return !unfinished().empty() ||
               std::filesystem::file_size(agency.path() / "tmp/qebprint.tmp", ignored) !=
                   complete.size();
      },
      60));
  kill(killed.pid(), SIGKILL);
  ASSERT_EQ(killed.Wait().exit, 128 + SIGKILL) << "the run ended before it was killed";
  EXPECT_EQ(agency.Read("tmp/qebprint.tmp"), complete);
  EXPECT_EQ(unfinished().size(), 1u);

  EXPECT_EQ(RunQuarnellProgram(scratch_, RunArguments("N", "1", false)).exit, 0);
  EXPECT_EQ(unfinished(), std::vector<std::string>{});
  EXPECT_EQ(WithoutRunMark(agency.Read("tmp/qebprint.tmp")), WithoutRunMark(complete));
}

// A new installation's letterhead is a placeholder: no statement goes out under it, and the
// message says which file and section to edit.
TEST_F(BatchTest, ThePlaceholderLetterheadIsRefusedBeforeAnythingIsWritten) {
  std::filesystem::copy_file(std::string(QEB_SOURCE_DIR) + "/install/Tova.ini",
                             agency_.file("Tova.ini"),
                             std::filesystem::copy_options::overwrite_existing);
  Outcome outcome = RunQuarnellProgram(
      scratch_, {"--batch", "--date", "31122023", "--from", "1", "--to", "9999", "--layout", "N"});
  EXPECT_EQ(outcome.exit, 1);
  for (const std::string& part :
       {"quarnell: the agency's letterhead in " + root() + "Tova.ini", std::string("placeholder"),
        std::string("[Empresa]"), "qebdata init " + agency_.path().string() + " --agency-name"}) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << part << "\n" << outcome.err;
  }
  EXPECT_EQ(outcome.out, "");
  EXPECT_FALSE(Exists("DADES/VParam.tab"));
  EXPECT_FALSE(Exists("tmp/qebprint.tmp"));
}

// QEBROOT and QEBEXE set without their final "/" work as QEBTMP does; without QEBTMP the spool
// file goes to the installation's tmp/ and its whole path is shown.
TEST_F(BatchTest, DirectoriesWithoutTheirFinalSeparatorAndNoSessionDirectory) {
  ScopedEnvironment env;
  env.Set("QEBROOT", agency_.path().string());
  env.Set("QEBEXE", root() + "bin");
  env.Unset("QEBTMP");
  Outcome outcome = RunQuarnellProgram(
      scratch_, {"--batch", "--date", "31122023", "--from", "1", "--to", "9999", "--layout", "N"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "printed\n" + root() + "tmp/qebprint.tmp\n");
  EXPECT_EQ(agency_.Read("tmp/printed.tmp"), agency_.Read("tmp/qebprint.tmp"));
  EXPECT_NE(agency_.Read("tmp/qebprint.tmp").find("PIS"), std::string::npos);
}

// The demo agency's records cover 2024 and 2025; made in any later year, its working date still
// makes 2025 the default statement year, so its statements show rents and expenses, not only the
// depreciation that runs on.
TEST(DemoBatchTest, TheDemoShowsFullStatementsInAnyYear) {
  TempDir demo;
  TempDir scratch;
  {
    FakeClock clock(20310301);
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    ASSERT_EQ(RunDataTool({"demo", demo.dir()}, DataToolContext{install, &out, &err}), 0)
        << err.str();
  }
  ScopedEnvironment env;
  env.Set("QEBROOT", demo.dir());
  env.Unset("QEBTMP");
  Outcome outcome = RunQuarnellProgram(
      scratch, {"--batch", "--from", "1", "--to", "1", "--layout", "N", "--no-print"});
  EXPECT_EQ(outcome.exit, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "quarnell: statement date 31/12/2025\n");
  const std::string spool = Cp850ToUtf8(demo.Read("tmp/qebprint.tmp"));
  for (const char* line : {"A DATA 31 DE DESEMBRE DEL 2025", "TOTAL INGRESSOS", "HONORARIS"}) {
    EXPECT_NE(spool.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace quarnell
