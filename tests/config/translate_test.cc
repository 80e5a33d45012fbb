#include "config/translate.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "config/alerts.h"
#include "config/scoped_environment.h"
#include "config/session.h"
#include "support/recording_alerts.h"
#include "support/temp_dir.h"
#include "text/language.h"

namespace quarnell {
namespace {

using testing::RecordingAlerts;
using testing::ScopedEnvironment;
using testing::TempDir;

class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.Set("QEBROOT", root_.dir());
    environment_.Set("QEBTMP", root_.dir() + "tmp");
    StartConfiguration();
    SetModuleName("QUARNELL");
    SetMessageFileName("");
  }
  void TearDown() override {
    SetLanguageCode("");
    SetMessageFileName("");
  }

  void WriteMessages(std::string_view bytes) { root_.Write("LOCALE/QUARNELL.LNG", bytes); }
  std::string MessageFile() const { return root_.file("LOCALE/QUARNELL.LNG"); }

  TempDir root_;
  ScopedEnvironment environment_;
};

TEST_F(TranslateTest, PicksTheFieldOfEachLanguage) {
  WriteMessages(
      "Data,Data gl,Data oc,Fecha\n"
      "\"Lloguers, nets\",\"Alugueiros, netos\",\"Lloguers, nets oc\",\"Alquileres, netos\"\n"
      "Sense,,,\n");
  struct Case {
    const char* language;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"SPA", "Data", "Fecha"},
      {"GLG", "Data", "Data gl"},
      {"OCI", "Data", "Data oc"},
      {"CAT", "Data", "Data"},
      {"ENG", "Data", "Data"},
      {"", "Data", "Data"},
      {"spa", "Data", "Data"},  // codes are compared exactly
      {"SPA", "Lloguers, nets", "Alquileres, netos"},
      {"SPA", "Sense", ""},       // an empty translation gives the empty text
      {"SPA", "data", "data"},    // case matters
      {"SPA", "Data ", "Data "},  // so does a trailing blank
      {"SPA", "Absent", "Absent"},
  };
  for (const Case& c : cases) {
    SetLanguageCode(c.language);
    EXPECT_EQ(Translate(c.text), c.expected) << c.language << " " << c.text;
  }
}

TEST_F(TranslateTest, FirstMatchingRecordWins) {
  WriteMessages("Total,t1,t1,T1\nTotal,t2,t2,T2\n");
  SetLanguageCode("SPA");
  EXPECT_EQ(Translate("Total"), "T1");
}

TEST_F(TranslateTest, CatalanNeverTouchesTheFile) {
  SetLanguageCode("CAT");
  EXPECT_EQ(Translate("Data"), "Data");
  EXPECT_FALSE(std::filesystem::exists(root_.path() / "LOCALE"));
}

TEST_F(TranslateTest, MissingFileIsCreatedEmptyForAnyOtherCode) {
  std::filesystem::create_directories(root_.path() / "LOCALE");
  SetLanguageCode("ENG");
  EXPECT_EQ(Translate("Data"), "Data");
  ASSERT_TRUE(std::filesystem::exists(MessageFile()));
  EXPECT_EQ(std::filesystem::file_size(MessageFile()), 0u);
}

TEST_F(TranslateTest, WithoutLocaleDirectoryTextsComeBackUnchanged) {
  SetLanguageCode("SPA");
  EXPECT_EQ(Translate("Data"), "Data");
}

TEST_F(TranslateTest, FindsTheFileWithoutRegardToCaseAndHonoursTheOverride) {
  root_.Write("locale/quarnell.lng", "Data,g,o,Fecha\n");
  root_.Write("locale/ALTRE.LNG", "Data,g,o,Dia\n");
  SetLanguageCode("SPA");
  EXPECT_EQ(Translate("Data"), "Fecha");
  SetMessageFileName("Altre");
  EXPECT_EQ(Translate("Data"), "Dia");
}

TEST_F(TranslateTest, AChangeOfTheFileIsSeenByTheNextCall) {
  SetLanguageCode("SPA");
  WriteMessages("Data,g,o,Fecha\n");
  EXPECT_EQ(Translate("Data"), "Fecha");
  // Same size, written again: the change time moves even when the clock's grain hides it in the
  // modification time.
  WriteMessages("Data,g,o,FECHA\n");
  struct stat info;
  ASSERT_EQ(stat(MessageFile().c_str(), &info), 0);
  timespec times[2] = {info.st_atim, {info.st_mtim.tv_sec + 5, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, MessageFile().c_str(), times, 0), 0);
  EXPECT_EQ(Translate("Data"), "FECHA");
  // Replaced by another file.
  std::filesystem::remove(MessageFile());
  WriteMessages("Data,g,o,Dia\nMes,g,o,Mes es\n");
  EXPECT_EQ(Translate("Data"), "Dia");
  EXPECT_EQ(Translate("Mes"), "Mes es");
  // Removed: created empty again.
  std::filesystem::remove(MessageFile());
  EXPECT_EQ(Translate("Data"), "Data");
  EXPECT_TRUE(std::filesystem::exists(MessageFile()));
}

// Spanish statements with Catalan headings must not pass without a word: the operator is told
// once, naming the file, and the run goes on in Catalan.
TEST_F(TranslateTest, AMessageFileThatCannotServeIsToldOnce) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string warning;  // after the file's path
  };
  const Case cases[] = {
      {"missing", [&] { std::filesystem::create_directories(root_.path() / "LOCALE"); },
       " is missing: texts are printed in Catalan"},
      {"empty", [&] { WriteMessages(""); }, " holds no translations: texts are printed in Catalan"},
      {"cut short", [&] { WriteMessages("Data,g,o,Fecha\nTotal,t,t\n"); },
       " is damaged: it ends in the middle of the record after record 1; that text is printed in "
       "Catalan"},
      {"a FIFO",
       [&] {
         std::filesystem::create_directories(root_.path() / "LOCALE");
         ASSERT_EQ(mkfifo(MessageFile().c_str(), 0600), 0);
       },
       " is not a regular file: texts are printed in Catalan"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(root_.path() / "LOCALE");
    c.prepare();
    StartConfiguration();
    RecordingAlerts alerts;
    SetLanguageCode("SPA");
    alarm(20);  // a FIFO opened to read or to append waits for its other end
    EXPECT_EQ(Translate("Data"), c.name == std::string("cut short") ? "Fecha" : "Data");
    EXPECT_EQ(Translate("Mes"), "Mes");
    alarm(0);
    ASSERT_EQ(alerts.shown.size(), 1u) << alerts.All();
    EXPECT_EQ(alerts.shown[0], "the message file " + MessageFile() + c.warning);
  }
  // Catalan needs no file: nothing to say.
  std::filesystem::remove_all(root_.path() / "LOCALE");
  StartConfiguration();
  RecordingAlerts alerts;
  SetLanguageCode("CAT");
  EXPECT_EQ(Translate("Data"), "Data");
  EXPECT_EQ(alerts.All(), "");
}

// A file cut at the end of a record, or of another version of the program, lacks texts the
// statement must have: Spanish statements with some Catalan headings must not pass without a
// word either. Told once per version of the file; texts of other callers may be absent.
TEST_F(TranslateTest, ARequiredTextMissingFromTheFileIsToldOnce) {
  WriteMessages("Data,g,o,Fecha\r\nTotal,t,t,Total ES\r\n");
  RecordingAlerts alerts;
  SetLanguageCode("SPA");
  EXPECT_EQ(TranslateRequired("Data"), "Fecha");
  EXPECT_EQ(Translate("Label"), "Label");
  EXPECT_EQ(alerts.All(), "");
  EXPECT_EQ(TranslateRequired("Mes"), "Mes");
  EXPECT_EQ(TranslateRequired("Any"), "Any");
  ASSERT_EQ(alerts.shown.size(), 1u) << alerts.All();
  EXPECT_EQ(alerts.shown[0], "the message file " + MessageFile() +
                                 " has no translation of \"Mes\" (it may be cut short, or of "
                                 "another version of the program): such texts are printed in "
                                 "Catalan");
  // Catalan needs no translation; a file cut inside a record was told as damaged already.
  SetLanguageCode("CAT");
  EXPECT_EQ(TranslateRequired("Mes"), "Mes");
  ForgetWarnings();
  WriteMessages("Data,g,o,Fecha\r\nTotal,t,t\r\n");
  SetLanguageCode("SPA");
  RecordingAlerts after_cut;
  EXPECT_EQ(TranslateRequired("Mes"), "Mes");
  ASSERT_EQ(after_cut.shown.size(), 1u) << after_cut.All();
  EXPECT_NE(after_cut.shown[0].find("is damaged"), std::string::npos) << after_cut.All();
}

}  // namespace
}  // namespace quarnell
