#include "config/session.h"

#include <gtest/gtest.h>

#include <string>

#include "config/attributes.h"
#include "config/paths.h"
#include "config/scoped_environment.h"
#include "support/temp_dir.h"
#include "text/dates.h"
#include "text/language.h"
#include "text/masks.h"
#include "text/user_settings.h"

namespace quarnell {
namespace {

using testing::ScopedEnvironment;
using testing::TempDir;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"QEBROOT", "QEBEXE", "QEBTMP", "TERM", "HTTP_USER_AGENT",
                             "HTTP_ACCEPT", "WINDIR", "SYSTEMROOT"}) {
      environment_.Unset(name);
    }
    environment_.Set("QEBROOT", root_.dir());
    environment_.Set("QEBEXE", root_.dir() + "bin/");
  }
  void TearDown() override {
    SetLanguageCode("");
    ResetColourTable();
    ResetAttributes();
    SetUserSettingReader(nullptr);
  }

  // The session directory as the program writes it: no trailing separator, so the rule adds "\".
  std::string SessionDirectory() const { return root_.dir() + "tmp"; }

  TempDir root_;
  ScopedEnvironment environment_;
};

TEST_F(SessionTest, ReadsSessionAndTerminalFiles) {
  environment_.Set("QEBTMP", SessionDirectory());
  root_.Write("tmp/Sessio.ini",
              "[Menu]\nTitol=Comptes de les finques\nNomMenu=LLOGUERS\nMenu=M01\nChnMenu=M00\n"
              "Operador=ANNA\nQebTipOper=3\n[Terminal]\nDir=" +
                  root_.dir() + "term1\n");
  root_.Write("tmp/TovaTerm.ini",
              "[Pantalla]\nSeleccio=2\nCol0=01010101010101010101\nCol2=1401\n"
              "[Sistema]\nData=20250614\nSortida=PDF\nIdioma=SPANISH\n");
  root_.Write("Tova.ini", "[Usuari]\nIdioma=GLG\nDatOrdre=AMD\n");
  SetAttribute(std::string_view("+r"));
  StartConfiguration();

  const SessionSettings& s = Session();
  EXPECT_EQ(s.root_directory, root_.dir());
  EXPECT_EQ(s.program_directory, root_.dir() + "bin/");
  EXPECT_EQ(s.session_directory, SessionDirectory() + "\\");
  EXPECT_EQ(s.terminal_directory, root_.dir() + "term1\\");
  EXPECT_EQ(s.title, " Comptes de les finques ");
  EXPECT_EQ(s.menu_name, "LLOGUERS");
  EXPECT_EQ(s.menu, "M01");
  EXPECT_EQ(s.menu_chain, "M00");
  EXPECT_EQ(s.operator_name, "ANNA");
  EXPECT_EQ(s.operator_type, 3);
  EXPECT_EQ(s.working_date, PackDigits("20250614"));
  EXPECT_EQ(s.output_device, "PDF");
  EXPECT_EQ(s.language, "SPA");
  EXPECT_EQ(LanguageCode(), "SPA");
  EXPECT_EQ(s.platform_mode, "DOS");
  EXPECT_EQ(Currency().main, "E");

  // Seleccio=2 reads Col2; the colours it does not give are 0.
  EXPECT_EQ(Colours()[0].foreground, 14);
  EXPECT_EQ(Colours()[0].background, 1);
  for (size_t set = 1; set < Colours().size(); ++set) {
    EXPECT_EQ(Colours()[set].foreground, 0) << set;
    EXPECT_EQ(Colours()[set].background, 0) << set;
  }
  // A new run starts with an empty attribute stack.
  EXPECT_EQ(CurrentAttributeSet(), 0);
  SetAttribute(std::string_view("-"));
  EXPECT_EQ(CurrentAttributeSet(), 0);

  // The formatters read Tova.ini through the installed reader.
  EXPECT_EQ(ReadUserSetting("datordre"), "AMD");
}

TEST_F(SessionTest, WithoutFilesEverythingTakesItsDefault) {
  environment_.Set("QEBTMP", SessionDirectory());
  StartConfiguration();
  const SessionSettings& s = Session();
  EXPECT_EQ(s.title, "  ");
  EXPECT_EQ(s.operator_type, 0);
  EXPECT_EQ(s.terminal_directory, "");
  EXPECT_EQ(s.working_date, "");  // no bytes, not the packed empty date
  EXPECT_EQ(s.output_device, "");
  EXPECT_EQ(s.language, "");
  EXPECT_EQ(ReadUserSetting("DatOrdre"), "");
  const ColourTable defaults = {{{15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7}}};
  for (size_t set = 0; set < defaults.size(); ++set) {
    EXPECT_EQ(Colours()[set].foreground, defaults[set].foreground) << set;
    EXPECT_EQ(Colours()[set].background, defaults[set].background) << set;
  }
}

TEST_F(SessionTest, LanguageFallsBackToUserSettings) {
  environment_.Set("QEBTMP", SessionDirectory());
  struct Case {
    const char* terminal;  // TovaTerm.ini, or nullptr for none
    const char* user;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "[Usuari]\nIdioma=OCI\n", "OCI"},
      {"[Sistema]\nIdioma=\n", "[Usuari]\nIdioma=GLGX ; comment\n", "GLG"},
      {"[Sistema]\nIdioma=   \n", "[Usuari]\nIdioma=SPA\n", "SPA"},
      {"[Sistema]\nIdioma=CAT\n", "[Usuari]\nIdioma=SPA\n", "CAT"},
      {"[Sistema]\nIdioma= SPA\n", "[Usuari]\nIdioma=GLG\n", " SP"},  // kept as written
  };
  for (const Case& c : cases) {
    std::filesystem::remove(root_.file("tmp/TovaTerm.ini"));
    if (c.terminal != nullptr) root_.Write("tmp/TovaTerm.ini", c.terminal);
    root_.Write("Tova.ini", c.user);
    StartConfiguration();
    EXPECT_EQ(LanguageCode(), c.expected) << (c.terminal ? c.terminal : "no terminal file");
  }
}

TEST_F(SessionTest, TerminalDirectoryStandsInForAMissingSessionDirectory) {
  root_.Write("term1/Sessio.ini", "[Menu]\nNomMenu=from terminal dir\n");
  root_.Write("term1/TovaTerm.ini", "[Sistema]\nSortida=TXT\n");
  root_.Write("Sessio.ini", "[Terminal]\nDir=" + root_.dir() + "term1\n");

  // QEBTMP unset: the session file is looked for in the current directory, which here is the root.
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(root_.path());
  StartConfiguration();
  std::filesystem::current_path(previous);

  EXPECT_EQ(Session().terminal_directory, root_.dir() + "term1\\");
  EXPECT_EQ(Session().session_directory, root_.dir() + "term1\\");
  EXPECT_EQ(Session().output_device, "TXT");
}

// QEBROOT and QEBEXE set without their final separator work as QEBTMP does: file names are
// appended to them.
TEST_F(SessionTest, DirectoriesWithoutTheirFinalSeparator) {
  environment_.Set("QEBROOT", root_.dir() + "agency");
  environment_.Set("QEBEXE", root_.dir() + "bin");
  environment_.Set("QEBTMP", root_.dir() + "agency/tmp");
  root_.Write("agency/Tova.ini", "[Usuari]\nDatOrdre=AMD\n");
  StartConfiguration();
  EXPECT_EQ(Session().root_directory, root_.dir() + "agency\\");
  EXPECT_EQ(Session().program_directory, root_.dir() + "bin\\");
  EXPECT_EQ(HostPath(Session().root_directory + "Tova.ini"), root_.dir() + "agency/Tova.ini");
  EXPECT_EQ(ReadUserSetting("DatOrdre"), "AMD");
  // Set with their separator, or not at all, they stay as they are.
  environment_.Set("QEBROOT", root_.dir());
  environment_.Unset("QEBEXE");
  StartConfiguration();
  EXPECT_EQ(Session().root_directory, root_.dir());
  EXPECT_EQ(Session().program_directory, "");
}

TEST_F(SessionTest, TermServesAsTerminalDirectoryOnlyWhenItIsOne) {
  environment_.Set("QEBTMP", SessionDirectory());
  root_.Write("term2/QEBCALC.TMP", "");
  environment_.Set("TERM", root_.dir() + "term2");
  StartConfiguration();
  EXPECT_EQ(Session().terminal_directory, root_.dir() + "term2\\");

  environment_.Set("TERM", "xterm-256color");
  StartConfiguration();
  EXPECT_EQ(Session().terminal_directory, "");

  // The session file's Dir wins over TERM.
  root_.Write("tmp/Sessio.ini", "[Terminal]\nDir=C:\n");
  environment_.Set("TERM", root_.dir() + "term2");
  StartConfiguration();
  EXPECT_EQ(Session().terminal_directory, "C:");
}

TEST_F(SessionTest, PlatformMode) {
  struct Case {
    const char* variable;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "DOS"},  {"HTTP_USER_AGENT", "CGI"}, {"HTTP_ACCEPT", "CGI"},
      {"WINDIR", "WIN"}, {"SYSTEMROOT", "WIN"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment scoped;
    if (c.variable != nullptr) scoped.Set(c.variable, "x");
    StartConfiguration();
    EXPECT_EQ(Session().platform_mode, c.expected) << (c.variable ? c.variable : "none");
  }
  // The gateway wins over a windowed system.
  ScopedEnvironment scoped;
  scoped.Set("WINDIR", "x");
  scoped.Set("HTTP_ACCEPT", "x");
  StartConfiguration();
  EXPECT_EQ(Session().platform_mode, "CGI");
}

TEST_F(SessionTest, NumericSettingsAndMissingColourText) {
  environment_.Set("QEBTMP", SessionDirectory());
  struct Case {
    const char* operator_type;
    int16_t expected;
  };
  const Case cases[] = {{"", 0}, {"7", 7}, {" 12x", 12}, {"-3", -3}, {"99999", 32767}, {"abc", 0}};
  for (const Case& c : cases) {
    root_.Write("tmp/Sessio.ini", std::string("[Menu]\nQebTipOper=") + c.operator_type + "\n");
    StartConfiguration();
    EXPECT_EQ(Session().operator_type, c.expected) << c.operator_type;
  }
  // Seleccio names a key that is not there: the default colours.
  root_.Write("tmp/TovaTerm.ini", "[Pantalla]\nSeleccio=3\nCol0=01010101010101010101\n");
  StartConfiguration();
  EXPECT_EQ(Colours()[0].foreground, 15);
  EXPECT_EQ(Colours()[2].background, 7);
}

}  // namespace
}  // namespace quarnell
