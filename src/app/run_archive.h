// The record of what a statement run issued, kept in the installation and never changed:
//
//   ARXIU/<year>/<YYYYMMDD-HHMMSS>-<from>-<to>-<layout>/   the run's start, owners and layout;
//                                                          <year> is the statement's
//     qebprint.tmp        the spool file (qebprint --input reprints it byte for byte)
//     index.csv, *.pdf    one PDF per owner, as qebprint --split makes them
//     figures.csv         the figures for the tax advisers, when the run wrote them
//     run.txt             the run's arguments, the program's version and the SHA-256 of every
//                         other file (in the form "sha256sum -c run.txt" checks)
//
// The directory is written under a hidden temporary name beside its final one and renamed when
// complete; its files are then read-only. A run never replaces an archived run: a second run of
// the same second gets "-2" after the name.
#ifndef QUARNELL_APP_RUN_ARCHIVE_H_
#define QUARNELL_APP_RUN_ARCHIVE_H_

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "print/spool_marks.h"

namespace quarnell {

inline constexpr char kArchiveDirectory[] = "ARXIU";
inline constexpr char kRunRecordName[] = "run.txt";

// The program's version, as run.txt and quarnell --version give it.
const char* ProgramVersion();

struct ArchiveRequest {
  RunMark run;             // the run's mark (LastStatementRun)
  std::string spool_path;  // host path of the run's complete spool file
  // A split of this run already made (qebprint --split): its index.csv and PDFs are copied, and
  // each copy checked against its digest in the index. Empty: the archive makes its own split.
  std::string split_directory;
  std::string figures_path;            // the run's figures file; empty when it wrote none
  std::vector<std::string> arguments;  // the run's parameters as its caller tells them
};

// Archives a completed run under the installation root (Session().root_directory). Returns true
// with the archive's path in `archived`, or false with the reason in `problem`; then nothing of
// the archive remains.
bool ArchiveRun(const ArchiveRequest& request, std::string* archived, std::string* problem);

// Lists the archived runs, newest first, one line each: start, statement year, owners, layout,
// documents, path. With `owner` (a plain code, "42"), only the runs that reported that owner, each
// with the owner's file and its SHA-256 (or that nothing printed). Returns the exit status.
int ListArchive(const std::optional<std::string>& owner, std::ostream& out, std::ostream& err);

}  // namespace quarnell

#endif  // QUARNELL_APP_RUN_ARCHIVE_H_
