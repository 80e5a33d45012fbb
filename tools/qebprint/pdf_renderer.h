// The PDF rendition of a report: A4 portrait pages in DejaVu Sans Mono, drawn with cairo.
// A page of 66 lines fills the sheet; longer pages get a tighter line pitch. Normal print fits 96
// columns across (the account layout reaches column 95); condensed print ("q") fits 136, so the
// fiscal layout of about 135 columns stays on the sheet.
#ifndef QUARNELL_TOOLS_QEBPRINT_PDF_RENDERER_H_
#define QUARNELL_TOOLS_QEBPRINT_PDF_RENDERER_H_

#include <cstdio>
#include <memory>
#include <string>

#include "tools/qebprint/page_layout.h"

namespace quarnell {

inline constexpr int kNormalColumns = 96;
inline constexpr int kCondensedColumns = 136;

class PdfPageSink : public PageSink {
 public:
  // Writes the document to `file` (not owned; the caller closes it after Finish).
  explicit PdfPageSink(std::FILE* file);
  // Appends the document to `bytes` (not owned) instead.
  explicit PdfPageSink(std::string* bytes);
  ~PdfPageSink() override;
  PdfPageSink(const PdfPageSink&) = delete;
  PdfPageSink& operator=(const PdfPageSink&) = delete;

  bool EmitPage(const Page& page) override;

  // Dates the document (its creation date) instead of the clock: a report printed again from the
  // same spool file then gives the same bytes. `iso` is "YYYY-MM-DDThh:mm:ss".
  void SetCreationDate(const std::string& iso);

  // Completes the document. False when anything failed on the way; error() says what.
  bool Finish();
  const std::string& error() const { return error_; }

  // Empty when the monospaced font was found; otherwise what went wrong (cairo then draws with
  // whatever font fontconfig offers instead, so the pages still come out).
  static std::string FontProblem();

  // Gives back what cairo and fontconfig keep for the life of the process, so that a leak
  // checker sees a clean exit. REQUIRES: no cairo object is alive any more (end of main).
  static void ReleaseFontCaches();

 private:
  void Start();

  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_PDF_RENDERER_H_
