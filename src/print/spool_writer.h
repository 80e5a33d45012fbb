// The spool file of a report: one print instruction per line, in code page 850, lines ending in
// CR LF, read back by the print program qebprint.
//
//   DEVICE<name>                        the output device, first line of every report
//   PAGE<n>                             a new page of n lines
//   JUS<code>                           justification of the texts that follow (C, D, A, E, N)
//   *<text>                             a printer directive ("@e", "q", "u")
//   <column>,<text>,<advance>           a text at a 1-based column, then advance that many lines
//
// Numbers are written as number fields: a sign character (blank or "-"), the digits and one
// trailing blank, so 66 is " 66 " and -1 is "-1 ".
#ifndef QUARNELL_PRINT_SPOOL_WRITER_H_
#define QUARNELL_PRINT_SPOOL_WRITER_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "print/fresh_file.h"

namespace quarnell {

// " 66 ", "-1 ", " 0 ".
std::string SpoolNumberField(int32_t value);

// The code a justification line carries, normalised as the print program expects it:
// "C"; "D" (also for "R"); "A" (also for "B"); "N" + number field without its trailing blank +
// " " + the part from the first "\" up to and including the next one, e.g. "N 68 \.\";
// "E" for anything else, the empty code included. Blanks around the code are ignored and the
// letter may be in either case.
//
// "N" takes the absolute value of the number after the letter, its fraction dropped, 0 when there
// is none, at most 32767. Without any "\" the fill part is empty ("N 68 ", which qebprint fills
// with blanks); with a "\" but no closing one the fill part runs to the end of the code.
std::string NormalizeJustification(std::string_view code);

// A copy of `text` with every byte 0-31, 127 and 255 replaced by a blank, so that a text can never
// break the line structure of the spool file.
std::string SpoolText(std::string_view text);

// Writes one spool file through a buffered stream, under a temporary name beside it that Close
// renames over it: the spool file is always the last complete report, and a run killed half way
// leaves it as it was. Every write is checked; the first failure ends the program through
// ErrorStop with a message naming the file (a report that silently loses its tail would be printed
// and believed). The page counters live in the print state, not here.
class SpoolWriter {
 public:
  SpoolWriter() = default;
  ~SpoolWriter();  // Discards an unfinished report; call Close() to put it in place.
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  // Starts a report that will replace `host_path` and writes the device line. A report that
  // cannot be created is an error stop.
  void Open(const std::string& host_path, std::string_view device);
  bool is_open() const { return file_.file() != nullptr; }
  const std::string& path() const { return path_; }

  void WritePage(int32_t length);
  // REQUIRES: `text` is already cleaned with SpoolText.
  void WriteText(int32_t column, std::string_view text, int32_t advance);
  void WriteJustification(std::string_view normalized_code);
  void WriteDirective(std::string_view text);

  // Flushes the report to the disk and renames it over the spool file; any failure is an error
  // stop that leaves the earlier spool file in place. Does nothing when not open.
  void Close();

 private:
  void WriteLine(std::string_view line);
  [[noreturn]] void Fail(const char* what, int error_number);

  FreshFile file_;
  std::string path_;
  std::string line_;  // reused for every line so that writing does not allocate
};

}  // namespace quarnell

#endif  // QUARNELL_PRINT_SPOOL_WRITER_H_
