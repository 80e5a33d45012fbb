#include "app/check_command.h"

#include <chrono>
#include <optional>
#include <string>

#include "app/csv.h"
#include "app/record_layouts.h"
#include "app/run_driver.h"
#include "records/record_files.h"
#include "text/dates.h"

namespace quarnell {
namespace {

constexpr char kCheckUsage[] =
    "usage: quarnell --check [--date DATE] --from CODE --to CODE --layout N|F [--format text|csv] "
    "[--stats]\n";

// The arguments that give the run of `request` again, for the command that lists its findings.
std::string RunArguments(const BatchRequest& request) {
  const std::string digits = UnpackDigits(request.statement_date);  // YYYYMMDD
  return "--date " + digits.substr(6, 2) + digits.substr(4, 2) + digits.substr(0, 4) + " --from " +
         std::to_string(CodeValue(request.owner_from)) + " --to " +
         std::to_string(CodeValue(request.owner_to)) + " --layout " + request.layout;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

CheckSettings CheckSettingsOf(const BatchRequest& request) {
  CheckSettings settings;
  settings.statement_date = request.statement_date;
  settings.owner_from = request.owner_from;
  settings.owner_to = request.owner_to;
  settings.layout = request.layout.empty() ? 'N' : request.layout.front();
  return settings;
}

bool ParseCheckArguments(const std::vector<std::string>& args, CheckRequest* request,
                         std::string* error) {
  std::vector<std::string> run_args;
  std::optional<std::string> format;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--format" || arg.starts_with("--format=")) {
      if (format) {
        *error = "--format: given twice";
        return false;
      }
      if (arg != "--format") {
        format = arg.substr(9);
      } else if (i + 1 < args.size()) {
        format = args[++i];
      } else {
        *error = "--format: a value is required";
        return false;
      }
    } else if (arg == "--no-print") {
      *error = "--no-print: the check prints nothing anyway";
      return false;
    } else {
      run_args.push_back(arg);
    }
  }
  if (!ParseBatchArguments(run_args, &request->run, error)) return false;
  if (format && *format != "text" && *format != "csv") {
    *error = "--format: \"" + *format + "\" is not a format (text or csv)";
    return false;
  }
  request->csv = format == "csv";
  return true;
}

int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CheckRequest request;
  std::string error;
  if (!ParseCheckArguments(args, &request, &error)) {
    err << "quarnell: " << error << "\n" << kCheckUsage;
    return kExitUsage;
  }
  AnchorDirectories();
  const auto started = std::chrono::steady_clock::now();
  OpenInstallation();
  TakeDefaultStatementDate(&request.run, err);

  std::string text;
  if (request.csv) AppendCsvRow(&text, FindingCsvHeader());
  const CheckTotals totals =
      CheckRunData(CheckSettingsOf(request.run), [&](const Finding& finding) {
        if (request.csv) {
          AppendCsvRow(&text, FindingCsvRow(finding));
        } else {
          text += FindingLine(finding) + "\n";
        }
        if (text.size() >= (1 << 16)) {
          out << text;
          text.clear();
        }
      });
  out << text;
  out.flush();
  int16_t status = 0;
  ResetRecordFiles(status);

  if (request.run.stats) {
    err << "quarnell: " << Counted(totals.owners, "owner", "owners") << ", "
        << Counted(totals.records_read, "record", "records") << " read in " << SecondsSince(started)
        << " s, peak memory " << PeakResidentKib() << " KiB, "
        << Counted(totals.findings, "finding", "findings") << std::endl;
  }
  if (!out) {
    err << "quarnell: the findings could not be written" << std::endl;
    return kExitFailure;
  }
  return totals.findings > 0 ? kExitFindings : kExitSuccess;
}

CheckTotals ReportRunCheck(const BatchRequest& request, std::ostream& err) {
  const CheckTotals totals = CheckRunData(CheckSettingsOf(request), [](const Finding&) {});
  if (totals.findings > 0) {
    err << "quarnell: " << totals.findings << (totals.findings == 1 ? " finding" : " findings")
        << " in the data of this run; "
        << "quarnell --check " << RunArguments(request) << " lists them" << std::endl;
  }
  return totals;
}

}  // namespace quarnell
