#include "app/statement.h"

#include <cfloat>
#include <cstdint>
#include <string>

#include "app/rental_reader.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/masks.h"

// Amounts that land exactly on half a cent round the way the statement's figures always have only
// when every expression is evaluated with a 64-bit mantissa; a plain double evaluation can move
// such a figure by a cent.
static_assert(LDBL_MANT_DIG == 64,
              "the statement needs long double with a 64-bit mantissa (80-bit extended precision, "
              "as on x86-64): half-cent ties would round differently on this platform");

namespace quarnell {
namespace {

// Rates held as single-precision constants widened to double, as the tax tables always were:
// 0.7 is 0.699999988079071 and 0.6 is 0.6000000238418579; 0.5 and 1 are exact.
constexpr double kRate70 = static_cast<double>(0.7f);
constexpr double kRate60 = static_cast<double>(0.6f);
constexpr double kRate50 = 0.5;
constexpr double kRate100 = 1.0;

// A rounded amount negated without a negative zero and without overflow at the 32-bit end.
double Negated(int32_t value) { return static_cast<double>(-static_cast<int64_t>(value)); }

// The two passes over the figures of one property, with the accumulators they share.
class PropertyComputation {
 public:
  PropertyComputation(const PropertyFigures& figures, const StatementSettings& settings,
                      bool personal_taxpayer, StatementReport& report)
      : figures_(figures),
        option_(settings.report_option),
        personal_taxpayer_(personal_taxpayer),
        report_(report) {}

  void Run() {
    pass_ = 1;
    ExpensesPass();
    IncomePass();
    housing_reduction_ = 0;
    housing_exemption_ = 0;
    if (option_ == 'N') {
      pass_ = 2;
      IncomePass();
      ExpensesPass();
    }
    // With the fiscal layout the pass is still the totals pass here: nothing of this prints.
    for (int16_t kind : {kTotalExpensesLine, kOperatingResultLine, kReductionLine, kExemptionLine,
                         kSubsidiesLine, kFiscalResultLine}) {
      EmitLine(kind);
    }
    if (option_ == 'F') {
      pass_ = 2;
      IncomePass();
    }
  }

 private:
  void ExpensesPass() {
    report_.StartSection();
    non_deductible_vat_ = 0;
    subsidies_ = 0;
    if (pass_ == 1) {
      total_expenses_ = 0;
      line_amount_ = 0;
    }
    for (const ExpenseRun& run : figures_.expenses) {
      expense_label_ = &run.label;
      line_amount_ = run.amount;
      EmitLine(kExpenseLine);
    }
    non_deductible_vat_ = figures_.non_deductible_vat;
    subsidies_ = figures_.subsidies;
    EmitLine(kVatLine);
    EmitLine(kDepreciationLine);
  }

  void IncomePass() {
    report_.StartSection();
    if (pass_ == 1) total_income_ = 0;
    for (const UnitFigures& unit : figures_.units) {
      unit_ = &unit;
      line_amount_ = unit.net_collections;
      general_housing_income_ = 0;
      young_housing_income_ = 0;
      other_income_ = 0;
      unit_retention_ = unit.retention;
      if (IsHousing(unit)) {
        // The young part is rounded to the cent and the general part is the rest, so the two
        // printed parts always add up to the unit's collections.
        young_housing_income_ =
            RoundHalfEven(static_cast<long double>(line_amount_) * unit.young_share);
        general_housing_income_ =
            static_cast<double>(static_cast<long double>(line_amount_) - young_housing_income_);
      } else {
        other_income_ = static_cast<double>(static_cast<long double>(other_income_) + line_amount_);
      }
      if (pass_ == 2 && personal_taxpayer_ && total_income_ != 0) {
        housing_reduction_ = static_cast<double>(
            housing_reduction_ + HousingDeduction(unit.general_rate, general_housing_income_));
        housing_exemption_ = static_cast<double>(
            housing_exemption_ + HousingDeduction(unit.young_rate, young_housing_income_));
      }
      if (pass_ == 2 && option_ == 'F') {
        const bool nothing_prints =
            other_income_ == 0 && general_housing_income_ == 0 && young_housing_income_ == 0;
        EmitLine(kNonHousingLine);
        EmitLine(kGeneralHousingLine);
        EmitLine(kYoungHousingLine);
        // A retention is deducted in the owner's return even when the unit's net collections
        // are 0, so it gets a line of its own rather than vanish.
        if (nothing_prints && unit_retention_ != 0) {
          StatementLine line;
          line.kind = IsHousing(unit) ? kGeneralHousingLine : kNonHousingLine;
          PrintLine(line);
        }
      } else {
        EmitLine(kUnitLine);
      }
    }
    unit_ = nullptr;
    if (pass_ == 2 && option_ == 'F') EmitLine(kSubsidiesLine);
    EmitLine(kTotalIncomeLine);
  }

  static bool IsHousing(const UnitFigures& unit) {
    return unit.contract_type == 'V' || unit.contract_type == 'O';
  }

  // The part of the property's net result that falls to `income`, at `rate`, as a reduction,
  // never above 0. A property without a net profit has nothing to reduce: without this test a
  // dwelling with negative income (a refund) would turn the loss into a reduction that deepens it.
  // REQUIRES: total_income_ != 0.
  double HousingDeduction(double rate, double income) const {
    const long double net_result = static_cast<long double>(total_expenses_) + total_income_;
    if (!(net_result > 0)) return 0;
    const long double share = static_cast<long double>(rate) * net_result / total_income_ * income;
    const double deduction = Negated(RoundHalfEven(share));
    return deduction > 0 ? 0 : deduction;
  }

  void EmitLine(int16_t kind) {
    StatementLine line;
    line.kind = kind;
    switch (kind) {
      case kNonHousingLine:
      case kGeneralHousingLine:
      case kYoungHousingLine:
        line_amount_ = kind == kNonHousingLine       ? other_income_
                       : kind == kGeneralHousingLine ? general_housing_income_
                                                     : young_housing_income_;
        if (total_income_ != 0) {
          line.allocated_expenses = Negated(RoundHalfEven(
              static_cast<long double>(total_expenses_) / total_income_ * line_amount_));
          if (personal_taxpayer_ && kind != kNonHousingLine) {
            line.deduction = HousingDeduction(
                kind == kGeneralHousingLine ? unit_->general_rate : unit_->young_rate,
                line_amount_);
          }
        }
        break;
      case kVatLine:
        line_amount_ = non_deductible_vat_;
        break;
      case kReductionLine:
        line_amount_ = housing_reduction_;
        break;
      case kExemptionLine:
        line_amount_ = housing_exemption_;
        break;
      case kDepreciationLine:
        line_amount_ = figures_.depreciation_total;
        break;
      case kSubsidiesLine:
        line_amount_ = subsidies_;
        break;
      case kTotalIncomeLine:
        line_amount_ = total_income_;
        break;
      case kTotalExpensesLine:
        line_amount_ = total_expenses_;
        break;
      case kOperatingResultLine:
        line_amount_ =
            static_cast<double>(static_cast<long double>(total_expenses_) + total_income_);
        break;
      case kFiscalResultLine:
        line_amount_ =
            static_cast<double>(static_cast<long double>(total_expenses_) + total_income_ +
                                housing_reduction_ + housing_exemption_ + subsidies_);
        break;
      default:  // units and expense concepts carry the running line amount
        break;
    }

    if (pass_ == 2 && Prints(kind)) PrintLine(line);

    if (pass_ == 1) {
      if (kind == kUnitLine) {
        total_income_ = static_cast<double>(static_cast<long double>(total_income_) + line_amount_);
      } else if (kind == kExpenseLine || kind == kVatLine || kind == kDepreciationLine) {
        total_expenses_ =
            static_cast<double>(static_cast<long double>(total_expenses_) + line_amount_);
      }
    }
    line_amount_ = 0;
  }

  // Prints `line` (its kind, and for unit lines its allocated expenses and deduction, already set)
  // with the current line amount, its label and the unit's figures.
  void PrintLine(StatementLine& line) {
    line.amount = line_amount_;
    line.label = Label(line.kind);
    if (unit_ != nullptr && line.kind >= kUnitLine && line.kind <= kYoungHousingLine) {
      line.unit = unit_;
      if (line.kind != kUnitLine) line.retention = unit_retention_;
    }
    report_.PrintLine(line);
    // The fiscal layout shows a unit's retention on its first printed line only.
    if (option_ == 'F') unit_retention_ = 0;
  }

  bool Prints(int16_t kind) const {
    switch (kind) {
      case kTotalIncomeLine:
        return option_ != 'F' && report_.section_started();
      case kTotalExpensesLine:
        return report_.section_started();
      case kOperatingResultLine:
        return housing_reduction_ != 0 || housing_exemption_ != 0;
      case kFiscalResultLine:
        return report_.page_counter() != 0;
      default:
        return line_amount_ != 0;
    }
  }

  // The label of a line about to print, translated into the language in force.
  std::string Label(int16_t kind) const {
    switch (kind) {
      case kUnitLine:
      case kNonHousingLine:
      case kGeneralHousingLine:
      case kYoungHousingLine:
        return ReorderName(unit_->description);
      case kExpenseLine:
        return *expense_label_;
      case kVatLine:
        return StatementText("I.V.A. NO DEDUÏT "_cp850);
      case kReductionLine:
        return StatementText("REDUCCIÓ RESULTATS HABITATGES "_cp850);
      case kExemptionLine:
        return StatementText("EXEMPCIÓ RESULTATS HABITATGES "_cp850);
      case kDepreciationLine:
        return StatementText("AMORTITZACIÓ IMMOBLE "_cp850);
      case kSubsidiesLine:
        return StatementText("SUBVENCIONS ");
      case kTotalIncomeLine:
        return StatementText("TOTAL INGRESSOS ");
      case kTotalExpensesLine:
        return StatementText("TOTAL DESPESES ");
      case kOperatingResultLine:
        return line_amount_ < 0 ? StatementText("PÈRDUES EXPLOTACIÓ "_cp850)
                                : StatementText("BENEFICIS EXPLOTACIÓ "_cp850);
      case kFiscalResultLine:
        return line_amount_ < 0 ? StatementText("PÈRDUES FISCALS "_cp850)
                                : StatementText("BENEFICIS FISCALS ");
      default:
        return {};
    }
  }

  const PropertyFigures& figures_;
  const char option_;
  const bool personal_taxpayer_;
  StatementReport& report_;

  int pass_ = 1;
  double total_income_ = 0;
  double total_expenses_ = 0;
  double non_deductible_vat_ = 0;
  double subsidies_ = 0;
  double housing_reduction_ = 0;
  double housing_exemption_ = 0;
  double line_amount_ = 0;
  const std::string* expense_label_ = nullptr;

  const UnitFigures* unit_ = nullptr;
  double general_housing_income_ = 0;
  double young_housing_income_ = 0;
  double other_income_ = 0;
  double unit_retention_ = 0;
};

}  // namespace

bool PersonalTaxpayer(std::string_view tax_id) {
  constexpr std::string_view kPersonMarks = "0123456789KLMXYZEGHJUV";
  return tax_id.size() >= 3 && tax_id.starts_with("ES") &&
         kPersonMarks.find(tax_id[2]) != std::string_view::npos;
}

UnitRates RatesFor(const Date& statement_date, const Date& contract_date) {
  const int32_t s = DateNumber(statement_date);
  const int32_t c = DateNumber(contract_date);
  UnitRates rates;
  if (s > 20231231) {
    rates.general_rate = c > 20230225 ? kRate50 : kRate60;
  } else if (s > 20101231) {
    rates.general_rate = kRate60;
  } else if (s > 20061231) {
    rates.general_rate = kRate50;
  }
  if (c > 20230225) {
    rates.young_rate = kRate70;
    rates.young_age_limit = 35;
  } else if (c > 20141231) {
    // No young-tenant rate for contracts of these years.
  } else if (c > 20101231) {
    rates.young_rate = kRate100;
    rates.young_age_limit = 31;
  } else if (c > 20061231) {
    rates.young_rate = kRate100;
    rates.young_age_limit = 36;
  }
  return rates;
}

long double YoungTenantWeight(const Date& birth_date, const Date& statement_date,
                              int32_t age_limit) {
  if (IsAllChar(birth_date, 128)) return 0;
  const int32_t age = DateDiff(birth_date, statement_date, 'A');
  if (age < 18 || age > age_limit) return 0;
  const std::string year = statement_date.substr(0, 2);
  const Date birthday = year + birth_date.substr(2, 2);
  const Date first_day = year + PackDigits("0101");
  const Date last_day = year + PackDigits("1231");
  const long double year_days = DateDiff(first_day, last_day, 'D');
  if (age == 18) return DateDiff(birthday, last_day, 'D') / year_days;
  if (age == age_limit) return DateDiff(first_day, birthday, 'D') / year_days;
  return 1;
}

void ComputeStatement(const PropertyFigures& figures, const StatementSettings& settings,
                      bool personal_taxpayer, StatementReport& report) {
  PropertyComputation(figures, settings, personal_taxpayer, report).Run();
}

void PropertyStatement(const ReportHeading& heading, const StatementSettings& settings,
                       bool personal_taxpayer, RentalReader& reader, StatementReport& report) {
  constexpr size_t kPropertyKeyLength = 4;
  report.BeginProperty(heading);
  ComputeStatement(
      reader.ReadProperty(heading.property_key.substr(0, kPropertyKeyLength), settings), settings,
      personal_taxpayer, report);
}

}  // namespace quarnell
