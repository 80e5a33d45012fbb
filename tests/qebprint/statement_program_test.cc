// The statement program's own spool files, on the demo agency, through qebprint: every line of
// each page of the text rendition (checked against an expected file elsewhere) must stand on the
// same page of the PDF, and the headings, page numbers and totals must be where a reader expects.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::TempDir;

std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && (out.back() == ' ' || out.back() == '\n')) continue;
    if (c == '\n' && !out.empty() && out.back() == ' ') out.pop_back();
    out += c;
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

class StatementProgramTest : public ::testing::Test {
 protected:
  void Run(const std::string& command) {
    std::string line = "cd " + temp_.dir() + " && " + command + " >>" + temp_.file("log") + " 2>&1";
    int status = std::system(line.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n"
                                                               << temp_.Read("log");
  }

  // The demo agency's statements in `layout`, as a PDF and as text, split into pages.
  void PrintDemo(const std::string& layout) {
    const std::string bin = QEB_BIN_DIR;
    const std::string root = temp_.dir() + "root/";
    Run(bin + "/qebdata demo " + root);
    Run("cd " + root + " && env QEBROOT=" + root + " QEBTMP=" + temp_.dir() + " QEBEXE=" + bin +
        "/ " + bin + "/quarnell --batch --date 311225 --from 1 --to 9999 --layout " + layout +
        " --no-print");
    const std::string env = "env QEBTMP=" + temp_.dir() + " " + bin + "/qebprint --device ";
    Run(env + "PDF:" + temp_.file("demo.pdf"));
    Run(env + "TXT:" + temp_.file("demo.txt"));
    text_pages_ = Split(temp_.Read("demo.txt"), '\f');
    for (size_t page = 1; page <= text_pages_.size(); ++page) {
      std::string name = "page-" + std::to_string(page) + ".txt";
      Run("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
          temp_.file("demo.pdf") + " " + temp_.file(name));
      pdf_pages_.push_back(Squeezed(temp_.Read(name)));
    }
    Run("pdfinfo " + temp_.file("demo.pdf") + " | grep -q '^Pages: *" +
        std::to_string(text_pages_.size()) + "$'");
  }

  void ExpectPagesAgree() {
    ASSERT_GT(text_pages_.size(), 1u);
    int first_pages = 0;
    for (size_t page = 0; page < text_pages_.size(); ++page) {
      SCOPED_TRACE("page " + std::to_string(page + 1));
      const std::string& pdf = pdf_pages_[page];
      for (const std::string& line : Split(Squeezed(text_pages_[page]), '\n')) {
        if (line.empty()) continue;
        EXPECT_NE(pdf.find(line), std::string::npos) << "missing: " << line << "\n" << pdf;
      }
      // Every page carries its number; the first page of a property its dated heading (in the
      // owner's language).
      EXPECT_NE(pdf.find("PAGINA "), std::string::npos);
      if (pdf.find("PAGINA 1\n") != std::string::npos) {
        ++first_pages;
        EXPECT_NE(pdf.find(" 2025"), std::string::npos);
      }
    }
    EXPECT_GT(first_pages, 1);
    EXPECT_NE(pdf_pages_[0].find("PAGINA 1\n"), std::string::npos);
    EXPECT_NE(pdf_pages_[0].find("COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.1)"), std::string::npos)
        << pdf_pages_[0];
    EXPECT_NE(pdf_pages_[0].find("A DATA 31 DE DESEMBRE DEL 2025"), std::string::npos);
  }

  TempDir temp_;
  std::vector<std::string> text_pages_;
  std::vector<std::string> pdf_pages_;
};

TEST_F(StatementProgramTest, AccountLayoutOfTheDemoAgency) {
  PrintDemo("N");
  ExpectPagesAgree();
  // Income first, dot leaders before the totals.
  const std::string& first = pdf_pages_[0];
  EXPECT_LT(first.find("INGRESSOS :"), first.find("DESPESES :"));
  EXPECT_NE(first.find("TOTAL INGRESSOS ........"), std::string::npos) << first;
  EXPECT_NE(first.find("TOTAL DESPESES ........"), std::string::npos) << first;
}

TEST_F(StatementProgramTest, FiscalLayoutOfTheDemoAgency) {
  PrintDemo("F");
  ExpectPagesAgree();
  EXPECT_NE(pdf_pages_[0].find("INGRESSOS DESPESES DEDUCCIÓ RETENCIÓ"), std::string::npos)
      << pdf_pages_[0];
}

}  // namespace
}  // namespace quarnell
