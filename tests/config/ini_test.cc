#include "config/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/recording_alerts.h"
#include "support/temp_dir.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

using testing::RecordingAlerts;
using testing::TempDir;

struct IniCase {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;
};

TEST(ReadIniTest, FollowsTheFileRules) {
  const IniCase cases[] = {
      {"plain value", "[Usuari]\nDecCaracter=,\n", "Usuari", "DecCaracter", ","},
      {"blank after = belongs to the value", "[Usuari]\nDecCaracter = ,\n", "Usuari", "DecCaracter",
       " ,"},
      {"key trimmed of trailing blanks only", "[Usuari]\n  Idioma   =SPA\n", "Usuari", "Idioma",
       "SPA"},
      {"comment cut keeps the blank before it", "[Usuari]\nIdioma=SPA ; comment\n", "Usuari",
       "Idioma", "SPA "},
      {"semicolon inside quotes still cuts", "[Usuari]\nTitol=\"a;b\"\n", "Usuari", "Titol", "\"a"},
      {"enclosing quotes removed", "[Menu]\nTitol=\"  Lloguers \"\n", "Menu", "Titol",
       "  Lloguers "},
      {"lone quote kept", "[Menu]\nTitol=\"\n", "Menu", "Titol", "\""},
      {"two quotes give empty", "[Menu]\nTitol=\"\"\n", "Menu", "Titol", ""},
      {"quote on one side only kept", "[Menu]\nTitol=\"abc\n", "Menu", "Titol", "\"abc"},
      {"case-insensitive section and key", "[usuari]\ndatordre=MDA\n", "Usuari", "DatOrdre", "MDA"},
      {"requested names trimmed", "[Usuari]\nDatOrdre=MDA\n", "  Usuari ", " DatOrdre  ", "MDA"},
      {"section name trimmed, text after ] ignored", "  [ Usuari ] rest\nDatOrdre=AMD\n", "Usuari",
       "DatOrdre", "AMD"},
      {"section without closing bracket", "[Usuari\nDatOrdre=AMD\n", "Usuari", "DatOrdre", "AMD"},
      {"only the first section of a name", "[Usuari]\nA=1\n[Altre]\nB=2\n[Usuari]\nB=3\n", "Usuari",
       "B", ""},
      {"next section ends the search", "[Usuari]\nA=1\n[Altre]\nB=2\n", "Usuari", "B", ""},
      {"entries before any section never found", "Idioma=SPA\n[Usuari]\nX=1\n", "Usuari", "Idioma",
       ""},
      {"first = splits", "[S]\nK=a=b\n", "S", "K", "a=b"},
      {"first matching key wins", "[S]\nK=1\nk=2\n", "S", "K", "1"},
      {"lines without = and comment lines skipped", "[S]\n; note\nnothing here\n  \nK=v\n", "S",
       "K", "v"},
      {"CR LF line ends", "[Usuari]\r\nIdioma=GLG\r\nX=1\r\n", "Usuari", "Idioma", "GLG"},
      {"CR LF on the last line without LF", "[Usuari]\r\nIdioma=OCI\r", "Usuari", "Idioma", "OCI"},
      {"quoted value with CR LF", "[Menu]\r\nTitol=\"Gestio\"\r\n", "Menu", "Titol", "Gestio"},
      {"no final line end", "[S]\nK=last", "S", "K", "last"},
      {"missing key", "[S]\nK=1\n", "S", "Other", ""},
      {"missing section", "[S]\nK=1\n", "T", "K", ""},
      {"empty value", "[S]\nK=\nK=2\n", "S", "K", ""},
  };
  TempDir dir;
  for (const IniCase& c : cases) {
    dir.Write("case.ini", c.file);
    EXPECT_EQ(ReadIni(dir.file("case.ini"), c.section, c.key), c.expected) << c.name;
  }
}

TEST(ReadIniTest, ReadsLinesOfAnyLength) {
  TempDir dir;
  std::string long_value(100000, 'x');
  std::string long_comment(70000, 'c');
  dir.Write("long.ini", "[S]\n;" + long_comment + "\nLong=" + long_value + "\nAfter=ok\n");
  EXPECT_EQ(ReadIni(dir.file("long.ini"), "S", "Long"), long_value);
  EXPECT_EQ(ReadIni(dir.file("long.ini"), "S", "After"), "ok");
}

TEST(ReadIniTest, UnreadableFilesGiveTheEmptyText) {
  TempDir dir;
  EXPECT_EQ(ReadIni(dir.file("missing.ini"), "S", "K"), "");
  EXPECT_EQ(ReadIni(dir.dir(), "S", "K"), "");  // a directory
}

// An editor of this system saves a settings file as UTF-8; the program's texts are code page 850.
TEST(ReadIniTest, ReadsUtf8AndCodePage850Alike) {
  const std::string empordà = "EMPORDÀ, S.L."_cp850;
  struct Case {
    const char* name;
    std::string file;
    std::string expected;
    std::string warning;  // a text the one warning holds, or empty for none
  };
  const Case cases[] = {
      {"code page 850", "[Empresa]\nText1=" + empordà + "\n", empordà, ""},
      {"UTF-8", "[Empresa]\nText1=EMPORDÀ, S.L.\n", empordà, ""},
      {"UTF-8 with CR LF and a mark of its own", "\xEF\xBB\xBF[Empresa]\r\nText1=EMPORDÀ, S.L.\r\n",
       empordà, ""},
      {"plain ASCII", "[Empresa]\nText1=PORT\n", "PORT", ""},
      {"UTF-8 character without a place in code page 850", "[Empresa]\nText2=x\nText1=10 €\n",
       "10 ?", "line 3: the character U+20AC"},
      // Two code page 850 letters that happen to look like UTF-8 do not make the file UTF-8 when
      // the rest of it is not.
      {"code page 850 that is not UTF-8 as a whole",
       "[Empresa]\nText1=\xC3\xA9\nText2=" + empordà + "\n", "\xC3\xA9", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingAlerts alerts;
    dir.Write("Tova.ini", c.file);
    EXPECT_EQ(ReadIni(dir.file("Tova.ini"), "Empresa", "Text1"), c.expected);
    if (c.warning.empty()) {
      EXPECT_EQ(alerts.All(), "");
    } else {
      ASSERT_EQ(alerts.shown.size(), 1u) << alerts.All();
      EXPECT_NE(alerts.shown[0].find(dir.file("Tova.ini") + " " + c.warning), std::string::npos)
          << alerts.shown[0];
    }
    EXPECT_EQ(dir.Read("Tova.ini"), c.file);  // never rewritten
  }
}

// Whatever stands in a settings file's place, the reader neither waits nor takes the memory of
// the file's size; it says what it could not read.
TEST(ReadIniTest, OnlyRegularFilesOfASettingsFileSizeAreRead) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
  dir.Write("huge.ini", "[S]\nK=v\n");
  ASSERT_EQ(truncate(dir.file("huge.ini").c_str(), 200 << 20), 0);  // sparse: no disk used
  RecordingAlerts alerts;
  alarm(20);  // a FIFO opened for reading would wait for a writer forever
  EXPECT_EQ(ReadIni(dir.file("fifo.ini"), "S", "K"), "");
  EXPECT_EQ(ReadIni(dir.file("huge.ini"), "S", "K"), "");
  EXPECT_EQ(ReadIni(dir.file("huge.ini"), "S", "Other"), "");
  alarm(0);
  ASSERT_EQ(alerts.shown.size(), 2u) << alerts.All();  // once per start, not once per key
  EXPECT_EQ(alerts.shown[0], "cannot read " + dir.file("fifo.ini") +
                                 ": not a regular file; its settings are not used");
  EXPECT_NE(alerts.shown[1].find(dir.file("huge.ini") + " is larger than"), std::string::npos);
}

TEST(ReadIniTest, TakesProgramPathsWithBackslashesAndAnyCase) {
  TempDir dir;
  dir.Write("sessio/TOVATERM.INI", "[Sistema]\nSortida=PDF\n");
  EXPECT_EQ(ReadIni(dir.dir() + "SESSIO\\TovaTerm.ini", "Sistema", "Sortida"), "PDF");
}

}  // namespace
}  // namespace quarnell
