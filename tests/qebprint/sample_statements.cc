#include "sample_statements.h"

#include <string>

#include "print/print_output.h"
#include "text/cp850.h"

namespace quarnell::testing {
namespace {

std::string Padded(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

std::string PageNumber(int number) {
  std::string digits = std::to_string(number);
  return "PAGINA " + std::string(digits.size() < 4 ? 4 - digits.size() : 0, ' ') + digits;
}

std::string Dotted(int property) { return "1." + std::to_string(property); }

class Writer {
 public:
  explicit Writer(const SampleReport& report) : report_(report) {}

  int Write() {
    OpenPrintOutput(report_.device);
    for (int property = 1; property <= report_.properties && !stopped_; ++property) {
      Property(property);
    }
    ClosePrintOutput();
    return pages_;
  }

 private:
  enum class Kind { kIncome, kExpense, kTotal };

  void Heading(int property) {
    ++page_of_property_;
    ++pages_;
    NewPage(66);
    PrintDirective("@e");
    if (page_of_property_ == 1) {
      PrintAt(0, "", 7);
      SetJustification("D");
      PrintAt(85, PageNumber(page_of_property_), 2);
      PrintAt(1, "COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA ("_cp850 + Dotted(property) + ")", 0);
      PrintAt(54, Padded("NÚRIA FERRER I COMAS "_cp850 + std::to_string(property), 40), 1);
      PrintAt(1, Padded("EDIFICI DEL CARRER MAJOR, " + std::to_string(property), 40), 0);
      PrintAt(54, Padded("C/ DE LA PAU, 14, 3r 2a", 40), 1);
      std::string date = "A DATA 31 DE DESEMBRE DE 2025";
      SetJustification("A");
      PrintAt(1, date, 0);
      SetJustification("E");
      PrintAt(54, Padded("08001 BARCELONA", 40), 1);
      PrintAt(1, std::string(date.size(), '='), 0);
      PrintAt(54, Padded("", 40), 2);
      PrintAt(1, "N.I.F. PROPIETARI : " + Padded("12345678Z", 17), 2);
    } else {
      PrintAt(0, "", 7);
      PrintAt(1, Dotted(property) + " 31/12/25 NÚRIA FERRER I COMAS "_cp850, 0);
      SetJustification("D");
      PrintAt(85, PageNumber(page_of_property_), 2);
    }
    if (report_.fiscal) {
      PrintDirective("q");
      SetJustification("D");
      PrintAt(94, " INGRESSOS", 0);
      PrintAt(105, "  DESPESES", 0);
      PrintAt(116, " DEDUCCIÓ"_cp850, 0);
      PrintAt(126, " RETENCIÓ"_cp850, 1);
      PrintAt(94, std::string(41, '-'), 1);
    }
  }

  bool Full() const { return report_.max_pages > 0 && pages_ >= report_.max_pages; }

  // False when the page limit is reached: the report ends there.
  bool StartHeading(int property) {
    if (Full()) {
      stopped_ = true;
      return false;
    }
    Heading(property);
    return true;
  }

  // One line of the statement, with the heading, section title and page break it needs.
  void Line(int property, const std::string& label, int64_t amount, Kind kind) {
    if (kind != Kind::kTotal) {
      if (page_of_property_ == 0 && !StartHeading(property)) return;
      if (!section_started_) {
        section_started_ = true;
        if (!report_.fiscal) {
          if (kind == Kind::kExpense) PrintAt(0, "", 1);
          if (LinesOnPage() > 58 && !StartHeading(property)) return;
          PrintDirective("u");
          PrintAt(1, kind == Kind::kIncome ? "INGRESSOS :" : "DESPESES :", 1);
          PrintDirective("u");
        }
      }
    } else {
      PrintAt(69, "-------------", 1);
    }
    if (LinesOnPage() > 60 && !StartHeading(property)) return;
    if (kind == Kind::kTotal) SetJustification("N 68 \\.\\");
    if (report_.fiscal) {
      PrintAt(1, Padded(label, 40), 0);
      SetJustification("D");
      PrintAt(42, "LOC-" + std::to_string(property % 100), 0);
      PrintAt(54, "01/03/19", 0);
      PrintAt(65, "HAB. 60", 0);
      PrintAt(73, "**sense ref.cadas.**", 0);
      PrintAt(94, SampleAmount(amount).substr(3), 0);
      PrintAt(105, SampleAmount(amount / 10).substr(3), 0);
      PrintAt(116, SampleAmount(-amount / 2).substr(4), 0);
      PrintAt(126, SampleAmount(-amount / 20).substr(4), 0);
      PrintAt(0, "", 1);
    } else {
      PrintAt(14, Padded(label, 40), 0);
      SetJustification("D");
      PrintAt(69, SampleAmount(amount), 1);
    }
  }

  void Property(int property) {
    page_of_property_ = 0;
    section_started_ = false;
    int64_t total = 0;
    for (int unit = 1; unit <= report_.units_per_property && !stopped_; ++unit) {
      int64_t income = SampleUnitIncome(property, unit);
      total += income;
      Line(property, "Lloguer, local " + std::to_string(unit), income, Kind::kIncome);
    }
    if (report_.fiscal || stopped_) return;
    Line(property, "TOTAL INGRESSOS", total, Kind::kTotal);
    section_started_ = false;
    int64_t repairs = -total / 8;
    int64_t insurance = -total / 20;
    Line(property, "Reparacions i conservació"_cp850, repairs, Kind::kExpense);
    Line(property, "Assegurances", insurance, Kind::kExpense);
    Line(property, "TOTAL DESPESES", repairs + insurance, Kind::kTotal);
    Line(property, "RESULTAT", total + repairs + insurance, Kind::kTotal);
  }

  const SampleReport& report_;
  int pages_ = 0;
  int page_of_property_ = 0;
  bool section_started_ = false;
  bool stopped_ = false;
};

}  // namespace

std::string SampleAmount(int64_t hundredths) {
  bool negative = hundredths < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(hundredths) : hundredths;
  std::string digits = std::to_string(magnitude / 100);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
    grouped += digits[i];
  }
  int cents = static_cast<int>(magnitude % 100);
  grouped += '\'';
  grouped += static_cast<char>('0' + cents / 10);
  grouped += static_cast<char>('0' + cents % 10);
  grouped += negative ? '-' : ' ';
  return std::string(grouped.size() < 14 ? 14 - grouped.size() : 0, ' ') + grouped;
}

int64_t SampleUnitIncome(int property, int unit) {
  return 100000 + (property * 7919 + unit * 104729) % 900000;
}

int WriteSampleReport(const SampleReport& report) { return Writer(report).Write(); }

}  // namespace quarnell::testing
