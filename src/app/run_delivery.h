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
//   Delivered delivered = delivery.Deliver(arguments, complete);
#ifndef QUARNELL_APP_RUN_DELIVERY_H_
#define QUARNELL_APP_RUN_DELIVERY_H_

#include <memory>
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

// What Deliver did.
struct Delivered {
  bool ok = true;        // every step asked for was done
  int print_status = 0;  // the print program's exit status (0 when it was not started)
  std::string archived;  // the archive's path; empty when the run was not archived
  std::string problem;   // what failed, when !ok
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
  // splitting into the directory) and archives the run when asked and the print program ended
  // with status 0. A run that is not `complete` (the operator stopped it) is printed but never
  // archived. `arguments` go into the archive's run.txt. The steps after a failed one are not
  // taken.
  Delivered Deliver(const std::vector<std::string>& arguments, bool complete = true);

 private:
  DeliveryOptions options_;
  std::unique_ptr<FiguresFile> figures_;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_RUN_DELIVERY_H_
