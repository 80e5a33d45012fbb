#include "app/statement.h"

#include <cstdint>
#include <string>

#include "app/depreciation.h"
#include "app/rental_files.h"
#include "config/translate.h"
#include "records/record_files.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/masks.h"

namespace quarnell {
namespace {

// Rates held as single-precision constants widened to double, as the tax tables always were:
// 0.7 is 0.699999988079071 and 0.6 is 0.6000000238418579; 0.5 and 1 are exact.
constexpr double kRate70 = static_cast<double>(0.7f);
constexpr double kRate60 = static_cast<double>(0.6f);
constexpr double kRate50 = 0.5;
constexpr double kRate100 = 1.0;

constexpr FieldLayout kAssetMethod = RentalField("VAmortit", "method");
constexpr FieldLayout kAssetCost = RentalField("VAmortit", "cost");
constexpr FieldLayout kAssetRate = RentalField("VAmortit", "rate");
constexpr FieldLayout kAssetLife = RentalField("VAmortit", "life");
constexpr FieldLayout kAssetStart = RentalField("VAmortit", "start");

constexpr FieldLayout kPaymentDate = RentalField("VPagos", "date");
constexpr FieldLayout kPaymentConcept = RentalField("VPagos", "concept");
constexpr FieldLayout kPaymentDescription = RentalField("VPagos", "description");
constexpr FieldLayout kPaymentAmount = RentalField("VPagos", "amount");
constexpr FieldLayout kPaymentBase = RentalField("VPagos", "base");
constexpr FieldLayout kPaymentVat = RentalField("VPagos", "vat");
constexpr FieldLayout kPaymentKind = RentalField("VPagos", "kind");
constexpr FieldLayout kPaymentSupplier = RentalField("VPagos", "supplier");
constexpr FieldLayout kPaymentState = RentalField("VPagos", "state");
constexpr FieldLayout kSupplierSubsidy = RentalField("Industri", "subsidy");
constexpr FieldLayout kConceptDescription = RentalField("VDespesa", "description");
constexpr FieldLayout kChargeDate = RentalField("VCapPeri", "date");
constexpr FieldLayout kChargeAmount = RentalField("VCapPeri", "amount");

constexpr FieldLayout kUnitDescription = RentalField("VDepBase", "description");
constexpr FieldLayout kUnitReference = RentalField("VDepBase", "reference");
constexpr FieldLayout kContractType = RentalField("VDepCont", "type");
constexpr FieldLayout kContractDate = RentalField("VDepCont", "date");
constexpr FieldLayout kCadastralRef = RentalField("VDepCada", "cadastral_ref");
constexpr FieldLayout kTenantBirthDate = RentalField("VLlogate", "birth_date");
constexpr FieldLayout kTenantYoung = RentalField("VLlogate", "young");
constexpr FieldLayout kCollectionDate = RentalField("VCobros", "date");
constexpr FieldLayout kCollectionAmount = RentalField("VCobros", "amount");
constexpr FieldLayout kCollectionDeducted1 = RentalField("VCobros", "deducted1");
constexpr FieldLayout kCollectionDeducted2 = RentalField("VCobros", "deducted2");
constexpr FieldLayout kCollectionRetention = RentalField("VCobros", "retention");

constexpr size_t kPropertyKeyLength = 4;
constexpr size_t kUnitKeyLength = 6;

uint64_t records_read = 0;

// A date of the statement's year up to the statement date.
bool InStatementPeriod(const Date& date, const Date& statement_date) {
  return date.compare(0, 2, statement_date, 0, 2) == 0 && date <= statement_date;
}

bool StartsWith(std::span<const char> record, std::string_view key) {
  return record.size() >= key.size() && std::string_view(record.data(), key.size()) == key;
}

// A rounded amount negated without a negative zero and without overflow at the 32-bit end.
double Negated(int32_t value) { return static_cast<double>(-static_cast<int64_t>(value)); }

// Reads on key 0 that count the records they deliver.
int16_t ReadFirst(int16_t file_number, std::string_view key, int16_t direction) {
  int16_t status = GetByKeyStatus(file_number, 0, key, direction);
  if (status == 0) ++records_read;
  return status;
}

int16_t ReadNext(int16_t file_number) {
  int16_t status = 0;
  ReadStep(file_number, 1, status);
  if (status == 0) ++records_read;
  return status;
}

double PropertyDepreciation(const std::string& property_key, const Date& statement_date) {
  double total = 0;
  int16_t status = 0;
  SetKeyRange(kAssetFile, 0, property_key, property_key, status);
  if (status != 0) return total;
  std::span<const char> asset = RecordArea(kAssetFile);
  while (ReadInRange(kAssetFile) == 0) {
    ++records_read;
    const double share = Depreciation(ReadChar(asset, kAssetMethod), ReadInt16(asset, kAssetLife),
                                      ReadAmount(asset, kAssetCost), ReadInt16(asset, kAssetRate),
                                      ReadDate(asset, kAssetStart), statement_date);
    total = static_cast<double>(static_cast<long double>(total) - share);
  }
  return total;
}

// The payments walk: the payments of one property come together in key order, so the walk starts
// at the property key and stops at the next property; what it builds is what a walk over all the
// owner's payments filtered on the property key would build.
void ReadExpenses(const std::string& property_key, const StatementSettings& settings,
                  PropertyFigures& figures) {
  const ParameterValues& parameters = settings.parameters;
  std::span<const char> payment = RecordArea(kPaymentFile);
  std::span<const char> concept_record = RecordArea(kConceptFile);
  std::span<const char> supplier = RecordArea(kSupplierFile);
  const std::string no_supplier = PackDigits("0000");

  bool first_concept = true;
  std::string previous_concept;
  std::string label;
  double line_amount = 0;
  // Closes the line of the concept in progress. A line whose sum is 0 neither prints nor counts.
  auto close_line = [&] {
    if (line_amount != 0) figures.expenses.push_back({label, line_amount});
    line_amount = 0;
  };

  int16_t status = ReadFirst(kPaymentFile, property_key, 1);
  while (status == 0 && StartsWith(payment, property_key)) {
    if (InStatementPeriod(ReadDate(payment, kPaymentDate), settings.statement_date) &&
        ReadChar(payment, kPaymentState) == 'N' && ReadChar(payment, kPaymentKind) == 'P') {
      const std::string concept_code = ReadText(payment, kPaymentConcept);
      if (first_concept || concept_code != previous_concept) {
        close_line();
        first_concept = false;
        previous_concept = concept_code;
        // A concept missing from the concept file keeps the description of its first payment.
        if (ReadFirst(kConceptFile, concept_code, 0) == 0) {
          label = ReadText(concept_record, kConceptDescription);
        } else {
          label = ReadText(payment, kPaymentDescription);
        }
      }

      const int32_t amount = ReadAmount(payment, kPaymentAmount);
      const std::string supplier_code = ReadCode(payment, kPaymentSupplier);
      if (supplier_code > no_supplier && amount < 0 &&
          ReadFirst(kSupplierFile, supplier_code, 0) == 0 &&
          ReadChar(supplier, kSupplierSubsidy) == 'D') {
        figures.subsidies =
            static_cast<double>(static_cast<long double>(figures.subsidies) - amount);
      } else {
        const int32_t vat = ReadAmount(payment, kPaymentVat);
        if (concept_code == parameters.fee_concept ||
            (concept_code == parameters.outlay_concept && parameters.outlay_flag == 'S')) {
          line_amount = static_cast<double>(static_cast<long double>(line_amount) -
                                            ReadAmount(payment, kPaymentBase));
        } else {
          line_amount = static_cast<double>(static_cast<long double>(line_amount) - amount + vat);
        }
        figures.non_deductible_vat =
            static_cast<double>(static_cast<long double>(figures.non_deductible_vat) - vat);
        // A payment without concept is a line of its own, under its own description.
        if (IsAllChar(concept_code, ' ')) {
          label = ReadText(payment, kPaymentDescription);
          close_line();
        }
      }
    }
    status = ReadNext(kPaymentFile);
  }
  close_line();

  std::span<const char> charge = RecordArea(kChargeFile);
  status = ReadFirst(kChargeFile, property_key, 1);
  while (status == 0 && StartsWith(charge, property_key)) {
    if (InStatementPeriod(ReadDate(charge, kChargeDate), settings.statement_date)) {
      figures.non_deductible_vat = static_cast<double>(
          static_cast<long double>(figures.non_deductible_vat) + ReadAmount(charge, kChargeAmount));
    }
    status = ReadNext(kChargeFile);
  }
}

void ReadUnitTenants(const std::string& unit_key, const Date& statement_date, UnitFigures& unit) {
  std::span<const char> tenant = RecordArea(kTenantFile);
  int32_t count = 0;
  double young = 0;
  int16_t status = ReadFirst(kTenantFile, unit_key, 1);
  while (status == 0 && StartsWith(tenant, unit_key)) {
    if (ReadInt32(tenant, kTenantYoung) != 0) {
      young = static_cast<double>(young + YoungTenantWeight(ReadDate(tenant, kTenantBirthDate),
                                                            statement_date, unit.young_age_limit));
    }
    ++count;
    status = ReadNext(kTenantFile);
  }
  unit.young_share = count > 0 && unit.young_rate > 0
                         ? static_cast<double>(static_cast<long double>(young) / count)
                         : 0;
}

void ReadUnitCollections(const std::string& unit_key, const Date& statement_date,
                         UnitFigures& unit) {
  std::span<const char> collection = RecordArea(kCollectionFile);
  int16_t status = ReadFirst(kCollectionFile, unit_key, 1);
  while (status == 0 && StartsWith(collection, unit_key)) {
    if (InStatementPeriod(ReadDate(collection, kCollectionDate), statement_date)) {
      const int32_t retention = ReadAmount(collection, kCollectionRetention);
      unit.net_collections = static_cast<double>(
          static_cast<long double>(unit.net_collections) +
          ReadAmount(collection, kCollectionAmount) - ReadAmount(collection, kCollectionDeducted1) -
          ReadAmount(collection, kCollectionDeducted2) - retention);
      unit.retention = static_cast<double>(static_cast<long double>(unit.retention) + retention);
    }
    status = ReadNext(kCollectionFile);
  }
}

void ReadUnits(const std::string& property_key, const Date& statement_date,
               PropertyFigures& figures) {
  std::span<const char> unit_record = RecordArea(kUnitFile);
  std::span<const char> contract = RecordArea(kContractFile);
  std::span<const char> cadastre = RecordArea(kCadastreFile);
  int16_t status = ReadFirst(kUnitFile, property_key, 1);
  while (status == 0 && StartsWith(unit_record, property_key)) {
    const std::string unit_key(unit_record.data(), kUnitKeyLength);
    UnitFigures unit;
    unit.description = ReadText(unit_record, kUnitDescription);
    unit.reference = ReadText(unit_record, kUnitReference);
    // Without its own records a unit has an empty contract and no cadastral reference; the
    // record areas still hold the previous unit's, which must not be taken for this one's.
    if (ReadFirst(kContractFile, unit_key, 0) == 0) {
      unit.contract_type = ReadChar(contract, kContractType);
      unit.contract_date = ReadDate(contract, kContractDate);
    }
    if (ReadFirst(kCadastreFile, unit_key, 0) == 0) {
      unit.cadastral_ref = ReadText(cadastre, kCadastralRef);
    }
    const UnitRates rates = RatesFor(statement_date, unit.contract_date);
    unit.general_rate = rates.general_rate;
    unit.young_rate = rates.young_rate;
    unit.young_age_limit = rates.young_age_limit;
    ReadUnitTenants(unit_key, statement_date, unit);
    ReadUnitCollections(unit_key, statement_date, unit);
    figures.units.push_back(std::move(unit));
    status = ReadNext(kUnitFile);
  }
}

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
      if (unit.contract_type == 'V' || unit.contract_type == 'O') {
        general_housing_income_ =
            static_cast<double>(general_housing_income_ +
                                static_cast<long double>(line_amount_) * (1.0L - unit.young_share));
        young_housing_income_ = static_cast<double>(
            young_housing_income_ + static_cast<long double>(line_amount_) * unit.young_share);
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
        EmitLine(kNonHousingLine);
        EmitLine(kGeneralHousingLine);
        EmitLine(kYoungHousingLine);
      } else {
        EmitLine(kUnitLine);
      }
    }
    unit_ = nullptr;
    if (pass_ == 2 && option_ == 'F') EmitLine(kSubsidiesLine);
    EmitLine(kTotalIncomeLine);
  }

  // The part of the property's net result that falls to `income`, at `rate`, as a reduction
  // (never above 0: a loss reduces nothing).
  // REQUIRES: total_income_ != 0.
  double HousingDeduction(double rate, double income) const {
    const long double share = static_cast<long double>(rate) *
                              (static_cast<long double>(total_expenses_) + total_income_) /
                              total_income_ * income;
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

    if (pass_ == 2 && Prints(kind)) {
      line.amount = line_amount_;
      line.label = Label(kind);
      if (unit_ != nullptr && kind >= kNonHousingLine && kind <= kYoungHousingLine) {
        line.unit = unit_;
        line.retention = unit_retention_;
      }
      report_.PrintLine(line);
      // The fiscal layout shows a unit's retention on its first printed line only.
      if (option_ == 'F') unit_retention_ = 0;
    }

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
        return Translate("I.V.A. NO DEDUÏT "_cp850);
      case kReductionLine:
        return Translate("REDUCCIÓ RESULTATS HABITATGES "_cp850);
      case kExemptionLine:
        return Translate("EXEMPCIÓ RESULTATS HABITATGES "_cp850);
      case kDepreciationLine:
        return Translate("AMORTITZACIÓ IMMOBLE "_cp850);
      case kSubsidiesLine:
        return Translate("SUBVENCIONS ");
      case kTotalIncomeLine:
        return Translate("TOTAL INGRESSOS ");
      case kTotalExpensesLine:
        return Translate("TOTAL DESPESES ");
      case kOperatingResultLine:
        return line_amount_ < 0 ? Translate("PÈRDUES EXPLOTACIÓ "_cp850)
                                : Translate("BENEFICIS EXPLOTACIÓ "_cp850);
      case kFiscalResultLine:
        return line_amount_ < 0 ? Translate("PÈRDUES FISCALS "_cp850)
                                : Translate("BENEFICIS FISCALS ");
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

PropertyFigures ReadPropertyFigures(const std::string& property_key,
                                    const StatementSettings& settings) {
  PropertyFigures figures;
  figures.depreciation_total = PropertyDepreciation(property_key, settings.statement_date);
  ReadExpenses(property_key, settings, figures);
  ReadUnits(property_key, settings.statement_date, figures);
  return figures;
}

void ComputeStatement(const PropertyFigures& figures, const StatementSettings& settings,
                      bool personal_taxpayer, StatementReport& report) {
  PropertyComputation(figures, settings, personal_taxpayer, report).Run();
}

void PropertyStatement(const ReportHeading& heading, const StatementSettings& settings,
                       bool personal_taxpayer, StatementReport& report) {
  report.BeginProperty(heading);
  ComputeStatement(
      ReadPropertyFigures(heading.property_key.substr(0, kPropertyKeyLength), settings), settings,
      personal_taxpayer, report);
}

uint64_t StatementRecordsRead() { return records_read; }
void CountStatementRecordRead() { ++records_read; }
void ResetStatementRecordsRead() { records_read = 0; }

}  // namespace quarnell
