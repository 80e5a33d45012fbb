#include "app/statement_report.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "config/translate.h"
#include "print/print_output.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/language.h"
#include "text/masks.h"

namespace quarnell {
namespace {

constexpr std::string_view kAccountAmountMask = "Z,ZZZ,ZZZ,ZZ9-";
constexpr std::string_view kFiscalAmountMask = "ZZ,ZZZ,ZZ9-";
constexpr std::string_view kFiscalDeductionMask = "Z,ZZZ,ZZ9-";
// Leaders of dots up to column 68 after the label of a total.
constexpr std::string_view kTotalLeaders = "N 68 \\.\\";

std::string TrimRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string PageNumberText(int16_t page) { return "PAGINA " + FormatMask("ZZZ9", page); }

// The rate of a housing line as the fiscal layout shows it: whole percent with a leading blank.
std::string RateText(double rate) { return " " + std::to_string(RatePercent(rate)); }

// (language code + "|" + Catalan text) -> translation.
std::unordered_map<std::string, std::string> translations;

}  // namespace

int32_t RatePercent(double rate) { return RoundHalfEven(100.0L * static_cast<long double>(rate)); }

const std::string& StatementText(std::string_view catalan) {
  std::string key = LanguageCode();
  key += '|';
  key += catalan;
  auto found = translations.find(key);
  if (found == translations.end())
    found = translations.emplace(key, TranslateRequired(catalan)).first;
  return found->second;
}

void ForgetStatementTexts() { translations.clear(); }

StatementReport::StatementReport(const Letterhead& letterhead, Date statement_date,
                                 char report_option)
    : letterhead_(letterhead),
      statement_date_(std::move(statement_date)),
      report_option_(report_option) {}

void PrintStoppedPage(const std::string& last_owner) {
  NewPage(kStatementPageLength);
  PrintDirective("@e");
  PrintAt(1, StatementText("*** EMISSIÓ ATURADA PER L'OPERADOR ***"_cp850), 2);
  PrintAt(1, StatementText("DARRER PROPIETARI EMÈS: "_cp850) + last_owner, 1);
}

void StatementReport::BeginProperty(ReportHeading heading) {
  heading_ = std::move(heading);
  page_counter_ = 0;
  section_started_ = false;
}

void StatementReport::PageHeading() {
  ++page_counter_;
  NewPage(kStatementPageLength);
  PrintDirective("@e");
  const std::string page_text = PageNumberText(page_counter_);
  if (page_counter_ == 1) {
    FirstPageHeading(page_text);
  } else {
    if (!heading_.letterhead) PrintAt(0, "", 7);
    PrintAt(1,
            TrimRight(PackedToDotted(heading_.property_key)) + " " +
                FormatDate(statement_date_, 0, "dma") + " " + ReorderName(heading_.owner_name),
            0);
    SetJustification("D");
    PrintAt(85, page_text, 2);
  }
  if (report_option_ == 'F') {
    PrintDirective("q");
    SetJustification("D");
    PrintAt(94, StatementText(" INGRESSOS"), 0);
    PrintAt(105, StatementText("  DESPESES"), 0);
    PrintAt(116, StatementText(" DEDUCCIÓ"_cp850), 0);
    PrintAt(126, StatementText(" RETENCIÓ"_cp850), 1);
    PrintAt(94, std::string(41, '-'), 1);
  }
}

void StatementReport::FirstPageHeading(const std::string& page_text) {
  const auto& texts = letterhead_.texts;
  if (heading_.letterhead) {
    const bool has_text6 = !IsAllChar(texts[5], ' ');
    PrintAt(1, texts[0], 1);
    if (has_text6) PrintAt(1, texts[5], 1);
    for (size_t i = 1; i <= 4; ++i) PrintAt(1, texts[i], 1);
    PrintAt(1, "N.I.F. " + texts[6], 0);
    if (!has_text6) PrintAt(0, "", 1);
  } else {
    PrintAt(0, "", 7);  // room for pre-printed letterhead paper
  }
  SetJustification("D");
  PrintAt(85, page_text, 2);

  PrintAt(1,
          StatementText("COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA ("_cp850) +
              PackedToDotted(heading_.property_key) + ")",
          0);
  PrintAt(54, ReorderName(heading_.owner_name), 1);
  PrintAt(1, ReorderName(heading_.property_description), 0);
  PrintAt(54, heading_.owner_address1, 1);

  const std::string date_line =
      StatementText("A DATA ") + FoldText(FormatDate(statement_date_, 2, "dma"));
  SetJustification("A");
  PrintAt(1, date_line, 0);
  SetJustification("E");
  PrintAt(54, heading_.owner_address2, 1);
  PrintAt(1, std::string(TrimRight(date_line).size(), '='), 0);
  PrintAt(54, heading_.owner_address3, 2);
  PrintAt(1, StatementText("N.I.F. PROPIETARI : ") + heading_.owner_tax_id, 2);
}

void StatementReport::SectionTitle(const StatementLine& line) {
  section_started_ = true;
  if (!account_layout()) return;
  std::string title;
  switch (line.kind) {
    case kUnitLine:
      title = StatementText("INGRESSOS :");
      break;
    case kExpenseLine:
    case kVatLine:
    case kDepreciationLine:
      // The depreciation is an expense too: when it opens the section it gets the same title.
      PrintAt(0, "", 1);
      title = StatementText("DESPESES :");
      break;
    default:
      // The reduction, exemption and subsidies lines belong to the summary, under no title of
      // their own.
      return;
  }
  if (LinesOnPage() > kTitleLimit) PageHeading();
  PrintDirective("u");
  PrintAt(1, title, 1);
  PrintDirective("u");
}

void StatementReport::PrintLine(const StatementLine& line) {
  if (line.kind > 0) {
    if (page_counter_ == 0) PageHeading();
    if (!section_started_) SectionTitle(line);
  } else {
    PrintAt(69, "-------------", 1);
  }
  if (LinesOnPage() > kLineLimit) PageHeading();
  if (line.kind == kTotalIncomeLine || line.kind == kTotalExpensesLine ||
      line.kind == kOperatingResultLine) {
    SetJustification(kTotalLeaders);
  }
  PrintAt(account_layout() ? 14 : 1, line.label, 0);
  SetJustification("D");
  if (account_layout()) {
    PrintAt(69, FormatAmount(kAccountAmountMask, line.amount), 1);
  } else {
    FiscalColumns(line);
  }
  if (line.kind == kFiscalResultLine) PrintAt(14, std::string(68, '='), 1);
  if (line_observer_ != nullptr) (*line_observer_)(heading_, line);
}

void StatementReport::FiscalColumns(const StatementLine& line) {
  const bool unit_line = line.kind != kSubsidiesLine && line.unit != nullptr;
  if (unit_line) {
    const UnitFigures& unit = *line.unit;
    PrintAt(42, unit.reference.substr(0, 11), 0);
    PrintAt(54, FormatDate(unit.contract_date, 0, "dma"), 0);
    std::string type;
    if (unit.contract_type == 'P') {
      type = StatementText("PROPIET");
    } else if (line.kind == kNonHousingLine) {
      type = StatementText("LOCAL");
    } else {
      type = StatementText("HAB.") +
             RateText(line.kind == kGeneralHousingLine ? unit.general_rate : unit.young_rate);
    }
    PrintAt(65, type, 0);
    PrintAt(73,
            IsAllChar(unit.cadastral_ref, ' ') ? StatementText("**sense ref.cadas.**")
                                               : unit.cadastral_ref,
            0);
  }
  PrintAt(94, FormatAmount(kFiscalAmountMask, line.amount), 0);
  if (unit_line) {
    PrintAt(105, FormatAmount(kFiscalAmountMask, line.allocated_expenses), 0);
    PrintAt(116, FormatAmount(kFiscalDeductionMask, 0.0 - line.deduction), 0);
    PrintAt(126, FormatAmount(kFiscalDeductionMask, 0.0 - line.retention), 0);
  }
  PrintAt(0, "", 1);
}

}  // namespace quarnell
