// The statement program's outputs for sending: the demo agency split into one PDF per owner with
// its index, the archived record of the run and its reprint, the figures for the tax advisers,
// all through the built programs as an agency runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/csv.h"
#include "config/scoped_environment.h"
#include "print/sha256.h"
#include "quarnell/quarnell_program.h"
#include "support/temp_dir.h"
#include "text/cp850.h"
#include "tools/qebdata/data_tool.h"

namespace quarnell {
namespace {

using testing::Outcome;
using testing::RunQuarnellProgram;
using testing::ScopedEnvironment;
using testing::TempDir;

using Rows = std::vector<std::vector<std::string>>;

// The rows of a CSV text after its header.
Rows CsvRows(const std::string& text) {
  Rows rows;
  CsvReader reader(text);
  std::vector<std::string> fields;
  while (reader.ReadRow(&fields)) rows.push_back(fields);
  EXPECT_FALSE(reader.error().has_value());
  if (!rows.empty()) rows.erase(rows.begin());
  return rows;
}

// "  2.820,84-" as printed -> "-2820.84".
std::string Plain(std::string printed) {
  std::string out;
  bool negative = false;
  for (char c : printed) {
    if (c == '-') negative = true;
    if (c >= '0' && c <= '9') out.push_back(c);
    if (c == ',') out.push_back('.');
  }
  return negative ? "-" + out : out;
}

struct SpoolText {
  int column;
  std::string text;
  int advance;
};

// The text lines of a spool file (code page 850, CR LF), and its directives at column -1.
std::vector<SpoolText> SpoolTexts(const std::string& spool) {
  std::vector<SpoolText> texts;
  std::istringstream in(spool);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("*")) texts.push_back({-1, line.substr(1), 0});
    const size_t first = line.find(','), last = line.rfind(',');
    if (line.empty() || (line[0] != ' ' && line[0] != '-') || first == last) continue;
    texts.push_back({std::atoi(line.c_str()), line.substr(first + 1, last - first - 1),
                     std::atoi(line.c_str() + last + 1)});
  }
  return texts;
}

// The fiscal layout's unit lines as printed: income, allocated expenses, deduction, retention.
std::vector<std::vector<std::string>> FiscalFigures(const std::string& spool) {
  std::vector<std::vector<std::string>> figures;
  std::vector<std::string> row(4);
  for (const SpoolText& text : SpoolTexts(spool)) {
    const int at = text.column == 94    ? 0
                   : text.column == 105 ? 1
                   : text.column == 116 ? 2
                   : text.column == 126 ? 3
                                        : -1;
    if (at >= 0 && text.text.find_first_of("0123456789") != std::string::npos) {
      row[at] = Plain(text.text);
    }
    if (text.advance > 0) {
      if (!row[3].empty()) figures.push_back(row);  // only unit lines print a retention
      row.assign(4, "");
    }
  }
  return figures;
}

// The account layout's unit lines: the amounts under the first underlined title of each property
// ("INGRESSOS :" in the owner's language) before their total's rule.
std::vector<std::string> AccountIncome(const std::string& spool) {
  std::vector<std::string> amounts;
  bool first_title = false, title = false, income = false;
  for (const SpoolText& text : SpoolTexts(spool)) {
    if (text.column == 85 && text.text.ends_with(" 1")) first_title = true;  // page 1
    if (title && text.column == 1) {
      income = first_title;
      first_title = false;
    }
    title = text.column == -1 && text.text == "u" && !title;
    if (text.column == 69 && text.text == "-------------") income = false;
    if (income && text.column == 69) amounts.push_back(Plain(text.text));
  }
  return amounts;
}

class SplitArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    ASSERT_EQ(RunDataTool({"demo", root()}, DataToolContext{install, &out, &err}), 0) << err.str();
    env_.Set("QEBROOT", root());
    env_.Set("QEBTMP", root() + "tmp/");
    env_.Set("QEBEXE", std::string(QEB_BIN_DIR) + "/");
  }

  void TearDown() override {
    // Archived runs are read-only; the scratch directory must still go.
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(agency_.path(), ignored)) {
      chmod(entry.path().c_str(), 0755);
    }
  }

  std::string root() const { return agency_.dir() + "root/"; }

  Outcome Run(std::vector<std::string> args) const { return RunQuarnellProgram(scratch_, args); }

  // Runs a shell command; its standard output.
  std::string Shell(const std::string& command) const {
    const std::string output = scratch_.file("shell.out");
    EXPECT_EQ(std::system((command + " > '" + output + "'").c_str()), 0) << command;
    return TempDir::ReadFile(output);
  }

  // The pages of a PDF as pdftotext lays them out.
  std::vector<std::string> PdfPages(const std::string& pdf) const {
    std::vector<std::string> pages;
    std::string text = Shell("pdftotext -layout '" + pdf + "' -");
    size_t start = 0;
    for (size_t end; (end = text.find('\f', start)) != std::string::npos; start = end + 1) {
      pages.push_back(text.substr(start, end - start));
    }
    return pages;
  }

  TempDir agency_;
  TempDir scratch_;
  ScopedEnvironment env_;
};

TEST_F(SplitArchiveTest, TheDemoAgencySplitArchivedAndReprinted) {
  const std::string split = agency_.file("out");
  const std::string figures = agency_.file("figures.csv");
  Outcome outcome = Run({"--batch", "--date", "311225", "--from", "1", "--to", "9999", "--layout",
                         "F", "--split", split, "--archive", "--figures", figures});
  ASSERT_EQ(outcome.exit, 0) << outcome.err;
  const std::string spool = root() + "tmp/qebprint.tmp";
  const std::string archive = root() + "ARXIU/2025/";
  // The print program names the index, the run its spool file and then its archive.
  ASSERT_TRUE(outcome.out.starts_with(split + "/index.csv\n" + spool + "\n" + archive))
      << outcome.out;
  const size_t archive_line = outcome.out.find(archive);
  const std::string archived =
      outcome.out.substr(archive_line, outcome.out.size() - archive_line - 1);

  // One file per owner with statements; the index's pages and digests are the files'.
  const Rows index = CsvRows(agency_.Read("out/index.csv"));
  ASSERT_EQ(index.size(), 10u);
  std::vector<std::string> owner_pages;
  int files = 0;
  for (const auto& row : index) {
    SCOPED_TRACE(row[0]);
    if (row[5].empty()) {
      EXPECT_EQ(row[4], "0");
      EXPECT_EQ(row[7], "nothing to print: no file");
      continue;
    }
    ++files;
    const std::string path = split + "/" + row[5];
    EXPECT_TRUE(row[5].starts_with(std::string(4 - row[0].size(), '0') + row[0] + "-"));
    EXPECT_TRUE(row[5].ends_with("-2025-F.pdf"));
    std::string digest, problem;
    ASSERT_TRUE(Sha256OfFile(path, &digest, &problem)) << problem;
    EXPECT_EQ(row[6], digest);
    const std::vector<std::string> pages = PdfPages(path);
    EXPECT_EQ(row[4], std::to_string(pages.size()));
    owner_pages.insert(owner_pages.end(), pages.begin(), pages.end());
  }
  EXPECT_EQ(files, 9);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(split), {}), files + 1);

  // The owners' pages, one after the other, are the pages of the whole report.
  Shell(std::string(QEB_BIN_DIR) + "/qebprint --input '" + spool +
        "' --device PDF:" + agency_.file("whole.pdf"));
  EXPECT_EQ(owner_pages, PdfPages(agency_.file("whole.pdf")));

  // The archive holds the run whole and checks itself; its spool reprints to the same bytes.
  EXPECT_EQ(TempDir::ReadFile(archived + "/qebprint.tmp"), TempDir::ReadFile(spool));
  EXPECT_EQ(TempDir::ReadFile(archived + "/figures.csv"), agency_.Read("figures.csv"));
  EXPECT_EQ(TempDir::ReadFile(archived + "/index.csv"), agency_.Read("out/index.csv"));
  Shell("cd '" + archived + "' && sha256sum --quiet -c run.txt 2>/dev/null");  // status 0
  const std::string record = TempDir::ReadFile(archived + "/run.txt");
  EXPECT_NE(record.find("arguments: --batch --date 311225 --from 1 --to 9999 --layout F --split "),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("program: quarnell "), std::string::npos);
  struct stat info;
  ASSERT_EQ(stat((archived + "/qebprint.tmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  Shell(std::string(QEB_BIN_DIR) + "/qebprint --input '" + archived + "/qebprint.tmp' --split " +
        agency_.file("reprint") + " 2>/dev/null");
  for (const auto& row : index) {
    if (!row[5].empty()) {
      EXPECT_EQ(agency_.Read("reprint/" + row[5]), TempDir::ReadFile(archived + "/" + row[5]))
          << row[5];
    }
  }
  Shell(std::string(QEB_BIN_DIR) + "/qebprint --input '" + archived +
        "/qebprint.tmp' --device PDF:" + agency_.file("whole-again.pdf") + " 2>/dev/null");
  EXPECT_EQ(agency_.Read("whole-again.pdf"), agency_.Read("whole.pdf"));

  // The figures are those printed, to the cent.
  const Rows figure_rows = CsvRows(agency_.Read("figures.csv"));
  std::vector<std::vector<std::string>> amounts;
  for (const auto& row : figure_rows) {
    ASSERT_EQ(row.size(), 14u);
    amounts.push_back({row[10], row[11], row[12], row[13]});
  }
  EXPECT_EQ(amounts, FiscalFigures(TempDir::ReadFile(spool)));
  EXPECT_GT(amounts.size(), 10u);

  // The archive's list, and an owner's files in it.
  Outcome list = Run({"--archive-list"});
  EXPECT_EQ(list.exit, 0);
  EXPECT_NE(list.out.find("owners 0001-9999  layout F  9 documents  " + archived + "\n"),
            std::string::npos)
      << list.out;
  Outcome owner = Run({"--archive-list", "--owner", "12"});
  EXPECT_NE(owner.out.find(archived + "  nothing to print: no file"), std::string::npos)
      << owner.out;
  owner = Run({"--archive-list", "--owner", "0003"});
  EXPECT_NE(owner.out.find(archived + "/" + index[2][5] + "  " + index[2][6]), std::string::npos)
      << owner.out;
}

TEST_F(SplitArchiveTest, AccountFiguresAndOutputsThatCannotBeWritten) {
  Outcome outcome = Run({"--batch", "--date", "311225", "--from", "1", "--to", "9999", "--layout",
                         "N", "--no-print", "--figures", agency_.file("account.csv")});
  ASSERT_EQ(outcome.exit, 0) << outcome.err;
  std::vector<std::string> income;
  for (const auto& row : CsvRows(agency_.Read("account.csv"))) {
    EXPECT_EQ(row[8], "account");
    EXPECT_EQ(row[11] + row[12] + row[13], "");
    income.push_back(row[10]);
  }
  EXPECT_EQ(income, AccountIncome(agency_.Read("root/tmp/qebprint.tmp")));
  EXPECT_GT(income.size(), 10u);

  // Archived without a split of its own, the run still keeps one PDF per owner; the output names
  // the whole report's PDF, the spool file and the archive, never the archive's unfinished name.
  outcome = Run(
      {"--batch", "--date", "311225", "--from", "1", "--to", "9999", "--layout", "N", "--archive"});
  ASSERT_EQ(outcome.exit, 0) << outcome.err;
  std::istringstream out(outcome.out);
  std::vector<std::string> printed;
  for (std::string line; std::getline(out, line);) printed.push_back(line);
  ASSERT_EQ(printed.size(), 3u) << outcome.out;
  EXPECT_TRUE(printed[0].ends_with(".pdf")) << printed[0];
  EXPECT_TRUE(printed[2].starts_with(root() + "ARXIU/2025/")) << printed[2];
  EXPECT_EQ(CsvRows(TempDir::ReadFile(printed[2] + "/index.csv")).size(), 10u);
  Shell("cd '" + printed[2] + "' && sha256sum --quiet -c run.txt 2>/dev/null");

  // A directory that cannot be made stops the run before it writes anything.
  agency_.Write("blocked", "a file in the way");
  const std::string spool_before = agency_.Read("root/tmp/qebprint.tmp");
  outcome = Run({"--batch", "--date", "311225", "--from", "1", "--to", "9999", "--layout", "N",
                 "--split", agency_.file("blocked/out")});
  EXPECT_EQ(outcome.exit, 1);
  EXPECT_NE(outcome.err.find("cannot create the directory " + agency_.file("blocked/out")),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(agency_.Read("root/tmp/qebprint.tmp"), spool_before);
  outcome = Run({"--batch", "--date", "311225", "--from", "1", "--to", "9999", "--layout", "N",
                 "--figures", agency_.file("blocked/figures.csv")});
  EXPECT_EQ(outcome.exit, 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root() + "ARXIU/2025"), {}), 1);

  for (const char* option : {"--split", "--archive"}) {
    std::vector<std::string> args = {"--batch", "--date",   "311225", "--from",     "1",   "--to",
                                     "9",       "--layout", "N",      "--no-print", option};
    if (std::string(option) == "--split") args.push_back(agency_.file("out"));
    outcome = Run(args);
    EXPECT_EQ(outcome.exit, 2) << option;
    EXPECT_NE(outcome.err.find(std::string(option) + ": needs the print program"),
              std::string::npos)
        << outcome.err;
  }
}

}  // namespace
}  // namespace quarnell
