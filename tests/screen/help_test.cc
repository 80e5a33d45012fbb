#include "screen/help.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "config/attributes.h"
#include "config/scoped_environment.h"
#include "config/session.h"
#include "screen/key_codes.h"
#include "screen_fixture.h"
#include "text/language.h"

namespace quarnell::testing {
namespace {

// A help file of `count` screen-wide lines "<topic> line NN", framed by "|" in the first and last
// column (which the window's frame covers).
std::string HelpFile(const std::string& topic, int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    std::string line = "|" + topic + " line " + (i < 10 ? "0" : "") + std::to_string(i);
    line.resize(79, ' ');
    text += line + "|";
  }
  return text;
}

class HelpTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    environment_.Set("QEBROOT", dir_.dir());
    environment_.Set("QEBTMP", dir_.dir());
    environment_.Unset("WINDIR");
    environment_.Unset("SYSTEMROOT");
    StartConfiguration();
    SetLanguageCode("CAT");
    console_.SetWindowStackPath("");  // the session directory's, as in the program
    console_.memory().KeepScreensAtKeys(true);
    dir_.Write("AJUDA/QUARNELL.HLP", HelpFile("QUARNELL", 40));
    dir_.Write("AJUDA/GIRAPAN.HLP", HelpFile("GIRAPAN", 3));
  }

  // The first text line of the window (row 5) on the screen kept at key `i`.
  std::string FirstLineAtKey(size_t i) {
    const std::string& screen = console_.memory().screens_at_keys().at(i);
    size_t row5 = 0;
    for (int row = 1; row < 5; ++row) row5 = screen.find('\n', row5) + 1;
    return screen.substr(row5, screen.find("  ", row5) - row5);
  }

  ScopedEnvironment environment_;
};

TEST_F(HelpTest, PagingKeys) {
  console_.Write("the form");
  console_.PressKeys({kKeyPageDown, kKeyPageDown, kKeyDown, kKeyUp, kKeyHome, kKeyEnd, kKeyPageUp,
                      kKeyPageUp, kKeyUp, 'x', MouseClickCode(5, 5), kKeyEsc});
  ShowHelp(console_, "QUARNELL");
  const std::vector<std::string> expected = {
      "│QUARNELL line 01", "│QUARNELL line 18", "│QUARNELL line 24", "│QUARNELL line 24",
      "│QUARNELL line 23", "│QUARNELL line 01", "│QUARNELL line 24", "│QUARNELL line 07",
      "│QUARNELL line 01", "│QUARNELL line 01", "│QUARNELL line 01", "│QUARNELL line 01"};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(FirstLineAtKey(i), expected[i]) << i;
  // The last line of the window is the 17th of the page; the frame sits on rows 4 and 22.
  const std::string& first_screen = console_.memory().screens_at_keys()[0];
  EXPECT_NE(first_screen.find("│QUARNELL line 17"), std::string::npos);
  EXPECT_EQ(first_screen.find("│QUARNELL line 18"), std::string::npos);
  EXPECT_EQ(console_.Text(), "the form" + std::string(24, '\n'));
  EXPECT_EQ(CurrentAttributeSet(), 0);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(HelpTest, F1OpensTheGeneralHelpOnce) {
  SetAttribute("r");
  console_.PressKeys({kKeyPageDown, kKeyF1, kKeyF1, kKeyEsc, kKeyEsc});
  ShowHelp(console_, "quarnell");
  EXPECT_EQ(FirstLineAtKey(1), "│QUARNELL line 18");
  EXPECT_EQ(FirstLineAtKey(2), "│GIRAPAN line 01");
  EXPECT_EQ(FirstLineAtKey(3), "│GIRAPAN line 01");   // F1 on the general help: nothing
  EXPECT_EQ(FirstLineAtKey(4), "│QUARNELL line 18");  // back where it was
  EXPECT_EQ(console_.KeysLeft(), 0u);
  EXPECT_EQ(CurrentAttributeSet(), 2);
  EXPECT_EQ(console_.Text(), std::string(24, '\n'));
}

// The bottom line of the frame tells the keys, in the session's language; on the general help
// without F1, which does nothing there.
TEST_F(HelpTest, TheFrameTellsTheKeys) {
  SetLanguageCode("SPA");
  console_.PressKeys({kKeyF1, kKeyEsc, kKeyEsc});
  ShowHelp(console_, "QUARNELL");
  const std::vector<std::string>& screens = console_.memory().screens_at_keys();
  EXPECT_NE(screens[0].find("─ Re Pág, Av Pág: página   F1: ayuda general   Esc: cerrar ─"),
            std::string::npos)
      << screens[0];
  EXPECT_NE(screens[1].find("─ Re Pág, Av Pág: página   Esc: cerrar ─"), std::string::npos)
      << screens[1];
  EXPECT_EQ(screens[1].find("F1:"), std::string::npos);
}

TEST_F(HelpTest, MissingFileIsNamed) {
  console_.PressKeys({'x'});
  ShowHelp(console_, "NOPE");
  EXPECT_NE(console_.memory().screens_at_keys()[0].find("NO HI HA AJUDA: " + dir_.dir() +
                                                        "AJUDA/NOPE.HLP"),
            std::string::npos)
      << console_.memory().screens_at_keys()[0];
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_EQ(console_.Text(), std::string(24, '\n'));
}

TEST_F(HelpTest, LauncherGetsThePageAsOneArgument) {
  environment_.Set("WINDIR", "C:\\WINDOWS");
  environment_.Set("QEBEXE", dir_.dir());
  StartConfiguration();
  const std::string record = dir_.file("arguments");
  dir_.Write("LANZO", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " + record + "\n");
  chmod(dir_.file("LANZO").c_str(), 0755);
  ShowHelp(console_, "X; touch pwned");
  EXPECT_EQ(dir_.Read("arguments"), "[" + dir_.dir() + "AJUDA/X; touch pwned.HTM]\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("pwned")));
  EXPECT_EQ(console_.Suspends(), 1);
  EXPECT_EQ(console_.Resumes(), 1);

  std::filesystem::remove(dir_.file("LANZO"));
  console_.PressKeys({'x'});
  ShowHelp(console_, "QUARNELL");
  EXPECT_NE(
      console_.memory().screens_at_keys()[0].find("NO ES POT ENGEGAR " + dir_.dir() + "LANZO"),
      std::string::npos);
}

}  // namespace
}  // namespace quarnell::testing
