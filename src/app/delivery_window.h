// The hand-over of a run to the print program while the parameter screen is up, and what the
// operator is told of it.
//
// The screen device ("PANTALLA") needs the terminal for its pager: the terminal is handed to the
// print program and taken back when it ends. Any other device leaves the screen where it is, under
// a box saying that the report is being printed, and what the print programs write goes to files
// of the session directory instead of over the screen; a long report (or its archive) no longer
// leaves the operator in front of a bare terminal. Afterwards a message box says where the report
// is, from the files the print program named, or why it did not get there, in its own words.
#ifndef QUARNELL_APP_DELIVERY_WINDOW_H_
#define QUARNELL_APP_DELIVERY_WINDOW_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/run_delivery.h"
#include "screen/console.h"

namespace quarnell {

// Whether the print program shows a report on this terminal: the device "PANTALLA" (in any case,
// with or without an argument after ":"), unless the run is split into one PDF per owner.
bool DeliveryNeedsTerminal(std::string_view device, const DeliveryOptions& options);

// Runs `delivery.Deliver(arguments, complete)` as the file comment says, with the terminal handed
// to the print program when `needs_terminal` (DeliveryNeedsTerminal), and tells the operator its
// outcome in a message box that waits for a key: where the report is on success (nothing when the
// print program named no file, as when lp took it), the print program's status and last words and
// the spool file's path when it failed, what failed otherwise. Keys typed meanwhile are dropped.
// Returns what Deliver returned.
Delivered DeliverOnScreen(Console& console, RunDelivery& delivery, bool needs_terminal,
                          const std::vector<std::string>& arguments, bool complete);

// The lines of the print program's standard output that name a file that exists now: the reports
// it wrote (a PDF, a text file, a split's index). Other lines (a print queue's request number) are
// passed over.
std::vector<std::string> ReportFilesNamed(std::string_view output);

}  // namespace quarnell

#endif  // QUARNELL_APP_DELIVERY_WINDOW_H_
