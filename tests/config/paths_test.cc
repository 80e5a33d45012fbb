#include "config/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::TempDir;

TEST(ApplyDirectoryRuleTest, AppendsBackslashOnlyWhenNeeded) {
  struct Case {
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"C:", "C:"},
      {"C:\\TMP", "C:\\TMP\\"},
      {"C:\\TMP\\", "C:\\TMP\\"},
      {"/srv/agency/", "/srv/agency/"},
      {"/srv/agency", "/srv/agency\\"},
      {"tmp", "tmp\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ApplyDirectoryRule(c.value), c.expected) << "value \"" << c.value << "\"";
  }
}

TEST(HostPathTest, ExistingPathOnlyChangesSeparators) {
  TempDir dir;
  dir.Write("DADES/VPropiet.dat", "x");
  EXPECT_EQ(HostPath(dir.dir() + "DADES\\VPropiet.dat"), dir.dir() + "DADES/VPropiet.dat");
}

TEST(HostPathTest, MatchesEachComponentWithoutRegardToCase) {
  TempDir dir;
  dir.Write("locale/Quarnell.lng", "x");
  dir.Write("Dades/VCOBROS.DAT", "x");
  struct Case {
    const char* written;
    const char* expected;  // relative to the scratch directory
  };
  const Case cases[] = {
      {"LOCALE\\QUARNELL.LNG", "locale/Quarnell.lng"},
      {"DADES\\VCobros.dat", "Dades/VCOBROS.DAT"},
      {"dades\\", "Dades/"},                              // trailing separator kept
      {"LOCALE\\NOU.LNG", "locale/NOU.LNG"},              // new file: the name as written
      {"MISSING\\Quarnell.lng", "MISSING/Quarnell.lng"},  // nothing below a missing directory
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HostPath(dir.dir() + c.written), dir.dir() + c.expected) << c.written;
  }
}

TEST(HostPathTest, ExactNameWinsAndAmbiguousNamesStayAsWritten) {
  TempDir dir;
  dir.Write("Forms/a.txt", "x");
  dir.Write("FORMS/a.txt", "x");
  dir.Write("forms/a.txt", "x");
  dir.Write("Ajuda/b.txt", "x");
  dir.Write("AJUDA/c.txt", "x");
  EXPECT_EQ(HostPath(dir.dir() + "FORMS\\A.TXT"), dir.dir() + "FORMS/a.txt");
  // "ajuda" matches two directories: no guess.
  EXPECT_EQ(HostPath(dir.dir() + "ajuda\\b.txt"), dir.dir() + "ajuda/b.txt");
}

TEST(HostPathTest, RelativePathsResolveAgainstTheCurrentDirectory) {
  TempDir dir;
  dir.Write("Dades/vpropiet.dat", "x");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::string resolved = HostPath("DADES\\VPropiet.dat");
  std::filesystem::current_path(previous);
  EXPECT_EQ(resolved, "Dades/vpropiet.dat");
  EXPECT_EQ(HostPath(""), "");
}

// A root such as QEBROOT=/srv/agency gets the program's "\" appended; a command shown to the
// administrator must still be one that can be pasted into a shell.
TEST(PathForCommandTest, GivesTheHostDirectoryAsTypedInAShell) {
  TempDir dir;
  dir.Write("My Agency/x", "x");
  dir.Write("agency/x", "x");
  const std::string base = dir.path().string();
  const struct {
    std::string program_path;
    std::string expected;
  } cases[] = {
      {base + "/agency\\", base + "/agency"},
      {base + "/agency/", base + "/agency"},
      {base + "/agency", base + "/agency"},
      {base + "/My Agency\\", "'" + base + "/My Agency'"},
      {base + "/it's\\", "'" + base + "/it'\\''s'"},
      {"/", "/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PathForCommand(c.program_path), c.expected) << c.program_path;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string relative = PathForCommand("agency\\");
  std::filesystem::current_path(previous);
  EXPECT_EQ(relative, base + "/agency");
}

}  // namespace
}  // namespace quarnell
