#include "config/ini.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace quarnell {
namespace {

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

TEST(ReadIniTest, TakesProgramPathsWithBackslashesAndAnyCase) {
  TempDir dir;
  dir.Write("sessio/TOVATERM.INI", "[Sistema]\nSortida=PDF\n");
  EXPECT_EQ(ReadIni(dir.dir() + "SESSIO\\TovaTerm.ini", "Sistema", "Sortida"), "PDF");
}

}  // namespace
}  // namespace quarnell
