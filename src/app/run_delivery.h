// What a statement run hands out besides its spool file, for the batch run and the interactive
// program alike: the figures for the tax advisers, one PDF per owner instead of the whole report,
// and the archived record of the run (app/run_archive.h).
//
// A caller prepares before StatementRun and delivers after it (and after ResetRecordFiles):
//
//   RunDelivery delivery(options);
//   if (!delivery.Prepare(&problem)) ...               // nothing written yet
//   StatementRun(...);
//   ResetRecordFiles(status);
//   int exit_status = delivery.Deliver(arguments, err, &archived);
#ifndef QUARNELL_APP_RUN_DELIVERY_H_
#define QUARNELL_APP_RUN_DELIVERY_H_

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/figures_csv.h"

namespace quarnell {

struct DeliveryOptions {
  bool print = true;  // start the print program
  // One PDF per owner and index.csv into this directory (absolute) instead of the device.
  std::string split_directory;
  bool archive = false;      // keep the run under ARXIU/ (needs `print`)
  std::string figures_path;  // the figures CSV (absolute); empty: none
};

class RunDelivery {
 public:
  explicit RunDelivery(DeliveryOptions options) : options_(std::move(options)) {}
  ~RunDelivery();
  RunDelivery(const RunDelivery&) = delete;
  RunDelivery& operator=(const RunDelivery&) = delete;

  // Before the run: makes sure the split directory can be made and written, starts the figures
  // file and has the run report its printed lines to it. False with the reason in `problem`;
  // nothing is written then.
  bool Prepare(std::string* problem);

  // After the run: puts the figures file in place, starts the print program (on the device, or
  // splitting into the directory) and archives the run when asked, telling on `err` what failed.
  // `arguments` go into the archive's run.txt; `archived` gets the archive's path, or stays empty.
  // Returns 0, or 1 when any step failed (the steps after a failed one are not taken).
  int Deliver(const std::vector<std::string>& arguments, std::ostream& err, std::string* archived);

 private:
  DeliveryOptions options_;
  std::unique_ptr<FiguresFile> figures_;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_RUN_DELIVERY_H_
