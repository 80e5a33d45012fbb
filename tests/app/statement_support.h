// Test support for the statement: a scratch installation built with the data tool, in-process
// statement runs, and a reader that places each text of a spool file on its page and line.
#ifndef QUARNELL_TESTS_APP_STATEMENT_SUPPORT_H_
#define QUARNELL_TESTS_APP_STATEMENT_SUPPORT_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_driver.h"
#include "app/statement_run.h"
#include "config/scoped_environment.h"
#include "print/print_output.h"
#include "records/record_files.h"
#include "support/temp_dir.h"
#include "text/cp850.h"
#include "text/dates.h"
#include "text/folding.h"
#include "text/language.h"
#include "tools/qebdata/data_tool.h"

namespace quarnell::testing {

// A text line of a spool file, placed as the print program places it.
struct PlacedText {
  int page = 0;  // 1-based over the whole spool
  int line = 0;  // lines advanced on the page before the text
  int column = 0;
  std::string text;  // UTF-8
};

struct Spool {
  std::vector<std::string> lines;  // every spool line in UTF-8, without its CR LF
  std::vector<PlacedText> texts;
  int pages = 0;

  // The first text that, without trailing blanks, equals `text` (UTF-8); nullptr when none.
  const PlacedText* Find(std::string_view text) const {
    for (const PlacedText& placed : texts) {
      std::string_view t = placed.text;
      t = t.substr(0, t.find_last_not_of(' ') + 1);
      if (t == text) return &placed;
    }
    return nullptr;
  }
  // Every spool line joined with "\n", for comparing whole reports.
  std::string Text() const {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
  }
};

inline Spool ReadSpool(std::string_view cp850_bytes) {
  Spool spool;
  int line = 0;
  std::string_view rest = cp850_bytes;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view raw = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    std::string text = Cp850ToUtf8(raw);
    spool.lines.push_back(text);
    if (raw.starts_with("PAGE")) {
      ++spool.pages;
      line = 0;
    } else if (!raw.empty() && (raw[0] == ' ' || raw[0] == '-')) {
      size_t first = raw.find(',');
      size_t last = raw.rfind(',');
      PlacedText placed;
      placed.page = spool.pages;
      placed.line = line;
      placed.column = std::stoi(std::string(raw.substr(0, first)));
      placed.text = Cp850ToUtf8(raw.substr(first + 1, last - first - 1));
      spool.texts.push_back(placed);
      line += std::stoi(std::string(raw.substr(last + 1)));
    }
  }
  return spool;
}

// A scratch installation: the data tool lays it out; tests import their records as CSV and run
// the statement in this process with the installation's environment.
class TestAgency {
 public:
  // `init_options` follow "qebdata init ROOT" (a server, for instance).
  explicit TestAgency(const std::vector<std::string>& init_options = {}) {
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    std::vector<std::string> init = {"init",     root(),     "--agency-name", "AGENCIA DE PROVES",
                                     "--tax-id", "B00000000"};
    init.insert(init.end(), init_options.begin(), init_options.end());
    EXPECT_EQ(RunDataTool(init, DataToolContext{install, &out, &err}), 0) << err.str();
    env_.Set("QEBROOT", root());
    env_.Set("QEBTMP", root() + "tmp/");
    env_.Set("QEBEXE", root() + "bin/");
  }

  std::string root() const { return dir_.dir(); }
  const TempDir& dir() const { return dir_; }

  // Adds the rows of `csv` (UTF-8, with its header) to record file `base`.
  void Import(std::string_view base, std::string_view csv) {
    const std::string name = "csv/" + std::string(base) + ".csv";
    dir_.Write(name, csv);
    std::ostringstream out, err;
    const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
    ASSERT_EQ(RunDataTool({"import", root(), std::string(base), dir_.file(name)},
                          DataToolContext{install, &out, &err}),
              0)
        << err.str();
  }

  // Writes a file of the installation; `utf8` is converted to code page 850.
  void WriteCp850(std::string_view name, std::string_view utf8) {
    dir_.Write(name, Utf8ToCp850(utf8).value());
  }

  // Starts up as the batch program does, runs the statement and releases the files. Returns the
  // spool file's bytes (code page 850).
  std::string RunBytes(std::string_view date_text, std::string_view from, std::string_view to,
                       std::string_view option) {
    const std::filesystem::path here = std::filesystem::current_path();
    SetLanguageCode("");
    StartUpWithoutScreen();
    StatementRun(ParseDate(date_text), DottedToPacked(from), DottedToPacked(to), option, "PDF");
    int16_t status = 0;
    ResetRecordFiles(status);
    std::filesystem::current_path(here);
    return dir_.Read("tmp/qebprint.tmp");
  }
  Spool Run(std::string_view date_text, std::string_view from, std::string_view to,
            std::string_view option) {
    return ReadSpool(RunBytes(date_text, from, to, option));
  }

 private:
  TempDir dir_;
  ScopedEnvironment env_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_APP_STATEMENT_SUPPORT_H_
