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

Delivered RunDelivery::Deliver(const std::vector<std::string>& arguments, bool complete) {
  Delivered delivered;
  if (figures_ != nullptr) {
    SetPrintedLineObserver(nullptr);
    if (!figures_->Close(&delivered.problem)) {
      delivered.ok = false;
      return delivered;
    }
  }
  if (!options_.print) return delivered;
  const std::string spool = HostPath(SpoolFileName());
  const bool split = !options_.split_directory.empty();
  delivered.print_status =
      RunPrintProgram(split ? std::vector<std::string>{"--split", options_.split_directory}
                            : std::vector<std::string>{});
  if (delivered.print_status != 0) {
    // The statements are in the spool file, but they did not reach their device.
    delivered.ok = false;
    delivered.problem = "the print program ended with status " +
                        std::to_string(delivered.print_status) +
                        " (its message above); the report stays in " + spool;
    return delivered;
  }
  if (!options_.archive || !complete) return delivered;
  ArchiveRequest request;
  request.run = LastStatementRun();
  request.spool_path = spool;
  request.split_directory = options_.split_directory;
  request.figures_path = options_.figures_path;
  request.arguments = arguments;
  std::string problem;
  if (!ArchiveRun(request, &delivered.archived, &problem)) {
    delivered.ok = false;
    delivered.problem = "the run was not archived: " + problem;
  }
  return delivered;
}

}  // namespace quarnell
