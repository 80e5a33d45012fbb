// The print output of a report: the six primitives that write the spool file
// (session directory + "qebprint.tmp", read by the print program qebprint) and the page counters
// the report consults for its own page breaks.
//
// One report is OpenPrintOutput, NewPage, any sequence of PrintAt / NewPage / SetJustification /
// PrintDirective, then ClosePrintOutput. A spool file that cannot be created or written ends the
// program through ErrorStop with a message naming the file; the primitives return no status.
#ifndef QUARNELL_PRINT_PRINT_OUTPUT_H_
#define QUARNELL_PRINT_PRINT_OUTPUT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr char kSpoolName[] = "qebprint.tmp";

// How long a report waits for another run that holds the session directory (ClaimSpoolFile).
inline constexpr int32_t kSpoolWaitMilliseconds = 2000;

// The spool file as the program names it: Session().session_directory + "qebprint.tmp".
std::string SpoolFileName();

// Makes this process the one statement run that writes the spool file of its session directory,
// until it ends or calls ReleaseSpoolFile (see print/spool_guard.h); a program takes it before a
// run and keeps it until its print program has read the report. Waits up to
// `wait_milliseconds` for another run that holds it. Returns true when this process holds it
// (claiming again does nothing), false with the reason in `problem` ("another statement run is
// using ..."). On taking it, removes the temporary spool files that killed runs left behind.
bool ClaimSpoolFile(int32_t wait_milliseconds, std::string* problem);
void ReleaseSpoolFile();

// Starts a new report with the device line "DEVICE" + `device`; it replaces the spool file when
// ClosePrintOutput has written it whole (until then the spool file keeps the last complete
// report). Claims the spool file first when this process does not hold it, waiting
// kSpoolWaitMilliseconds; another run holding it is an error stop. The page counters keep their
// values until the next NewPage. Opening while a report is open closes that report first.
void OpenPrintOutput(std::string_view device);

// Writes the page line "PAGE" + number field of `length`; the page length becomes `length` and
// the lines on the page 0.
void NewPage(int16_t length);

// Writes `text` at the 1-based `column` and advances `advance` lines (0: the next text continues
// on the same line). Bytes 0-31, 127 and 255 of the text are written as blanks. When the lines on
// the page have reached the page length, a page line with the current length comes first (so
// before any NewPage, with length 0, every text gets its own page line).
// REQUIRES: the print output is open (otherwise an error stop).
void PrintAt(int16_t column, std::string_view text, int16_t advance);

// Writes the justification line "JUS" + the normalised code (see NormalizeJustification in
// print/spool_writer.h): "C", "D", "A", "E" or "N <n> \<c>\".
void SetJustification(std::string_view code);

// Writes the directive line "*" + `text` ("@e" reset, "q" condensed, "u" underline on/off).
void PrintDirective(std::string_view text);

// Writes the report to the disk and puts it in place of the spool file; does nothing when no
// report is open. The counters stay and the spool file stays claimed.
void ClosePrintOutput();

// The print state: page length as last given to NewPage, lines advanced since the last page start.
int16_t PageLength();
int16_t LinesOnPage();

// Puts the counters back to their start-of-program values (0, 0). Tests only; a program never
// needs it because only NewPage sets the counters.
void ResetPrintStateForTesting();

}  // namespace quarnell

#endif  // QUARNELL_PRINT_PRINT_OUTPUT_H_
