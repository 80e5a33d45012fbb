#include "tools/qebprint/pdf_renderer.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "text/cp850.h"

namespace quarnell {
namespace {

constexpr char kFontFamily[] = "DejaVu Sans Mono";
constexpr double kPageWidth = 595.276;  // A4 in points
constexpr double kPageHeight = 841.890;
constexpr double kMargin = 18.0;  // a quarter inch: inside what printers can reach
// Advance width of DejaVu Sans Mono in ems (1233 / 2048).
constexpr double kAdvancePerEm = 0.602;

struct WriteTarget {
  std::FILE* file = nullptr;     // either the file ...
  std::string* bytes = nullptr;  // ... or memory
  int error_number = 0;
};

cairo_status_t WriteToTarget(void* closure, const unsigned char* data, unsigned int length) {
  auto* target = static_cast<WriteTarget*>(closure);
  if (target->bytes != nullptr) {
    target->bytes->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  }
  if (std::fwrite(data, 1, length, target->file) != length) {
    if (target->error_number == 0) target->error_number = errno != 0 ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

// The normal and the bold face, found through fontconfig once for the process: finding them again
// for every document of a split costs more than drawing a small owner's pages.
cairo_font_face_t*& Face(bool bold) {
  static cairo_font_face_t* faces[2] = {nullptr, nullptr};
  return faces[bold ? 1 : 0];
}

}  // namespace

struct PdfPageSink::Impl {
  WriteTarget target;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  // Indexed by the cell attributes bold | condensed.
  std::array<cairo_scaled_font_t*, 8> fonts{};
  double font_size_for[8] = {};
  double line_pitch = 0;  // of the fonts built so far
  std::vector<cairo_glyph_t> run;

  ~Impl() {
    for (cairo_scaled_font_t* font : fonts) {
      if (font != nullptr) cairo_scaled_font_destroy(font);
    }
    if (cr != nullptr) cairo_destroy(cr);
    if (surface != nullptr) cairo_surface_destroy(surface);
  }

  static double ColumnPitch(uint8_t attributes) {
    int columns = (attributes & kCellCondensed) ? kCondensedColumns : kNormalColumns;
    return (kPageWidth - 2 * kMargin) / columns;
  }

  // The fonts depend on the line pitch (a page longer than 66 lines needs smaller letters).
  void SetLinePitch(double pitch) {
    if (pitch == line_pitch) return;
    line_pitch = pitch;
    for (cairo_scaled_font_t*& font : fonts) {
      if (font != nullptr) cairo_scaled_font_destroy(font);
      font = nullptr;
    }
  }

  cairo_scaled_font_t* Font(uint8_t variant) {
    if (fonts[variant] != nullptr) return fonts[variant];
    double size = std::min(ColumnPitch(variant) / kAdvancePerEm, line_pitch * 0.9);
    font_size_for[variant] = size;
    cairo_font_face_t*& face = Face((variant & kCellBold) != 0);
    if (face == nullptr) {
      face = cairo_toy_font_face_create(
          kFontFamily, CAIRO_FONT_SLANT_NORMAL,
          (variant & kCellBold) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    cairo_matrix_t font_matrix;
    cairo_matrix_t identity;
    cairo_matrix_init_scale(&font_matrix, size, size);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    fonts[variant] = cairo_scaled_font_create(face, &font_matrix, &identity, options);
    cairo_font_options_destroy(options);
    return fonts[variant];
  }

  // The glyph of a code page 850 byte in a font variant; 0 (the font's "missing" glyph) when the
  // font has none. A glyph's number depends on the weight only, not on the size, so the numbers
  // are kept for the process: a split report makes thousands of documents.
  uint64_t Glyph(uint8_t variant, uint8_t byte) {
    static std::array<std::array<int64_t, 256>, 2> numbers = [] {
      std::array<std::array<int64_t, 256>, 2> empty;
      for (auto& table : empty) table.fill(-1);  // -1: not looked up yet
      return empty;
    }();
    int64_t& slot = numbers[(variant & kCellBold) ? 1 : 0][byte];
    if (slot < 0) {
      char c = static_cast<char>(byte);
      std::string utf8 = Cp850ToUtf8(std::string_view(&c, 1));
      cairo_glyph_t* found = nullptr;
      int count = 0;
      slot = 0;
      if (cairo_scaled_font_text_to_glyphs(Font(variant), 0, 0, utf8.data(),
                                           static_cast<int>(utf8.size()), &found, &count, nullptr,
                                           nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
          count >= 1) {
        slot = static_cast<int64_t>(found[0].index);
      }
      cairo_glyph_free(found);
    }
    return static_cast<uint64_t>(slot);
  }

  void DrawLine(const std::vector<Cell>& cells, double baseline) {
    size_t i = 0;
    while (i < cells.size()) {
      uint8_t variant = cells[i].attributes & (kCellBold | kCellCondensed);
      size_t end = i;
      run.clear();
      while (end < cells.size() &&
             (cells[end].attributes & (kCellBold | kCellCondensed)) == variant) {
        if (cells[end].byte != ' ') {
          double x = kMargin + static_cast<double>(end) * ColumnPitch(variant);
          run.push_back(cairo_glyph_t{Glyph(variant, cells[end].byte), x, baseline});
        }
        ++end;
      }
      if (!run.empty()) {
        cairo_set_scaled_font(cr, Font(variant));
        cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
      }
      i = end;
    }
    // Underlines, as runs of underlined cells of one pitch.
    i = 0;
    while (i < cells.size()) {
      if (!(cells[i].attributes & kCellUnderline)) {
        ++i;
        continue;
      }
      uint8_t variant = cells[i].attributes & (kCellBold | kCellCondensed);
      size_t end = i;
      while (end < cells.size() && (cells[end].attributes & kCellUnderline) &&
             (cells[end].attributes & (kCellBold | kCellCondensed)) == variant) {
        ++end;
      }
      double pitch = ColumnPitch(variant);
      Font(variant);
      double size = font_size_for[variant];
      cairo_rectangle(cr, kMargin + static_cast<double>(i) * pitch, baseline + 0.12 * size,
                      static_cast<double>(end - i) * pitch, std::max(0.05 * size, 0.4));
      cairo_fill(cr);
      i = end;
    }
  }
};

std::string PdfPageSink::FontProblem() {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFontFamily));
  if (pattern == nullptr) return "fontconfig cannot parse the font name";
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  std::string problem;
  FcChar8* family = nullptr;
  if (match == nullptr || FcPatternGetString(match, FC_FAMILY, 0, &family) != FcResultMatch) {
    problem = std::string("no font found for ") + kFontFamily;
  } else if (std::strcmp(reinterpret_cast<const char*>(family), kFontFamily) != 0) {
    problem = std::string(kFontFamily) + " is not installed (package fonts-dejavu-core); using " +
              reinterpret_cast<const char*>(family);
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return problem;
}

void PdfPageSink::ReleaseFontCaches() {
  for (bool bold : {false, true}) {
    if (Face(bold) != nullptr) cairo_font_face_destroy(Face(bold));
    Face(bold) = nullptr;
  }
  cairo_debug_reset_static_data();
  FcFini();
}

PdfPageSink::PdfPageSink(std::FILE* file) : impl_(std::make_unique<Impl>()) {
  impl_->target.file = file;
  Start();
}

PdfPageSink::PdfPageSink(std::string* bytes) : impl_(std::make_unique<Impl>()) {
  impl_->target.bytes = bytes;
  Start();
}

void PdfPageSink::Start() {
  impl_->surface =
      cairo_pdf_surface_create_for_stream(WriteToTarget, &impl_->target, kPageWidth, kPageHeight);
  cairo_pdf_surface_set_metadata(impl_->surface, CAIRO_PDF_METADATA_CREATOR, "qebprint");
  impl_->cr = cairo_create(impl_->surface);
}

PdfPageSink::~PdfPageSink() = default;

void PdfPageSink::SetCreationDate(const std::string& iso) {
  cairo_pdf_surface_set_metadata(impl_->surface, CAIRO_PDF_METADATA_CREATE_DATE, iso.c_str());
}

bool PdfPageSink::EmitPage(const Page& page) {
  cairo_t* cr = impl_->cr;
  int32_t lines = std::max<int32_t>(page.length, kDefaultPageLength);
  impl_->SetLinePitch((kPageHeight - 2 * kMargin) / lines);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (size_t i = 0; i < page.lines.size(); ++i) {
    if (page.lines[i].empty()) continue;
    double baseline = kMargin + (static_cast<double>(i) + 0.8) * impl_->line_pitch;
    impl_->DrawLine(page.lines[i], baseline);
  }
  cairo_show_page(cr);
  cairo_status_t status = cairo_status(cr);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(impl_->surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    error_ = impl_->target.error_number != 0 ? std::strerror(impl_->target.error_number)
                                             : cairo_status_to_string(status);
    return false;
  }
  return true;
}

bool PdfPageSink::Finish() {
  cairo_surface_finish(impl_->surface);
  cairo_status_t status = cairo_surface_status(impl_->surface);
  if (status != CAIRO_STATUS_SUCCESS && error_.empty()) {
    error_ = impl_->target.error_number != 0 ? std::strerror(impl_->target.error_number)
                                             : cairo_status_to_string(status);
  }
  return error_.empty();
}

}  // namespace quarnell
