#include "print/print_output.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/error_stop.h"
#include "config/session.h"
#include "print/fresh_file.h"
#include "print/spool_guard.h"
#include "print/spool_writer.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::FakeClock;
using testing::TempDir;

struct Stopped : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class PrintOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePrintOutput();  // a test that stopped half-way may have left it open
    UseSessionDirectory(temp_.dir());
    ResetPrintStateForTesting();
    SetErrorStopHandler([](std::string_view what) { throw Stopped(std::string(what)); });
  }
  void TearDown() override { SetErrorStopHandler(nullptr); }

  static void UseSessionDirectory(const std::string& directory) {
    setenv("QEBTMP", directory.c_str(), 1);
    StartConfiguration();
  }

  std::string Spool() const { return temp_.Read("qebprint.tmp"); }

  // The names of the hidden files in the session directory: unfinished reports.
  std::vector<std::string> HiddenFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
      std::string name = entry.path().filename().string();
      if (name[0] == '.') names.push_back(name);
    }
    return names;
  }

  // Runs `report` between OpenPrintOutput("PDF") + NewPage(66) and ClosePrintOutput and returns
  // the spool lines after the page line, each without its CR LF.
  template <typename Report>
  std::vector<std::string> LinesOf(Report report) {
    OpenPrintOutput("PDF");
    NewPage(66);
    report();
    ClosePrintOutput();
    std::string spool = Spool();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < spool.size()) {
      size_t end = spool.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
      if (end == std::string::npos) break;
      lines.push_back(spool.substr(start, end - start));
      start = end + 2;
    }
    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "DEVICEPDF");
    EXPECT_EQ(lines[1], "PAGE 66 ");
    lines.erase(lines.begin(), lines.begin() + 2);
    return lines;
  }

  TempDir temp_;
};

TEST_F(PrintOutputTest, WritesACompleteReportByteForByte) {
  OpenPrintOutput("TXT:/tmp/out.txt");
  NewPage(66);
  PrintDirective("@e");
  SetJustification("D");
  PrintAt(85, "PAGINA    1", 2);
  SetJustification("N 68 \\.\\");
  PrintAt(14, "Total, despeses", 0);
  PrintAt(69, "-------------", 1);
  ClosePrintOutput();
  EXPECT_EQ(Spool(),
            "DEVICETXT:/tmp/out.txt\r\n"
            "PAGE 66 \r\n"
            "*@e\r\n"
            "JUSD\r\n"
            " 85 ,PAGINA    1, 2 \r\n"
            "JUSN 68 \\.\\\r\n"
            " 14 ,Total, despeses, 0 \r\n"
            " 69 ,-------------, 1 \r\n");
  EXPECT_EQ(PageLength(), 66);
  EXPECT_EQ(LinesOnPage(), 3);
}

TEST_F(PrintOutputTest, TextLines) {
  struct Case {
    int16_t column;
    std::string text;
    int16_t advance;
    std::string line;
    int16_t lines_after;
  };
  const std::vector<Case> cases = {
      {69, "-------------", 1, " 69 ,-------------, 1 ", 1},
      {1, "a\tb", 0, " 1 ,a b, 0 ", 0},
      {1, std::string("x\xff", 2), 2, " 1 ,x , 2 ", 2},
      {1, std::string("\r\n\x7f\x00|", 5), 0, " 1 ,    |, 0 ", 0},
      // Code page 850 letters and box characters are kept.
      {3, "\x90\xa2\xc9\xcd", 0, " 3 ,\x90\xa2\xc9\xcd, 0 ", 0},
      {-1, "", -1, "-1 ,,-1 ", -1},
      {0, "", 7, " 0 ,, 7 ", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ResetPrintStateForTesting();
    std::vector<std::string> lines = LinesOf([&] { PrintAt(c.column, c.text, c.advance); });
    EXPECT_EQ(lines, std::vector<std::string>{c.line});
    EXPECT_EQ(LinesOnPage(), c.lines_after);
  }
}

TEST_F(PrintOutputTest, JustificationCodesAreNormalised) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"D", "JUSD"},
      {" r ", "JUSD"},
      {"b", "JUSA"},
      {"A", "JUSA"},
      {"c", "JUSC"},
      {"x", "JUSE"},
      {"", "JUSE"},
      {"   ", "JUSE"},
      {"N 68 \\.\\", "JUSN 68 \\.\\"},
      {"N3\\A\\", "JUSN 3 \\A\\"},
      {"n-5.7 \\*\\ tail", "JUSN 5 \\*\\"},
      {"N 12 \\.", "JUSN 12 \\."},
      {"N", "JUSN 0 "},
      {"N 68", "JUSN 68 "},
      {"N 999999 \\.\\", "JUSN 32767 \\.\\"},
  };
  for (const auto& [code, line] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(LinesOf([&] { SetJustification(code); }), std::vector<std::string>{line});
  }
}

TEST_F(PrintOutputTest, DirectivesAreWrittenUnchangedButStayOnOneLine) {
  EXPECT_EQ(LinesOf([] {
              PrintDirective("q");
              PrintDirective("\x1b(s16.6H");
              PrintDirective("a\r\nPAGE 1 ");
            }),
            (std::vector<std::string>{"*q", "*\x1b(s16.6H", "*a  PAGE 1 "}));
}

TEST_F(PrintOutputTest, PageOverflowWritesAPageLineFirst) {
  std::vector<std::string> lines = LinesOf([] {
    PrintAt(0, "", 65);
    PrintAt(1, "last", 1);
    EXPECT_EQ(LinesOnPage(), 66);
    PrintAt(1, "next page", 2);
  });
  EXPECT_EQ(lines, (std::vector<std::string>{" 0 ,, 65 ", " 1 ,last, 1 ", "PAGE 66 ",
                                             " 1 ,next page, 2 "}));
  EXPECT_EQ(PageLength(), 66);
  EXPECT_EQ(LinesOnPage(), 2);
}

TEST_F(PrintOutputTest, WithoutNewPageEveryTextGetsItsOwnPageLine) {
  OpenPrintOutput("");
  PrintAt(1, "a", 1);
  PrintAt(1, "b", 0);
  ClosePrintOutput();
  EXPECT_EQ(Spool(), "DEVICE\r\nPAGE 0 \r\n 1 ,a, 1 \r\nPAGE 0 \r\n 1 ,b, 0 \r\n");
}

TEST_F(PrintOutputTest, AnEarlierSpoolFileIsReplaced) {
  temp_.Write("qebprint.tmp", std::string(10000, 'x'));
  OpenPrintOutput("LP");
  ClosePrintOutput();
  EXPECT_EQ(Spool(), "DEVICELP\r\n");
}

TEST_F(PrintOutputTest, FailuresStopTheProgramNamingTheFile) {
  // A session directory that does not exist.
  UseSessionDirectory(temp_.dir() + "missing/");
  try {
    OpenPrintOutput("PDF");
    FAIL() << "no error stop";
  } catch (const Stopped& stop) {
    EXPECT_NE(std::string(stop.what()).find(temp_.dir() + "missing/qebprint.tmp"),
              std::string::npos)
        << stop.what();
  }

  // A full disk, as a file size limit makes it: the report fails part way, the earlier spool file
  // stays whole and no half report is left beside it.
  UseSessionDirectory(temp_.dir());
  temp_.Write("qebprint.tmp", "DEVICEPDF\r\n");
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit small = saved;
  small.rlim_cur = 1 << 16;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  std::string message;
  try {
    OpenPrintOutput("PDF");
    NewPage(66);
    for (int i = 0; i < 5000; ++i) PrintAt(1, "a line of a long report", 1);
    ClosePrintOutput();
  } catch (const Stopped& stop) {
    message = stop.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_NE(message.find("qebprint.tmp"), std::string::npos) << message;
  EXPECT_NE(message.find("File too large"), std::string::npos) << message;
  EXPECT_EQ(Spool(), "DEVICEPDF\r\n");
  EXPECT_EQ(HiddenFiles(), std::vector<std::string>{});

  // Printing with no report open.
  EXPECT_THROW(PrintAt(1, "x", 1), Stopped);
}

// A link under the spool file's name is replaced by the report; what it points to is never touched.
TEST_F(PrintOutputTest, ALinkUnderTheSpoolNameIsReplacedNotFollowed) {
  temp_.Write("precious.txt", "precious");
  std::filesystem::create_symlink(temp_.file("precious.txt"), temp_.file("qebprint.tmp"));
  OpenPrintOutput("PDF");
  ClosePrintOutput();
  EXPECT_EQ(temp_.Read("precious.txt"), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(temp_.file("qebprint.tmp")));
  EXPECT_EQ(Spool(), "DEVICEPDF\r\n");
}

// Until the report is closed the spool file keeps the last complete report.
TEST_F(PrintOutputTest, TheSpoolFileChangesOnlyWhenTheReportIsComplete) {
  temp_.Write("qebprint.tmp", "DEVICEPDF\r\nPAGE 66 \r\n 1 ,old, 1 \r\n");
  OpenPrintOutput("TXT");
  NewPage(66);
  for (int i = 0; i < 3000; ++i) PrintAt(1, "new", 1);
  EXPECT_EQ(Spool(), "DEVICEPDF\r\nPAGE 66 \r\n 1 ,old, 1 \r\n");
  ASSERT_EQ(HiddenFiles().size(), 1u);
  ClosePrintOutput();
  EXPECT_TRUE(Spool().starts_with("DEVICETXT\r\n"));
  EXPECT_EQ(HiddenFiles(), std::vector<std::string>{});
  struct stat info;
  ASSERT_EQ(stat(temp_.file("qebprint.tmp").c_str(), &info), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "an ordinary file, not a private one";
}

// Another run holding the session directory: this one waits, then stops without writing; the
// leftovers of killed runs go when the guard is taken.
TEST_F(PrintOutputTest, OneRunAtATimeWritesTheSpoolFile) {
  ReleaseSpoolFile();
  temp_.Write("qebprint.tmp", "DEVICEPDF\r\n");
  SpoolGuard other;
  std::string problem;
  ASSERT_TRUE(other.Claim(temp_.file("qebprint.tmp-lck"), 0, &problem)) << problem;
  {
    FakeClock clock;
    EXPECT_FALSE(ClaimSpoolFile(1500, &problem));
    EXPECT_EQ(clock.slept(), 1500);
    EXPECT_NE(problem.find("another statement run is using " + temp_.dir() + " (process " +
                           std::to_string(getpid()) + ")"),
              std::string::npos)
        << problem;
    EXPECT_THROW(OpenPrintOutput("TXT"), Stopped);
    EXPECT_EQ(clock.slept(), 1500 + kSpoolWaitMilliseconds);
  }
  EXPECT_EQ(Spool(), "DEVICEPDF\r\n");
  EXPECT_EQ(HiddenFiles(), std::vector<std::string>{});

  // A killed run's half report, older than this start; a fresh one of a live writer.
  temp_.Write(".qebprint.tmp.Ab12Cd", "DEVICEPDF\r\nPAGE 6");
  struct timeval old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimes(temp_.file(".qebprint.tmp.Ab12Cd").c_str(), old_times);
  FreshFile live;
  ASSERT_TRUE(live.Create(temp_.file("qebprint.tmp"), &problem));
  utimes(live.path().c_str(), old_times);
  other.Release();
  EXPECT_TRUE(ClaimSpoolFile(0, &problem)) << problem;
  EXPECT_EQ(HiddenFiles(), std::vector<std::string>{live.path().substr(temp_.dir().size())});
  EXPECT_FALSE(other.Claim(temp_.file("qebprint.tmp-lck"), 0, &problem));
  ReleaseSpoolFile();
  EXPECT_TRUE(other.Claim(temp_.file("qebprint.tmp-lck"), 0, &problem));
}

// A session directory the user may not write to is a matter of permissions: saying "No such file"
// (of the lock file that could not be made) sent the administrator looking for a missing file.
TEST(SpoolGuardTest, AClosedSessionDirectoryIsReportedAsSuch) {
  TempDir temp;
  const std::filesystem::path closed = temp.path() / "session";
  std::filesystem::create_directory(closed);
  std::filesystem::permissions(temp.path(), std::filesystem::perms::all);
  std::filesystem::permissions(
      closed, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  // Permissions do not bind the superuser: the claim is tried by an ordinary user.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(100);
    SpoolGuard guard;
    std::string problem;
    const bool claimed = guard.Claim((closed / "qebprint.tmp-lck").string(), 0, &problem);
    (void)!write(pipe_ends[1], problem.data(), problem.size());
    _exit(claimed ? 1 : 0);
  }
  close(pipe_ends[1]);
  std::string problem;
  char buffer[512];
  for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) problem.append(buffer, n);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(problem.find("Permission denied"), std::string::npos) << problem;
  EXPECT_NE(problem.find("must exist and be writable by this user (check QEBTMP)"),
            std::string::npos)
      << problem;
  std::filesystem::permissions(closed, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace quarnell
