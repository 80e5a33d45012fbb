// The print program qebprint: reads a spool file, lays it out page by page and delivers it to the
// device named in the spool's first line (or on the command line): a PDF file, a text file, the
// screen through a pager, or a printer queue through lp.
#ifndef QUARNELL_TOOLS_QEBPRINT_PRINT_PROGRAM_H_
#define QUARNELL_TOOLS_QEBPRINT_PRINT_PROGRAM_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

enum class DeviceKind { kPdf, kText, kScreen, kPrinter };

struct Device {
  DeviceKind kind = DeviceKind::kPdf;
  // PDF:<path> and TXT:<path>: the path; LP:<queue>: the queue; otherwise empty.
  std::string argument;
  // False for a name that is none of PDF, TXT, PANTALLA, LP (it then prints as a PDF).
  bool recognised = true;
};

// Reads a device name: "PDF" or empty, "PDF:<path>", "TXT", "TXT:<path>", "PANTALLA", "LP",
// "LP:<queue>". The name before ":" is compared without regard to case; blanks around the whole
// name are ignored; the argument after ":" is kept as written.
Device ParseDevice(std::string_view name);

// Exit statuses of the print program.
inline constexpr int kPrintDone = 0;          // the report went to its device
inline constexpr int kPrintFailed = 1;        // it did not (what happened is said; a PDF made
                                              // all the same is named)
inline constexpr int kPrintUsage = 2;         // a bad command line or an unreadable --input
inline constexpr int kPrintDamagedSpool = 3;  // delivered, but damaged spool lines were skipped

// The whole program: arguments as main receives them (args[0] the program name). Messages and the
// summary go to `err`, the path of a written file to `out`. Returns one of the exit statuses
// above.
int RunPrintProgram(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_PRINT_PROGRAM_H_
