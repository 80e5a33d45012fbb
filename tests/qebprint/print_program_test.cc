#include "tools/qebprint/print_program.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/session.h"
#include "print/print_output.h"
#include "print/sha256.h"
#include "sample_statements.h"
#include "support/temp_dir.h"
#include "text/cp850.h"
#include "tools/qebprint/owner_split.h"

namespace quarnell {
namespace {

using testing::SampleAmount;
using testing::SampleReport;
using testing::SampleUnitIncome;
using testing::TempDir;
using testing::WriteSampleReport;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// The text with every run of blanks made one blank, so that checks need not count columns.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

// The first line of `text` that holds `needle`, empty when none does.
std::string LineWith(const std::string& text, const std::string& needle) {
  size_t at = text.find(needle);
  if (at == std::string::npos) return "";
  size_t start = text.rfind('\n', at);
  start = start == std::string::npos ? 0 : start + 1;
  return text.substr(start, text.find('\n', at) - start);
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// `path` is `directory` + "informe-YYYYMMDD-HHMMSS" (maybe "-N") + `extension`.
bool IsDefaultName(const std::string& path, const std::string& directory,
                   const std::string& extension) {
  const std::string prefix = directory + "informe-";
  if (path.rfind(prefix, 0) != 0 || path.size() < prefix.size() + 15 + extension.size() ||
      path.substr(path.size() - extension.size()) != extension) {
    return false;
  }
  std::string stamp = path.substr(prefix.size(), path.size() - prefix.size() - extension.size());
  for (size_t i = 0; i < stamp.size(); ++i) {
    bool dash = i == 8 || i == 15;
    if (dash ? stamp[i] != '-' : (stamp[i] < '0' || stamp[i] > '9')) return false;
  }
  return true;
}

std::string Source(const std::string& relative) {
  return std::string(QEB_SOURCE_DIR) + "/" + relative;
}

class PrintProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QEBTMP", temp_.dir().c_str(), 1);
    StartConfiguration();
    ResetPrintStateForTesting();
    std::filesystem::create_directory(bin());
  }

  std::string bin() const { return temp_.file("bin"); }
  std::string spool() const { return temp_.file("qebprint.tmp"); }

  // Runs the built program with the session directory of this test. PATH starts with the
  // directory of the fake lp and less; with `only_fakes` it holds nothing else.
  Result RunProgram(const std::string& arguments, bool only_fakes = false) const {
    std::string path = only_fakes ? bin() : bin() + ":/usr/bin:/bin";
    std::string command = "cd " + temp_.dir() + " && env QEBTMP=" + temp_.dir() + " PATH=" + path +
                          " " + QEB_BIN_DIR + "/qebprint " + arguments + " >" +
                          temp_.file("out.log") + " 2>" + temp_.file("err.log");
    int status = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = temp_.Read("out.log");
    result.err = temp_.Read("err.log");
    return result;
  }

  // A shell script in the PATH directory of the program runs.
  void FakeCommand(const std::string& name, const std::string& body) const {
    std::string path = bin() + "/" + name;
    temp_.Write("bin/" + name, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
  }

  // The text of one page of a PDF as pdftotext lays it out.
  std::string PdfPage(const std::string& pdf, int page) const {
    std::string text = temp_.file("page.txt");
    std::string command = "pdftotext -layout -f " + std::to_string(page) + " -l " +
                          std::to_string(page) + " '" + pdf + "' '" + text + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return TempDir::ReadFile(text);
  }

  int PdfPages(const std::string& pdf) const {
    std::string info = temp_.file("info.txt");
    std::system(("pdfinfo '" + pdf + "' > '" + info + "'").c_str());
    std::string text = Squeezed(TempDir::ReadFile(info));
    size_t at = text.find("Pages: ");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 7);
  }

  TempDir temp_;
};

// A small report that shows every rendering rule on a few lines.
void WriteSmallReport() {
  OpenPrintOutput("TXT");
  NewPage(66);
  PrintDirective("@e");
  SetJustification("C");
  PrintAt(48, "RESUM DE L'EXERCICI", 2);
  SetJustification("D");
  PrintAt(85, "PAGINA    1", 2);
  PrintAt(1, "COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.2)"_cp850, 0);
  PrintAt(54, "NÚRIA FERRER I COMAS"_cp850, 1);
  SetJustification("A");
  PrintAt(1, "A DATA 31 DE DESEMBRE DE 2025", 0);
  SetJustification("E");
  PrintAt(54, "C/ DE LA PAU, 14", 2);
  PrintDirective("u");
  PrintAt(1, "INGRESSOS :", 1);
  PrintDirective("u");
  PrintAt(14, "Lloguer, local 1", 0);
  SetJustification("D");
  PrintAt(69, "     1.234'56 ", 1);
  PrintAt(14, "Lloguer, habitatge 2", 0);
  SetJustification("D");
  PrintAt(69, "       850'00-", 1);
  PrintAt(69, "-------------", 1);
  SetJustification("N 68 \\.\\");
  PrintAt(14, "TOTAL INGRESSOS", 0);
  SetJustification("D");
  PrintAt(69, "       384'56 ", 1);
  PrintAt(0, "", 1);
  PrintAt(1, "Caixa: \xc9\xcd\xcd\xbb \x9b \xf8",
          1);  // box corner, lines, ø and ° from code page 850
  // The fiscal layout on a condensed page: 136 columns.
  NewPage(66);
  PrintDirective("@e");
  PrintDirective("q");
  SetJustification("D");
  PrintAt(94, " INGRESSOS", 0);
  PrintAt(105, "  DESPESES", 0);
  PrintAt(116, " DEDUCCIÓ"_cp850, 0);
  PrintAt(126, " RETENCIÓ"_cp850, 1);
  PrintAt(94, std::string(41, '-'), 1);
  PrintAt(1, "Lloguer, habitatge 2", 0);
  SetJustification("D");
  PrintAt(42, "HAB-2", 0);
  PrintAt(54, "01/03/19", 0);
  PrintAt(65, "HAB. 60", 0);
  PrintAt(73, "**sense ref.cadas.**", 0);
  PrintAt(94, "   8.500'00", 0);
  PrintAt(105, "     850'00", 0);
  PrintAt(116, " 4.250'00-", 0);
  PrintAt(126, "   425'00-", 0);
  PrintAt(0, "", 1);
  // A short page that overflows onto the next by itself.
  NewPage(3);
  for (int i = 1; i <= 4; ++i) PrintAt(1, "line " + std::to_string(i), 1);
  ClosePrintOutput();
}

TEST_F(PrintProgramTest, TextRenditionMatchesTheExpectedFile) {
  WriteSmallReport();
  std::string before = temp_.Read("qebprint.tmp");
  Result result = RunProgram("--output " + temp_.file("small.txt"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(temp_.Read("small.txt"), TempDir::ReadFile(Source("tests/qebprint/data/small.txt")));
  EXPECT_EQ(result.out, temp_.file("small.txt") + "\n");
  EXPECT_EQ(temp_.Read("qebprint.tmp"), before) << "the spool file is never modified";
}

TEST_F(PrintProgramTest, StatementsRenderToPdfPageByPage) {
  // Enough units for a continuation page per property.
  SampleReport report;
  report.properties = 2;
  report.units_per_property = 50;
  ASSERT_EQ(WriteSampleReport(report), 4);
  std::string pdf = temp_.file("statements.pdf");
  Result result = RunProgram("--device PDF:" + pdf);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, pdf + "\n");
  ASSERT_EQ(PdfPages(pdf), 4);

  std::string first = PdfPage(pdf, 1);
  std::string squeezed = Squeezed(first);
  EXPECT_NE(squeezed.find("COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.1) NÚRIA FERRER I COMAS 1"),
            std::string::npos)
      << first;
  EXPECT_NE(squeezed.find("PAGINA 1\n"), std::string::npos);
  EXPECT_NE(squeezed.find("A DATA 31 DE DESEMBRE DE 2025 08001 BARCELONA"), std::string::npos);
  EXPECT_NE(squeezed.find("\nINGRESSOS :\n"), std::string::npos);
  // The amounts stand in one column: each ends at the same place on its line.
  std::string line1 = LineWith(first, "Lloguer, local 1 ");
  std::string line2 = LineWith(first, "Lloguer, local 2 ");
  std::string amount1 = Trimmed(SampleAmount(SampleUnitIncome(1, 1)));
  std::string amount2 = Trimmed(SampleAmount(SampleUnitIncome(1, 2)));
  ASSERT_NE(line1.find(amount1), std::string::npos) << line1;
  ASSERT_NE(line2.find(amount2), std::string::npos) << line2;
  EXPECT_EQ(line1.find(amount1) + amount1.size(), line2.find(amount2) + amount2.size());

  std::string second = PdfPage(pdf, 2);
  EXPECT_NE(Squeezed(second).find("1.1 31/12/25 NÚRIA FERRER I COMAS PAGINA 2\n"),
            std::string::npos)
      << second;
  int64_t total = 0;
  for (int unit = 1; unit <= 50; ++unit) total += SampleUnitIncome(1, unit);
  std::string total_line = Squeezed(LineWith(second, "TOTAL INGRESSOS"));
  EXPECT_NE(total_line.find("TOTAL INGRESSOS ..........."), std::string::npos) << total_line;
  EXPECT_NE(total_line.find(". " + Trimmed(SampleAmount(total))), std::string::npos) << total_line;
  EXPECT_NE(second.find("DESPESES :"), std::string::npos);
  EXPECT_NE(second.find("RESULTAT"), std::string::npos);

  std::string third = PdfPage(pdf, 3);
  EXPECT_NE(third.find("(1.2)"), std::string::npos);
  EXPECT_NE(Squeezed(third).find("PAGINA 1\n"), std::string::npos);
  EXPECT_EQ(third.find("(1.1)"), std::string::npos);
}

TEST_F(PrintProgramTest, CondensedFiscalPagesKeepAllColumnsOnTheSheet) {
  SampleReport report;
  report.fiscal = true;
  report.properties = 1;
  report.units_per_property = 5;
  WriteSampleReport(report);
  std::string pdf = temp_.file("fiscal.pdf");
  ASSERT_EQ(RunProgram("--device PDF:" + pdf).status, 0);
  std::string page = PdfPage(pdf, 1);
  EXPECT_NE(Squeezed(page).find("INGRESSOS DESPESES DEDUCCIÓ RETENCIÓ"), std::string::npos) << page;
  // The last column, the retention, ends at column 135: its "-" sign must be on the page.
  std::string retention = SampleAmount(-SampleUnitIncome(1, 1) / 20).substr(4);
  EXPECT_NE(page.find("**sense ref.cadas.**"), std::string::npos);
  EXPECT_NE(page.find(retention.substr(retention.find_first_not_of(' '))), std::string::npos)
      << page;
}

TEST_F(PrintProgramTest, EveryDeviceDelivers) {
  FakeCommand("lp", "printf '%s\\n' \"$@\" > " + temp_.file("lp.args") +
                        "\nfor a; do last=$a; done\ncp \"$last\" " + temp_.file("lp.pdf") + "\n");
  FakeCommand("less", "printf '%s\\n' \"$@\" > " + temp_.file("less.args") + "\ncat \"$2\" > " +
                          temp_.file("shown.txt") + "\n");
  struct Case {
    std::string device;     // written into the spool's device line
    std::string arguments;  // on the command line
    std::string written;    // the file whose path is printed ("*.pdf", "*.txt": a default
                            // name in the session directory), empty for none
    std::string check;      // what else must hold: "pdf", "txt", "lp", "lp-queue", "less"
  };
  const std::vector<Case> cases = {
      {"PDF", "", "*.pdf", "pdf"},
      {"", "", "*.pdf", "pdf"},
      {"pdf:" + temp_.file("named.pdf"), "", temp_.file("named.pdf"), "pdf"},
      {"TXT", "", "*.txt", "txt"},
      {"Txt:" + temp_.file("named.txt"), "", temp_.file("named.txt"), "txt"},
      {"PDF", "--device TXT --output " + temp_.file("over.txt"), temp_.file("over.txt"), "txt"},
      {"LP", "", "", "lp"},
      {"LP:oficina", "", "", "lp-queue"},
      {"PANTALLA", "", "", "less"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device + " " + c.arguments);
    SampleReport report;
    report.device = c.device;
    report.properties = 1;
    WriteSampleReport(report);
    Result result = RunProgram(c.arguments);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("1 page from"), std::string::npos) << result.err;
    std::string path = result.out.empty() ? "" : result.out.substr(0, result.out.size() - 1);
    if (c.written.empty()) {
      EXPECT_EQ(result.out, "");
    } else if (c.written[0] == '*') {
      EXPECT_TRUE(IsDefaultName(path, temp_.dir(), c.written.substr(1))) << path;
    } else {
      EXPECT_EQ(path, c.written);
    }
    if (c.check == "pdf") {
      EXPECT_NE(PdfPage(path, 1).find("COMPTE D'EXPLOTACIÓ"), std::string::npos);
    } else if (c.check == "txt") {
      EXPECT_NE(TempDir::ReadFile(path).find("COMPTE D'EXPLOTACIÓ"), std::string::npos);
    } else if (c.check == "lp" || c.check == "lp-queue") {
      std::string args = temp_.Read("lp.args");
      EXPECT_EQ(args.find("-d\noficina\n") != std::string::npos, c.check == "lp-queue") << args;
      EXPECT_NE(PdfPage(temp_.file("lp.pdf"), 1).find("COMPTE D'EXPLOTACIÓ"), std::string::npos);
      // What lp was given is gone: the queue has its own copy.
      std::string printed = args.substr(args.rfind('\n', args.size() - 2) + 1);
      printed.pop_back();
      EXPECT_FALSE(std::filesystem::exists(printed)) << printed;
    } else if (c.check == "less") {
      EXPECT_EQ(temp_.Read("less.args").substr(0, 3), "-R\n");
      EXPECT_NE(temp_.Read("shown.txt").find("COMPTE D'EXPLOTACIÓ"), std::string::npos);
      EXPECT_NE(temp_.Read("shown.txt").find("\x1b[0;4mINGRESSOS :\x1b[0m"), std::string::npos)
          << "underlined on the screen";
    }
    std::filesystem::remove(temp_.file("lp.args"));
  }
  // Nothing half-written is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

TEST_F(PrintProgramTest, WithoutLpThePdfIsKept) {
  SampleReport report;
  report.device = "LP";
  WriteSampleReport(report);
  Result result = RunProgram("", true);  // the PATH holds no lp
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("lp cannot be run"), std::string::npos) << result.err;
  std::string path = result.out.substr(0, result.out.size() - 1);
  EXPECT_TRUE(IsDefaultName(path, temp_.dir(), ".pdf")) << path;
  EXPECT_NE(result.err.find("kept in " + path), std::string::npos);
  EXPECT_EQ(PdfPages(path), 2);

  FakeCommand("lp", "echo 'lp: no such queue' >&2\nexit 1\n");
  result = RunProgram("", true);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("lp failed with status 1"), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::exists(result.out.substr(0, result.out.size() - 1)));
}

TEST_F(PrintProgramTest, DamagedSpoolFilesGiveMessagesNotCrashes) {
  struct Case {
    std::string name;
    std::optional<std::string> spool;  // nullopt: no spool file at all
    int status;
    std::string message;
  };
  std::string garbage;
  for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  const std::vector<Case> cases = {
      {"missing", std::nullopt, 1, "cannot read " + spool() + ": No such file or directory"},
      {"empty", "", 1, "nothing to print"},
      {"device only", "DEVICEPDF\r\n", 1, "nothing to print"},
      {"no device line", "PAGE 66 \r\n 1 ,hello, 1 \r\n", 0, "no device line"},
      {"damaged lines",
       "DEVICEPDF\r\nPAGE 66 \r\nhello\r\n 1 ,ok, 1 \r\n x ,bad, 1 \r\n 1 ,bad,-4 \r\n", 3,
       "3 damaged lines of the spool file skipped (the first is line 3)"},
      // A line far longer than any report writes is damage, however long it is.
      {"huge line", "DEVICEPDF\r\n 1 ," + std::string(1 << 20, 'x') + ", 1 \r\n 1 ,ok, 1 \r\n", 3,
       "1 damaged line of the spool file skipped (the first is line 2)"},
      {"binary", garbage, 1, "damaged line"},
      // Cut at the end of a line: every line reads, but an owner's statements never end.
      {"cut inside an owner",
       "DEVICEPDF\r\n*QEB-OWNER 0001 ES11111111H       PUIG*JOSEP\r\nPAGE 66 \r\n 1 ,U, 1 \r\n"
       "*QEB-OWNER-END 0001 1\r\n*QEB-OWNER 0002 ES22222222J       SOLER*ANNA\r\nPAGE 66 \r\n",
       3,
       "the statements of 1 owner have no end mark (the first: owner 0002): the spool file was "
       "cut short, and the report is not complete"},
      {"unknown device", "DEVICELPT1\r\n 1 ,x, 1 \r\n", 1,
       "the spool file names the device 'LPT1', which qebprint does not know"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(spool());
    if (c.spool) temp_.Write("qebprint.tmp", *c.spool);
    Result result = RunProgram("");
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    if (c.spool) {
      EXPECT_EQ(temp_.Read("qebprint.tmp"), *c.spool);
    }
  }
}

TEST_F(PrintProgramTest, CommandLine) {
  std::string out = temp_.file("out.txt");
  std::FILE* out_file = std::fopen(out.c_str(), "w+");
  std::FILE* err_file = std::tmpfile();
  EXPECT_EQ(RunPrintProgram({"qebprint", "--help"}, out_file, err_file), 0);
  EXPECT_EQ(RunPrintProgram({"qebprint", "--colour"}, out_file, err_file), 2);
  EXPECT_EQ(RunPrintProgram({"qebprint", "--input"}, out_file, err_file), 2);
  std::fclose(out_file);
  std::fclose(err_file);
  EXPECT_NE(temp_.Read("out.txt").find("Usage: qebprint [--input SPOOL]"), std::string::npos);

  // --input reads another spool file; --output=PATH is accepted too.
  temp_.Write("other.spool", "DEVICETXT\r\n 1 ,other, 1 \r\n");
  Result result =
      RunProgram("--input=" + temp_.file("other.spool") + " --output=" + temp_.file("other.txt"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(temp_.Read("other.txt"), "other\n");
}

TEST_F(PrintProgramTest, AnUnwritableOutputFailsWithoutLeavingAnything) {
  temp_.Write("qebprint.tmp", "DEVICEPDF:" + temp_.dir() + "missing/out.pdf\r\n 1 ,x, 1 \r\n");
  Result result = RunProgram("");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("cannot create a file in " + temp_.dir() +
                            "missing: No such file or directory; nothing was written"),
            std::string::npos)
      << result.err;
}

// Inputs that are no spool file and devices that do not exist are refused before anything is
// written; none of them may hang or crash the program.
TEST_F(PrintProgramTest, BadInputsAndDevicesAreRefused) {
  WriteSmallReport();
  ASSERT_EQ(mkfifo(temp_.file("pipe").c_str(), 0600), 0);
  std::filesystem::create_directory(temp_.file("folder"));
  struct Case {
    std::string arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"--input " + temp_.file("folder"),
       "cannot read " + temp_.file("folder") + ": Is a directory"},
      {"--input " + temp_.file("pipe"),
       "cannot read " + temp_.file("pipe") + ": not a regular file"},
      {"--input /dev/zero", "cannot read /dev/zero: not a regular file"},
      {"--input " + temp_.file("none"), "cannot read " + temp_.file("none") + ": No such file"},
      {"--device FOO", "--device FOO: not a device (PDF, PDF:<path>, TXT"},
      {"--device LPT1:x", "--device LPT1:x: not a device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    Result result = RunProgram(c.arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
    EXPECT_EQ(entry.path().filename().string().find("informe"), std::string::npos) << entry.path();
  }
}

// Reports never go through a link planted under their name, and the hidden half reports of a
// killed qebprint go at the next start.
TEST_F(PrintProgramTest, ReportsAreWrittenFreshAndLeftoversRemoved) {
  WriteSmallReport();
  temp_.Write("precious.txt", "precious");
  std::filesystem::create_symlink(temp_.file("precious.txt"), temp_.file("linked.txt"));
  const std::string leftover = ".informe-20250101-101010.pdf.Ab12Cd";
  temp_.Write(leftover, "%PDF-1.5 half");
  struct timeval old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimes(temp_.file(leftover).c_str(), old_times);
  Result result = RunProgram("--output " + temp_.file("linked.txt"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(temp_.Read("precious.txt"), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(temp_.file("linked.txt")));
  EXPECT_EQ(temp_.Read("linked.txt"), TempDir::ReadFile(Source("tests/qebprint/data/small.txt")));
  EXPECT_FALSE(std::filesystem::exists(temp_.file(leftover)));
}

TEST(ParseDeviceTest, NamesAndArguments) {
  struct Case {
    std::string name;
    DeviceKind kind;
    std::string argument;
    bool recognised;
  };
  const std::vector<Case> cases = {
      {"", DeviceKind::kPdf, "", true},
      {"  pdf ", DeviceKind::kPdf, "", true},
      {"PDF:C:\\Informes\\a.pdf", DeviceKind::kPdf, "C:\\Informes\\a.pdf", true},
      {"txt:/tmp/Out.TXT", DeviceKind::kText, "/tmp/Out.TXT", true},
      {"Pantalla", DeviceKind::kScreen, "", true},
      {"lp", DeviceKind::kPrinter, "", true},
      {"LP:Oficina-2", DeviceKind::kPrinter, "Oficina-2", true},
      {"LPT1", DeviceKind::kPdf, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Device device = ParseDevice(c.name);
    EXPECT_EQ(device.kind, c.kind);
    EXPECT_EQ(device.argument, c.argument);
    EXPECT_EQ(device.recognised, c.recognised);
  }
}

TEST(SplitFileNameTest, NamesAreSafeAsciiOfAtMostAHundredBytes) {
  const RunMark run{"20260115-093012", "20251231", 'F', "0001", "9999"};
  struct Case {
    std::string code;
    std::string name;  // code page 850, as stored
    bool with_run;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"0001", "PUIG I FERRER*JOSEP", true, "0001-PUIG_I_FERRER_JOSEP-2025-F.pdf"},
      {"0002", "FERNÀNDEZ L'ÓPEZ*NÚRIA"_cp850, true, "0002-FERNANDEZ_L_OPEZ_NURIA-2025-F.pdf"},
      {"0003", "GÜELL, S.L."_cp850, false, "0003-GUELL_S_L.pdf"},
      {"0004", "../../etc/passwd", true, "0004-ETC_PASSWD-2025-F.pdf"},
      {"0005", ".*.", true, "0005-2025-F.pdf"},
      {"0006", "soler*anna", true, "0006-SOLER_ANNA-2025-F.pdf"},
  };
  for (const Case& c : cases) {
    OwnerMark owner{c.code, "", c.name, -1};
    EXPECT_EQ(SplitFileName(owner, c.with_run ? std::optional<RunMark>(run) : std::nullopt),
              c.expected)
        << c.name;
  }
  const std::string long_name =
      SplitFileName(OwnerMark{"0007", "", std::string(300, 'A'), -1}, run);
  EXPECT_LE(long_name.size() + 2, kMaxSplitFileName);  // room left for "-2"
  EXPECT_TRUE(long_name.starts_with("0007-AAAA")) << long_name;
  EXPECT_TRUE(long_name.ends_with("A-2025-F.pdf")) << long_name;
}

// A report of four owners as the statement run marks it: owner 1 with two pages, owner 2 with
// none, and owner 3 twice (a spool put together by hand) under a name that folds like owner 1's.
std::string MarkedSpool(bool with_marks = true) {
  auto page = [](const std::string& text) {
    return "PAGE 66 \r\n*@e\r\n 1 ," + text + ", 1 \r\n 1 ,SEGONA L\xD6NIA, 1 \r\n";
  };
  auto owner = [&](const std::string& code, const std::string& name, int properties,
                   const std::string& pages) {
    return "*QEB-OWNER " + code + " ES11111111H       " + name + "\r\n" + pages +
           "*QEB-OWNER-END " + code + " " + std::to_string(properties) + "\r\n";
  };
  std::string spool = "DEVICEPDF\r\n*QEB-RUN 20260115-093012 20251231 N 0001 0003\r\n";
  if (!with_marks) return spool + page("U") + page("DOS");
  spool += owner("0001", "PUIG*JOSEP", 1, page("PRIMERA DEL U") + page("SEGONA DEL U"));
  spool += owner("0002", "SOLER*ANNA", 0, "");
  spool += owner("0003", "PUIG*JOSEP", 1, page("DEL TRES"));
  spool += owner("0003", "PUIG*JOSEP", 2, page("DEL TRES, ALTRA VEGADA"));
  return spool;
}

TEST_F(PrintProgramTest, SplitGivesEachOwnerADocumentAndAnIndex) {
  temp_.Write("marked.tmp", MarkedSpool());
  Result result = RunProgram("--input marked.tmp --split out");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "out/index.csv\n");
  EXPECT_NE(result.err.find("4 pages from marked.tmp split into 3 files for 4 owners in out"),
            std::string::npos)
      << result.err;

  struct Row {
    std::string file;
    int pages;
    std::string text;
  };
  const std::vector<Row> files = {{"0001-PUIG_JOSEP-2025-N.pdf", 2, "SEGONA DEL U"},
                                  {"0003-PUIG_JOSEP-2025-N.pdf", 1, "DEL TRES"},
                                  {"0003-PUIG_JOSEP-2025-N-2.pdf", 1, "DEL TRES, ALTRA VEGADA"}};
  std::vector<std::string> sha;
  for (const Row& row : files) {
    const std::string path = temp_.file("out/" + row.file);
    EXPECT_EQ(PdfPages(path), row.pages) << row.file;
    EXPECT_NE(PdfPage(path, row.pages).find(row.text), std::string::npos) << row.file;
    EXPECT_NE(PdfPage(path, row.pages).find("SEGONA LÍNIA"), std::string::npos) << row.file;
    std::string digest, problem;
    ASSERT_TRUE(Sha256OfFile(path, &digest, &problem)) << problem;
    sha.push_back(digest);
  }
  EXPECT_EQ(temp_.Read("out/index.csv"),
            "owner,name,tax_id,properties,pages,file,sha256,note\n"
            "1,JOSEP PUIG,ES11111111H,1,2,0001-PUIG_JOSEP-2025-N.pdf," +
                sha[0] +
                ",\n"
                "2,ANNA SOLER,ES11111111H,0,0,,,nothing to print: no file\n"
                "3,JOSEP PUIG,ES11111111H,1,1,0003-PUIG_JOSEP-2025-N.pdf," +
                sha[1] +
                ",\n"
                "3,JOSEP PUIG,ES11111111H,2,1,0003-PUIG_JOSEP-2025-N-2.pdf," +
                sha[2] + ",\n");
  // The directory holds the split and nothing else: no hidden directory is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.file("out")), {}), 4);

  // Printed again from the same spool, every document is the same to the byte: the run's mark
  // dates them.
  ASSERT_EQ(RunProgram("--input marked.tmp --split again").status, 0);
  for (const Row& row : files) {
    EXPECT_EQ(temp_.Read("again/" + row.file), temp_.Read("out/" + row.file)) << row.file;
  }
  ASSERT_EQ(RunProgram("--input marked.tmp --device PDF:a.pdf").status, 0);
  ASSERT_EQ(RunProgram("--input marked.tmp --device PDF:b.pdf").status, 0);
  EXPECT_EQ(temp_.Read("a.pdf"), temp_.Read("b.pdf"));
  EXPECT_NE(temp_.Read("a.pdf").find("/CreationDate (20260115093012"), std::string::npos);
}

TEST_F(PrintProgramTest, SplitOfASpoolWithoutOwnerMarksAndOfBadDirectories) {
  temp_.Write("plain.tmp", MarkedSpool(false));
  Result result = RunProgram("--input plain.tmp --split out");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("the spool file marks no owners"), std::string::npos) << result.err;
  EXPECT_EQ(PdfPages(temp_.file("out/informe-2025-N.pdf")), 2);
  EXPECT_NE(temp_.Read("out/index.csv").find(",,,,2,informe-2025-N.pdf,"), std::string::npos);

  // A file where the directory should be, a directory that cannot be written: nothing is made.
  temp_.Write("blocked", "a file");
  temp_.Write("marked.tmp", MarkedSpool());
  result = RunProgram("--input marked.tmp --split blocked/out");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("nothing was written"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
  std::filesystem::create_directory(temp_.file("locked"));
  chmod(temp_.file("locked").c_str(), 0555);
  result = RunProgram("--input marked.tmp --split locked");
  if (geteuid() != 0) {  // root writes anywhere
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(std::filesystem::is_empty(temp_.file("locked")));
  }
  chmod(temp_.file("locked").c_str(), 0755);

  // A damaged owner mark is said, and the report is not to be trusted as complete.
  temp_.Write("damaged.tmp", MarkedSpool() + "*QEB-OWNER-END 0003\r\n");
  result = RunProgram("--input damaged.tmp --split damaged");
  EXPECT_EQ(result.status, 3);
  EXPECT_NE(result.err.find("1 damaged mark of the spool file ignored (the first is line "),
            std::string::npos)
      << result.err;

  for (const char* arguments :
       {"--split out --device PDF", "--split out --output x.pdf", "--split"}) {
    EXPECT_EQ(RunProgram(std::string("--input marked.tmp ") + arguments).status, 2) << arguments;
  }
}

}  // namespace
}  // namespace quarnell
