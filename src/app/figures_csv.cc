#include "app/figures_csv.h"

#include <chrono>
#include <vector>

#include "app/csv.h"
#include "config/paths.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/masks.h"

namespace quarnell {
namespace {

constexpr char kHeader[] =
    "owner,tax_id,property,unit,unit_name,cadastral_ref,contract_date,contract_type,line,rate,"
    "income,allocated_expenses,deduction,retention\n";

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// "2023-06-01", empty for the empty date.
std::string IsoDate(const Date& date) {
  if (IsAllChar(date, 128)) return {};
  const std::string digits = ZeroPad(DateNumber(date), 8);
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
}

const char* LineName(int16_t kind) {
  switch (kind) {
    case kNonHousingLine:
      return "non-housing";
    case kGeneralHousingLine:
      return "housing";
    case kYoungHousingLine:
      return "young housing";
    default:
      return "account";
  }
}

// The rate the line prints, as the fiscal layout shows it ("HAB. 60"); empty where it prints none.
std::string RateOf(const StatementLine& line) {
  if (line.unit->contract_type == 'P') return {};
  if (line.kind == kGeneralHousingLine) return std::to_string(RatePercent(line.unit->general_rate));
  if (line.kind == kYoungHousingLine) return std::to_string(RatePercent(line.unit->young_rate));
  return {};
}

}  // namespace

bool FiguresFile::Open(const std::string& path, std::string* problem) {
  path_ = path;
  RemoveLeftoverFiles(HostDirectoryOf(path), HostFileName(path), std::chrono::system_clock::now());
  if (!file_.Create(path, problem)) return false;
  std::fputs(kHeader, file_.file());
  return true;
}

void FiguresFile::Add(const ReportHeading& heading, const StatementLine& line) {
  if (line.unit == nullptr || line.kind < kUnitLine || line.kind > kYoungHousingLine) return;
  const UnitFigures& unit = *line.unit;
  const bool fiscal = line.kind != kUnitLine;
  std::vector<std::string> fields = {
      Trimmed(PackedToDotted(heading.property_key.substr(0, 2))),
      Cp850ToUtf8(Trimmed(heading.owner_tax_id)),
      Trimmed(PackedToDotted(heading.property_key)),
      Trimmed(PackedToDotted(unit.key)),
      Cp850ToUtf8(ReorderName(unit.description)),
      Cp850ToUtf8(Trimmed(unit.cadastral_ref)),
      IsoDate(unit.contract_date),
      Cp850ToUtf8(Trimmed(std::string(1, unit.contract_type))),
      LineName(line.kind),
      fiscal ? RateOf(line) : "",
      PlainAmount(line.amount),
      // The fiscal layout prints the deduction and the retention as their negatives.
      fiscal ? PlainAmount(line.allocated_expenses) : "",
      fiscal ? PlainAmount(0.0 - line.deduction) : "",
      fiscal ? PlainAmount(0.0 - line.retention) : "",
  };
  row_.clear();
  AppendCsvRow(&row_, fields);
  std::fwrite(row_.data(), 1, row_.size(), file_.file());
}

bool FiguresFile::Close(std::string* problem) { return file_.Replace(path_, problem); }

}  // namespace quarnell
