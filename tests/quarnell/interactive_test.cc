// The interactive program on the in-memory console: the parameter screen with its defaults and
// restored values, the confirmation, runs one after the other, the stop with Esc, the pick-list
// hooks over the owners, and the way out.
#include "app/interactive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/rental_fields.h"
#include "app/rental_files.h"
#include "config/error_stop.h"
#include "config/scoped_environment.h"
#include "records/record_files.h"
#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen/memory_console.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "tools/qebdata/data_tool.h"

namespace quarnell {
namespace {

using testing::FakeClock;
using testing::ScopedEnvironment;
using testing::TempDir;

struct Stopped : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class InteractiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    std::ostringstream out, err;
    ASSERT_EQ(
        RunDataTool({"init", root(), "--agency-name", "FINQUES PROVA", "--tax-id", "B00000000"},
                    DataToolContext{install, &out, &err}),
        0)
        << err.str();
    Import("VPropiet",
           "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n"
           "2,FERNANDEZ*CARMEN,0,SPA,ES22222222J\n3,ROURE*ANNA,0,CAT,ES33333333P\n");
    Import("VGrups",
           "owner,property,description,section\n1,1,FINCA U,2\n2,1,FINCA DOS,2\n"
           "3,1,FINCA TRES,2\n");
    Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n2,1,1,PIS\n3,1,1,PIS\n");
    Import("VCobros",
           "owner,property,unit,date,amount\n1,1,1,2025-06-01,100.00\n"
           "2,1,1,2025-06-01,200.00\n3,1,1,2025-06-01,300.00\n");
    // The records the data check looks for, so that runs have no findings to offer.
    Import("USeccio", "section,letterhead\n1,S\n2,N\n");
    Import("VDepCont",
           "owner,property,unit,type,date\n1,1,1,L,2020-01-01\n2,1,1,L,2020-01-01\n"
           "3,1,1,L,2020-01-01\n");
    Import("VDepCada",
           "owner,property,unit,cadastral_ref\n1,1,1,9872023VH5797S0001WX\n"
           "2,1,1,9872023VH5797S0002EM\n3,1,1,9872023VH5797S0003RQ\n");
    // The print program keeps each spool file it is started on, numbered.
    dir_.Write("bin/qebprint",
               "#!/bin/sh\nn=$(ls \"$QEBTMP\" | grep -c '^printed-')\n"
               "cp \"$QEBTMP/qebprint.tmp\" \"$QEBTMP/printed-$n\"\n");
    std::filesystem::permissions(dir_.path() / "bin/qebprint", std::filesystem::perms::owner_all);
    dir_.Write("root/tmp/TovaTerm.ini", "[Sistema]\nData=20260115\nSortida=PDF\nIdioma=CAT\n");
    env_.Set("QEBROOT", root());
    env_.Set("QEBTMP", root() + "tmp/");
    env_.Set("QEBEXE", dir_.dir() + "bin/");
    SetErrorStopHandler([](std::string_view what) { throw Stopped(std::string(what)); });
    SetRecordFileExit([](int) { throw Stopped("record file"); });
    ResetKeyInput();
    ResetFormEntry();
    console_.SetWindowStackPath(dir_.file("WinPush.tmp"));
    SetRunOutputs(DeliveryOptions());  // the fake print program makes no archive's documents
  }
  void TearDown() override {
    SetErrorStopHandler(nullptr);
    SetRecordFileExit(nullptr);
    int16_t status = 0;
    ResetRecordFiles(status);
    std::filesystem::current_path(QEB_SOURCE_DIR);
  }

  std::string root() const { return dir_.dir() + "root/"; }
  std::filesystem::path session() const { return dir_.path() / "root/tmp"; }

  void Import(const std::string& base, const std::string& csv) {
    dir_.Write("csv/" + base + ".csv", csv);
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    std::ostringstream out, err;
    ASSERT_EQ(RunDataTool({"import", root(), base, dir_.file("csv/" + base + ".csv")},
                          DataToolContext{install, &out, &err}),
              0)
        << err.str();
  }

  // The keys that confirm the parameter screen as it stands: to the last field, Enter, "S".
  void Confirm() { console_.PressKeys({kKeyPageDown, kKeyEnter, kKeyEnter}); }

  int Run() { return RunInteractive(console_); }

  std::vector<std::string> Printed() const {
    std::vector<std::string> copies;
    for (int n = 0; std::filesystem::exists(session() / ("printed-" + std::to_string(n))); ++n) {
      copies.push_back(ReadFile(session() / ("printed-" + std::to_string(n))));
    }
    return copies;
  }

  TempDir dir_;
  ScopedEnvironment env_;
  FakeClock clock_{20260115};
  MemoryConsole console_;
};

TEST_F(InteractiveTest, TheFirstStartShowsTheDefaultsAndEscLeaves) {
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::string& screen = console_.memory().screens_at_keys()[0];
  EXPECT_NE(screen.find("Data del compte ............... : 311225"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Des del propietari ............ : 1 "), std::string::npos);
  EXPECT_NE(screen.find("Fins al propietari ............ : 9999"), std::string::npos);
  EXPECT_NE(screen.find("Model d'informe ............... : N - Compte d'explotaci\u00F3"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(session() / kEntryValuesFileName));
  EXPECT_TRUE(Printed().empty());
  EXPECT_EQ(console_.Suspends(), 0);
}

TEST_F(InteractiveTest, TwoRunsInOneExecutionBothPrintAndTheValuesComeBack) {
  // First run: owners 1 to 2; second run: owner 3 in the fiscal layout. The progress window
  // reads one key per owner: the x typed during each run are dropped.
  console_.PressKeys(
      {kKeyDown, kKeyEnter, kKeyCtrlY, '2', kKeyEnter, kKeyEnter, kKeyEnter, 'x', 'x'});
  console_.PressKeys({kKeyDown, kKeyCtrlY, '3', kKeyEnter, kKeyCtrlY, '3', kKeyEnter, 'f',
                      kKeyEnter, kKeyEnter, 'x', kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> printed = Printed();
  ASSERT_EQ(printed.size(), 2u);
  EXPECT_NE(printed[0].find("FINCA U"), std::string::npos) << printed[0];
  EXPECT_NE(printed[0].find("FINCA DOS"), std::string::npos);
  EXPECT_EQ(printed[0].find("FINCA TRES"), std::string::npos);
  // The second run found its record files open again.
  EXPECT_NE(printed[1].find("FINCA TRES"), std::string::npos) << printed[1];
  EXPECT_EQ(printed[1].find("FINCA U"), std::string::npos);
  // A PDF needs no terminal: the screen stays up while the print program runs.
  EXPECT_EQ(console_.Suspends(), 0);

  // The next start shows the values of the last run, and the file is gone again.
  ASSERT_TRUE(std::filesystem::exists(session() / kEntryValuesFileName));
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::string& screen = console_.memory().screens_at_keys().back();
  EXPECT_NE(screen.find("Des del propietari ............ : 3 "), std::string::npos) << screen;
  EXPECT_NE(screen.find("Model d'informe ............... : F - Model fiscal"), std::string::npos)
      << screen;
  EXPECT_FALSE(std::filesystem::exists(session() / kEntryValuesFileName));
}

TEST_F(InteractiveTest, AcceptFormRefusesAReversedRangeAndRunsOnlyOnS) {
  // From 3 to 2: the bell, back on the first field. Once the range is mended, a confirmation
  // answered N, then one left with Esc: no run either time.
  console_.PressKeys({kKeyDown, '3', kKeyEnter, kKeyCtrlY, '2', kKeyEnter, kKeyEnter});
  console_.PressKeys({kKeyDown, kKeyDown, '4', kKeyEnter, kKeyEnter, 'n', kKeyEnter});
  console_.PressKeys({kKeyPageDown, kKeyEnter, kKeyEsc, kKeyEsc});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_TRUE(Printed().empty());
}

TEST_F(InteractiveTest, EscDuringARunStopsAfterTheOwnerBeingPrinted) {
  // The progress window reads one key per owner: "x" while owner 1 starts, Esc before owner 2.
  Confirm();
  console_.PressKeys({'x', kKeyEsc, kKeyEnter, kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> printed = Printed();
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_NE(printed[0].find("PUIG"), std::string::npos) << printed[0];
  EXPECT_EQ(printed[0].find("FERNANDEZ"), std::string::npos);
  EXPECT_NE(printed[0].find("*** EMISSI\xE0 ATURADA PER L'OPERADOR ***"), std::string::npos);
  EXPECT_NE(printed[0].find("1 JOSEP PUIG"), std::string::npos);
  EXPECT_EQ(console_.Bells(), 1);  // the message that the run was stopped
}

// With the real print program every completed run is archived, a later one of the same second
// beside it; a run the operator stopped is not.
TEST_F(InteractiveTest, CompletedRunsAreArchived) {
  env_.Set("QEBEXE", std::string(QEB_BIN_DIR) + "/");
  DeliveryOptions outputs;
  outputs.archive = true;
  SetRunOutputs(outputs);
  // Each run ends in a message naming its PDF; the stopped one in another saying it was stopped.
  Confirm();
  console_.PressKeys({'x', 'x', 'x', kKeyEnter});
  Confirm();
  console_.PressKeys({'x', kKeyEsc, kKeyEnter, kKeyEnter});  // stopped before owner 2
  Confirm();
  console_.PressKeys({'x', 'x', 'x', kKeyEnter, kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::filesystem::path year = dir_.path() / "root/ARXIU/2025";
  std::vector<std::string> runs;
  for (const auto& entry : std::filesystem::directory_iterator(year)) {
    runs.push_back(entry.path().filename().string());
    EXPECT_TRUE(std::filesystem::exists(entry.path() / "run.txt"));
    EXPECT_TRUE(std::filesystem::exists(entry.path() / "0003-ROURE_ANNA-2025-N.pdf"))
        << entry.path();
  }
  std::sort(runs.begin(), runs.end());
  EXPECT_EQ(runs, (std::vector<std::string>{"20260115-120000-0001-9999-N",
                                            "20260115-120000-0001-9999-N-2"}));
}

TEST_F(InteractiveTest, TheDataCheckIsOfferedBeforeTheConfirmation) {
  Import("VDepBase", "owner,property,unit,description\n1,1,2,ALTELL\n");  // no contract
  console_.memory().KeepScreensAtKeys(true);
  // The offer, "s" to read the findings, Esc out of them, then N at the confirmation.
  console_.PressKeys({kKeyPageDown, kKeyEnter, 's', kKeyEsc, 'n', kKeyEnter, kKeyEsc});
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string>& screens = console_.memory().screens_at_keys();
  ASSERT_GE(screens.size(), 4u);
  EXPECT_NE(screens[2].find("La comprovaci\u00F3 de les dades ha trobat avisos: 1."),
            std::string::npos)
      << screens[2];
  EXPECT_NE(screens[3].find("VDepCont"), std::string::npos) << screens[3];
  EXPECT_TRUE(Printed().empty());
}

TEST_F(InteractiveTest, EntryValuesRestoreWhatFitsAndIgnoreTheRest) {
  // A date too long for its field, binary bytes in the owner, a report option no option has,
  // and more lines than fields.
  dir_.Write("root/tmp/pent.tmp",
             "01/02/2024XXXXXXXXXX\r\n1\x01\r\n0042\n Z\r\nhint\nS\nGARCIA\nsurplus\nlines\n");
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({kKeyEsc});
  Run();
  const std::string& screen = console_.memory().screens_at_keys()[0];
  EXPECT_NE(screen.find(": 01/02/2024"), std::string::npos) << screen;
  EXPECT_EQ(EntryText(1, 2), "1    ");
  EXPECT_EQ(EntryText(1, 3), "0042 ");
  EXPECT_EQ(EntryText(1, 4), "N");  // the default stayed
  EXPECT_EQ(EntryText(3, 1), "GARCIA              ");
  EXPECT_FALSE(std::filesystem::exists(session() / kEntryValuesFileName));
}

TEST_F(InteractiveTest, TheOwnersPickListHooks) {
  console_.PressKeys({kKeyEsc});
  Run();  // loads the form; the record files are closed again at the end
  OpenRentalFiles();
  ASSERT_EQ(GetByKeyStatus(kOwnerFile, 0, std::string("\x80\x82", 2), 1), 0);
  std::string line = BrowseLine(1);
  EXPECT_EQ(line.substr(0, 22), "0002  FERNANDEZ*CARMEN");
  EXPECT_EQ(line.size(), 6u + kOwnerName.width);
  EXPECT_EQ(BrowseLine(2), "");

  int browse = 1;
  EXPECT_EQ(BrowsePick(console_, browse, 1, 3), 0);
  EXPECT_EQ(EntryText(1, 3), "0002 ");

  SetEntryText(3, 1, "fern\x85");
  std::string from, to;
  EXPECT_EQ(BrowseStart(1, from, to), 0);
  EXPECT_EQ(from, "FERN\xB7");  // capitals, accents kept
  EXPECT_EQ(to, from);
  SetEntryText(3, 1, "");
  EXPECT_EQ(BrowseStart(1, from, to), 0);
  EXPECT_EQ(from, "");
}

// Whether one of `screens` holds every one of `texts`.
bool AnyScreenHolds(const std::vector<std::string>& screens,
                    std::initializer_list<std::string_view> texts) {
  return std::any_of(screens.begin(), screens.end(), [&texts](const std::string& screen) {
    return std::all_of(texts.begin(), texts.end(), [&screen](std::string_view text) {
      return screen.find(text) != std::string::npos;
    });
  });
}

// The print program's words stay off the screen, which stays up (a box says the report is being
// printed); then the operator is told where the PDF is, or why the report did not get there.
TEST_F(InteractiveTest, TheOperatorIsToldWhereTheReportIsOrWhyItIsNot) {
  // The first run's print program writes the PDF and leaves a flag that fails the second one.
  dir_.Write("root/tmp/informe.pdf", "%PDF");
  dir_.Write("bin/qebprint",
             "#!/bin/sh\n"
             "if [ -e \"$QEBTMP/fail\" ]; then echo 'qebprint: the disk is full' >&2; exit 1; fi\n"
             "touch \"$QEBTMP/fail\"\n"
             "echo 'qebprint: 1 page written' >&2\necho 'request id is lp-1'\n"
             "echo \"$QEBTMP/informe.pdf\"\n");
  console_.memory().KeepScreensAtKeys(true);
  console_.memory().KeepScreensShown(true);
  Confirm();
  console_.PressKeys({'x', 'x', 'x', kKeyEnter});
  Confirm();
  console_.PressKeys({'x', 'x', 'x', kKeyEnter, kKeyEsc});
  EXPECT_EQ(Run(), 0);

  const std::vector<std::string>& shown = console_.memory().screens_shown();
  EXPECT_TRUE(AnyScreenHolds(shown, {"S'estan comprovant les dades; espereu."}));
  EXPECT_TRUE(AnyScreenHolds(shown, {"S'est\u00E0 imprimint l'informe; espereu."}));
  const std::vector<std::string>& at_keys = console_.memory().screens_at_keys();
  EXPECT_TRUE(AnyScreenHolds(at_keys, {"L'informe \u00E9s a", "informe.pdf"}));
  EXPECT_FALSE(AnyScreenHolds(at_keys, {"request id"}));
  EXPECT_FALSE(AnyScreenHolds(at_keys, {"1 page written"}));
  EXPECT_TRUE(AnyScreenHolds(
      at_keys, {"El programa d'impressi\u00F3 ha acabat amb l'estat 1. qebprint: the disk is full",
                "qebprint.tmp"}));
  EXPECT_EQ(console_.Suspends(), 0);
  EXPECT_EQ(console_.Bells(), 1);  // the failure, not the success
  EXPECT_FALSE(std::filesystem::exists(session() / "qebprint.out"));
  EXPECT_FALSE(std::filesystem::exists(session() / "qebprint.err"));
}

// The screen device shows the report through a pager: the print program gets the terminal.
TEST_F(InteractiveTest, TheScreenDeviceGetsTheTerminal) {
  dir_.Write("root/tmp/TovaTerm.ini", "[Sistema]\nData=20260115\nSortida=pantalla\nIdioma=CAT\n");
  Confirm();
  console_.PressKeys({'x', 'x', 'x', kKeyEsc});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Printed().size(), 1u);
  EXPECT_EQ(console_.Suspends(), 1);
  EXPECT_EQ(console_.Resumes(), 1);
}

TEST_F(InteractiveTest, ARangeWithoutOwnersIsRefusedWithAMessage) {
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys(
      {kKeyDown, kKeyCtrlY, '5', kKeyEnter, kKeyEnter, kKeyEnter, kKeyEnter, kKeyEsc});
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(AnyScreenHolds(console_.memory().screens_at_keys(),
                             {"No hi ha cap propietari per emetre entre aquests codis."}));
  EXPECT_TRUE(Printed().empty());
}

TEST_F(InteractiveTest, AMissingFormFileStopsNamingIt) {
  std::filesystem::remove(dir_.path() / "root/FORMS/QUARNELL.JPN");
  try {
    Run();
    FAIL() << "the program went on without its form file";
  } catch (const Stopped& stop) {
    EXPECT_NE(std::string(stop.what()).find("QUARNELL.JPN"), std::string::npos) << stop.what();
  }
}

}  // namespace
}  // namespace quarnell
