#include "app/batch.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/check_command.h"
#include "app/interactive.h"
#include "app/rental_reader.h"
#include "app/run_archive.h"
#include "app/run_delivery.h"
#include "app/run_driver.h"
#include "app/statement.h"
#include "app/statement_run.h"
#include "config/paths.h"
#include "config/session.h"
#include "print/print_output.h"
#include "records/record_files.h"
#include "screen/terminal_console.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/masks.h"

namespace quarnell {
namespace {

// Dates are packed with four digits of year.
constexpr int64_t kLastYear = 9999;

constexpr char kUsage[] =
    "usage: quarnell\n"
    "       quarnell --batch [--date DATE] --from CODE --to CODE --layout N|F [--no-print] "
    "[--stats]\n"
    "                [--split DIR] [--archive] [--figures FILE.csv]\n"
    "       quarnell --check --date DATE --from CODE --to CODE --layout N|F [--format text|csv] "
    "[--stats]\n"
    "       quarnell [--split DIR] [--figures FILE.csv] [--no-archive]   (the parameter screen)\n"
    "       quarnell --archive-list [--owner CODE]\n"
    "       quarnell --help | --version\n";

constexpr char kHelp[] =
    "Prints the yearly operating statement of every property of the selected owners.\n"
    "Without arguments, in a terminal: the parameter screen (statement date, owners, layout; F1\n"
    "help, F4 the owners, Esc leaves), a run per confirmation, the print program after each.\n"
    "\n"
    "  --batch           run one statement without the screen\n"
    "  --check           list what the statement of these arguments would skip or treat\n"
    "                    differently in the data, one finding a line; prints nothing\n"
    "  --format text|csv --check: findings as lines (text) or as CSV for a spreadsheet\n"
    "  --date DATE       statement date: day, month, year (31122025, 31/12/2025, 31.12.25);\n"
    "                    without it, 31 December of the year before the working date\n"
    "  --from CODE       first owner code (1 to 9999)\n"
    "  --to CODE         last owner code (1 to 9999, not below --from)\n"
    "  --layout N|F      N: the account layout; F: the fiscal layout\n"
    "  --no-print        leave the spool file for later; do not start the print program\n"
    "  --stats           owners, records read, time and peak memory on standard error at the end\n"
    "  --split DIR       one PDF per owner in DIR (made when missing) instead of the device, and\n"
    "                    DIR/index.csv: owner, name, tax id, properties, pages, file, SHA-256\n"
    "  --archive         keep the run under ARXIU/<year>/<date-time>-<from>-<to>-<layout>/ in\n"
    "                    the installation: spool file, one PDF per owner, index.csv, figures,\n"
    "                    run.txt (arguments, version, SHA-256 of every file); its path follows\n"
    "                    the spool file's on standard output\n"
    "  --figures FILE    the figures of every printed unit line as CSV for the tax advisers\n"
    "  --archive-list    the archived runs, newest first; with --owner CODE that owner's files\n"
    "                    and their SHA-256\n"
    "Without --batch the parameter screen runs; it archives every completed run unless\n"
    "started with --no-archive, and takes --split and --figures as above.\n"
    "\n"
    "Every --batch run first checks the data of the run and, when it finds anything, says so in\n"
    "one line on standard error (the run goes on); --check lists the findings.\n"
    "\n"
    "Environment: QEBROOT the installation root (record files in DADES/), QEBTMP the session\n"
    "directory (Sessio.ini, TovaTerm.ini with the working date, the spool file qebprint.tmp;\n"
    "the installation's tmp/ when unset), QEBEXE the directory of the print program qebprint.\n"
    "The spool file's path is printed on standard output.\n"
    "Exit status: 0 done, 1 a failure of the system or of the print program (message on standard\n"
    "error), 2 bad arguments (nothing written), 3 (--check only) the data of the run has\n"
    "findings. One run at a time uses a session directory: a second one waits 2 seconds, then\n"
    "stops with status 1.\n";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The packed owner code of `text`, or nullopt with *error naming `option`.
std::optional<std::string> OwnerCode(const std::string& option, const std::string& text,
                                     std::string* error) {
  if (IsAllChar(text, ' ')) {
    *error = option + ": an owner code is required";
    return std::nullopt;
  }
  std::string packed;
  if (!ValidateDottedCode(text)) packed = DottedToPacked(text);
  if (packed.size() != 2) {
    *error = option + ": " + Quoted(text) + " is not an owner code (1 to 9999)";
    return std::nullopt;
  }
  return packed;
}

// Says on standard error which statement date the run took when it was not typed in full.
void SayStatementDate(const Date& statement_date, std::ostream& err) {
  const int32_t date = DateNumber(statement_date);
  err << "quarnell: statement date " << ZeroPad(date % 100, 2) << "/"
      << ZeroPad(date / 100 % 100, 2) << "/" << ZeroPad(date / 10000, 4) << std::endl;
}

// A path the user gave, anchored before the root becomes the current directory.
std::string Absolute(const std::string& path) {
  return path.empty() ? path : std::filesystem::absolute(path).lexically_normal().string();
}

int RunBatch(BatchRequest request, std::ostream& out, std::ostream& err) {
  DeliveryOptions outputs;
  outputs.print = request.print;
  outputs.split_directory = Absolute(request.split_directory);
  outputs.archive = request.archive;
  outputs.figures_path = Absolute(request.figures_path);
  AnchorDirectories();

  const auto started = std::chrono::steady_clock::now();
  // A slip of the keyboard in a two-digit year shows here rather than in a year of statements.
  if (request.short_year) SayStatementDate(request.statement_date, err);
  StartUpWithoutScreen();
  TakeDefaultStatementDate(&request, err);

  // The spool file is this run's until it ends: another run on the same session directory would
  // mix its report into this one's, or hand this one's to its print program.
  std::string problem;
  if (!ClaimSpoolFile(kSpoolWaitMilliseconds, &problem)) {
    err << "quarnell: " << problem << std::endl;
    return kExitFailure;
  }
  RunDelivery delivery(outputs);
  if (!delivery.Prepare(&problem)) {
    err << "quarnell: " << problem << "; nothing was written" << std::endl;
    return kExitFailure;
  }
  const auto check_started = std::chrono::steady_clock::now();
  const CheckTotals check = ReportRunCheck(request, err);
  const double check_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - check_started).count();

  int64_t owners = 0;
  const bool show_progress = isatty(STDERR_FILENO) == 1;
  SetStatementProgress([&](const std::string& code, const std::string& name) {
    ++owners;
    if (show_progress) err << "quarnell: owner " << code << "  " << Cp850ToUtf8(name) << std::endl;
    return true;
  });
  ResetStatementRecordsRead();
  StatementRun(request.statement_date, request.owner_from, request.owner_to, request.layout,
               Session().output_device);
  SetStatementProgress(nullptr);
  if (owners == 0) {
    // Without this line a new installation's first run said only that the print program found
    // nothing to print.
    err << "quarnell: no statement: no owner from " << std::stoi(UnpackDigits(request.owner_from))
        << " to " << std::stoi(UnpackDigits(request.owner_to))
        << " with state 0 in VPropiet (qebdata import brings in the agency's owners)" << std::endl;
  }

  int16_t status = 0;
  ResetRecordFiles(status);
  const std::string spool = HostPath(SpoolFileName());

  if (request.stats) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    err << "quarnell: " << Counted(owners, "owner", "owners") << ", "
        << Counted(StatementRecordsRead(), "record", "records") << " read in "
        << seconds - check_seconds << " s, peak memory " << PeakResidentKib() << " KiB"
        << std::endl;
    err << "quarnell: the check before the run: " << Counted(check.findings, "finding", "findings")
        << ", " << Counted(check.records_read, "record", "records") << " read in " << check_seconds
        << " s" << std::endl;
  }
  out.flush();  // what the print program writes comes after what this run wrote
  err.flush();
  const Delivered delivered = delivery.Deliver(request.arguments);
  if (!delivered.ok) err << "quarnell: " << delivered.problem << std::endl;
  if (!delivered.archived.empty()) {
    err << "quarnell: run archived in " << delivered.archived << std::endl;
  }
  const int exit_status = delivered.ok ? kExitSuccess : kExitFailure;
  out << spool << std::endl;
  if (!delivered.archived.empty()) out << delivered.archived << std::endl;
  return exit_status;
}

// quarnell --archive-list [--owner CODE]
int RunArchiveList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> owner;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string error;
    if (args[i] == "--owner" && i + 1 < args.size() && !owner) {
      std::optional<std::string> packed = OwnerCode("--owner", args[++i], &error);
      if (!packed) {
        err << "quarnell: " << error << "\n" << kUsage;
        return kExitUsage;
      }
      owner = std::to_string(std::stoi(UnpackDigits(*packed)));
    } else {
      err << "quarnell: " << args[i] << ": unknown argument\n" << kUsage;
      return kExitUsage;
    }
  }
  AnchorDirectories();
  StartConfiguration();
  return ListArchive(owner, out, err);
}

// The options of the interactive program: [--split DIR] [--figures FILE.csv] [--no-archive].
bool ParseScreenOptions(const std::vector<std::string>& args, DeliveryOptions* outputs,
                        std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--no-archive") {
      outputs->archive = false;
    } else if ((option == "--split" || option == "--figures") && i + 1 < args.size() &&
               !args[i + 1].empty()) {
      (option == "--split" ? outputs->split_directory : outputs->figures_path) =
          Absolute(args[++i]);
    } else {
      *error = option + (option == "--split" || option == "--figures" ? ": a path is required"
                                                                      : ": unknown argument");
      return false;
    }
  }
  return true;
}

// The interactive program on the terminal of standard input and output.
int RunOnTerminal(const DeliveryOptions& outputs, std::ostream& err) {
  std::string error;
  std::unique_ptr<Console> console = OpenTerminalConsole(&error);
  if (!console) {
    err << "quarnell: the parameter screen needs a terminal (" << error
        << "); without one use --batch\n"
        << kUsage;
    return kExitUsage;
  }
  AnchorDirectories();
  // A record file that cannot be opened ends the program after its message and a key, with the
  // record layer's exit status 1: a failure.
  SetRunOutputs(outputs);
  return RunInteractive(*console);
}

}  // namespace

void TakeDefaultStatementDate(BatchRequest* request, std::ostream& err) {
  if (!request->statement_date.empty()) return;
  request->statement_date = DefaultStatementDate();
  SayStatementDate(request->statement_date, err);
}

std::string Counted(int64_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

bool ParseBatchArguments(const std::vector<std::string>& args, BatchRequest* request,
                         std::string* error) {
  std::optional<std::string> date_text, from_text, to_text, layout_text;
  std::optional<std::string> split_text, figures_text;
  bool no_print = false;
  bool stats = false;
  bool archive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> inline_value;
    if (size_t equals = option.find('='); option.starts_with("--") && equals != std::string::npos) {
      inline_value = option.substr(equals + 1);
      option.resize(equals);
    }
    std::optional<std::string>* slot = nullptr;
    if (option == "--date") slot = &date_text;
    if (option == "--from") slot = &from_text;
    if (option == "--to") slot = &to_text;
    if (option == "--layout") slot = &layout_text;
    if (option == "--split") slot = &split_text;
    if (option == "--figures") slot = &figures_text;
    if (slot != nullptr) {
      if (slot->has_value()) {
        *error = option + ": given twice";
        return false;
      }
      if (inline_value) {
        *slot = *inline_value;
      } else if (i + 1 < args.size()) {
        *slot = args[++i];
      } else {
        *error = option + ": a value is required";
        return false;
      }
    } else if (option == "--no-print" && !inline_value) {
      no_print = true;
    } else if (option == "--stats" && !inline_value) {
      stats = true;
    } else if (option == "--archive" && !inline_value) {
      archive = true;
    } else {
      *error = args[i] + ": unknown argument";
      return false;
    }
  }

  // Without --date the run takes the date the parameter screen proposes.
  for (auto [value, name] : {std::pair{&from_text, "--from"}, std::pair{&to_text, "--to"},
                             std::pair{&layout_text, "--layout"}}) {
    if (!value->has_value()) {
      *error = std::string(name) + ": missing";
      return false;
    }
  }

  // Date and codes are read as the parameter screen reads its fields; their texts are code
  // page 850 there, and the command line only carries digits and separators that both share.
  if (date_text && ValidateDateText(*date_text)) {
    *error = "--date: " + Quoted(*date_text) +
             " is not a valid date (day, month, year: 31122025 or 31/12/2025)";
    return false;
  }
  int64_t year = 0;
  bool short_year = false;
  if (date_text && (!TypedDateYear(*date_text, &year, &short_year) || year > kLastYear)) {
    *error = "--date: " + Quoted(*date_text) + " lies beyond the year " +
             std::to_string(kLastYear) + ", the last a date can hold";
    return false;
  }
  std::optional<std::string> from = OwnerCode("--from", *from_text, error);
  if (!from) return false;
  std::optional<std::string> to = OwnerCode("--to", *to_text, error);
  if (!to) return false;
  if (*from > *to) {
    *error = "--from: " + Quoted(*from_text) + " is greater than --to " + Quoted(*to_text);
    return false;
  }
  std::string layout = *layout_text;
  if (layout == "n" || layout == "f") layout[0] = static_cast<char>(layout[0] - 'a' + 'A');
  if (layout != "N" && layout != "F") {
    *error = "--layout: " + Quoted(*layout_text) +
             " is not a layout (N the account layout, F the fiscal layout)";
    return false;
  }

  for (auto [value, name] :
       {std::pair{&split_text, "--split"}, std::pair{&figures_text, "--figures"}}) {
    if (value->has_value() && (*value)->empty()) {
      *error = std::string(name) + ": a path is required";
      return false;
    }
  }
  if (no_print && (split_text || archive)) {
    *error = std::string(split_text ? "--split" : "--archive") +
             ": needs the print program, which --no-print leaves out";
    return false;
  }

  request->statement_date = date_text ? ParseDate(*date_text) : Date();
  request->short_year = short_year;
  request->owner_from = *from;
  request->owner_to = *to;
  request->layout = layout;
  request->print = !no_print;
  request->stats = stats;
  request->split_directory = split_text.value_or("");
  request->figures_path = figures_text.value_or("");
  request->archive = archive;
  return true;
}

int RunQuarnell(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (std::any_of(args.begin(), args.end(),
                  [](const std::string& arg) { return arg == "--help" || arg == "-h"; })) {
    out << kUsage << "\n" << kHelp;
    return kExitSuccess;
  }
  if (args.empty() || args[0] == "--split" || args[0] == "--figures" || args[0] == "--no-archive") {
    DeliveryOptions outputs;
    outputs.archive = true;  // the interactive program keeps a record of every run
    std::string error;
    if (!ParseScreenOptions(args, &outputs, &error)) {
      err << "quarnell: " << error << "\n" << kUsage;
      return kExitUsage;
    }
    return RunOnTerminal(outputs, err);
  }
  if (args[0] == "--check") {
    return RunCheckCommand(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << "quarnell " << ProgramVersion() << "\n";
    return kExitSuccess;
  }
  if (args[0] == "--archive-list") return RunArchiveList(args, out, err);
  if (args[0] != "--batch") {
    err << "quarnell: " << args[0] << ": unknown argument\n" << kUsage;
    return kExitUsage;
  }
  BatchRequest request;
  std::string error;
  if (!ParseBatchArguments(std::vector<std::string>(args.begin() + 1, args.end()), &request,
                           &error)) {
    err << "quarnell: " << error << "\n" << kUsage;
    return kExitUsage;
  }
  request.arguments = args;
  return RunBatch(request, out, err);
}

}  // namespace quarnell
