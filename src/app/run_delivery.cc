#include "app/run_delivery.h"

#include "app/run_archive.h"
#include "app/run_driver.h"
#include "app/statement_run.h"
#include "config/paths.h"
#include "print/fresh_file.h"
#include "print/print_output.h"

namespace quarnell {

RunDelivery::~RunDelivery() {
  if (figures_ != nullptr) SetPrintedLineObserver(nullptr);
}

bool RunDelivery::Prepare(std::string* problem) {
  if (!options_.split_directory.empty()) {
    // A directory that cannot be written should stop the run before its work, not after.
    StagingDirectory probe;
    if (!probe.Create(options_.split_directory, "qebsplit", problem)) return false;
  }
  if (!options_.figures_path.empty()) {
    figures_ = std::make_unique<FiguresFile>();
    if (!figures_->Open(options_.figures_path, problem)) return false;
    FiguresFile* figures = figures_.get();
    SetPrintedLineObserver([figures](const ReportHeading& heading, const StatementLine& line) {
      figures->Add(heading, line);
    });
  }
  return true;
}

int RunDelivery::Deliver(const std::vector<std::string>& arguments, std::ostream& err,
                         std::string* archived) {
  std::string problem;
  if (figures_ != nullptr) {
    SetPrintedLineObserver(nullptr);
    if (!figures_->Close(&problem)) {
      err << "quarnell: " << problem << std::endl;
      return 1;
    }
  }
  if (!options_.print) return 0;
  const std::string spool = HostPath(SpoolFileName());
  const bool split = !options_.split_directory.empty();
  err.flush();
  const int print_status =
      RunPrintProgram(split ? std::vector<std::string>{"--split", options_.split_directory}
                            : std::vector<std::string>{});
  if (print_status != 0) {
    // The statements are in the spool file, but they did not reach their device.
    err << "quarnell: the print program ended with status " << print_status
        << " (its message above); the report stays in " << spool << std::endl;
    return 1;
  }
  if (!options_.archive) return 0;
  ArchiveRequest request;
  request.run = LastStatementRun();
  request.spool_path = spool;
  request.split_directory = options_.split_directory;
  request.figures_path = options_.figures_path;
  request.arguments = arguments;
  if (!ArchiveRun(request, archived, &problem)) {
    err << "quarnell: the run was not archived: " << problem << std::endl;
    return 1;
  }
  err << "quarnell: run archived in " << *archived << std::endl;
  return 0;
}

}  // namespace quarnell
