#include "app/rental_reader.h"

#include <algorithm>

#include "app/depreciation.h"
#include "app/rental_fields.h"
#include "app/rental_files.h"
#include "records/record_files.h"
#include "text/folding.h"

namespace quarnell {
namespace {

constexpr size_t kUnitKeyLength = 6;
// Records a walk steps over before it positions the file by key instead (an owner skipped, a
// stretch of records that belong to nothing read).
constexpr int kMaxSkippedRecords = 32;

uint64_t records_read = 0;

// A date of the statement's year up to the statement date.
bool InStatementPeriod(const Date& date, const Date& statement_date) {
  return date.compare(0, 2, statement_date, 0, 2) == 0 && date <= statement_date;
}

// The accumulators are doubles; each sum is formed in extended precision and stored.
double Add(double total, long double value) {
  return static_cast<double>(static_cast<long double>(total) + value);
}

}  // namespace

uint64_t StatementRecordsRead() { return records_read; }
void ResetStatementRecordsRead() { records_read = 0; }
void CountStatementRecordRead() { ++records_read; }

ForwardWalk::ForwardWalk(int16_t file_number)
    : file_number_(file_number), record_(RecordArea(file_number)) {}

std::string_view ForwardWalk::Leading(size_t length) const {
  return std::string_view(record_.data(), std::min(length, record_.size()));
}

bool ForwardWalk::Step() {
  int16_t status = 0;
  ReadStep(file_number_, 1, status);
  if (CheckRead(file_number_, status) == 0) {
    ++records_read;
    return true;
  }
  // At the end of the file no later key can be found; after a key not found the next seek
  // positions the file again.
  state_ = status == kRecordEndOfFile ? State::kAtEnd : State::kUnpositioned;
  return false;
}

bool ForwardWalk::Seek(std::string_view key) {
  // A key sought again, or a smaller one, lies behind the walk.
  if (state_ != State::kUnpositioned && key <= std::string_view(last_key_)) {
    state_ = State::kUnpositioned;
  }
  last_key_.assign(key);
  if (state_ == State::kAtEnd) return false;
  if (state_ == State::kPositioned) {
    for (int skipped = 0; Leading(key.size()) < key; ++skipped) {
      if (skipped == kMaxSkippedRecords) {
        state_ = State::kUnpositioned;
        break;
      }
      if (!Step()) return false;
    }
    if (state_ == State::kPositioned) return Leading(key.size()) == key;
  }
  const int16_t status = CheckRead(file_number_, GetByKeyStatus(file_number_, 0, key, 1));
  if (status != 0) {
    state_ = status == kRecordEndOfFile ? State::kAtEnd : State::kUnpositioned;
    return false;
  }
  ++records_read;
  state_ = State::kPositioned;
  return Leading(key.size()) == key;
}

bool ForwardWalk::NextWith(std::string_view key) {
  return state_ == State::kPositioned && Step() && Leading(key.size()) == key;
}

RentalReader::RentalReader()
    : assets_(kAssetFile),
      payments_(kPaymentFile),
      charges_(kChargeFile),
      units_(kUnitFile),
      contracts_(kContractFile),
      cadastre_(kCadastreFile),
      tenants_(kTenantFile),
      collections_(kCollectionFile) {}

PropertyFigures RentalReader::ReadProperty(const std::string& property_key,
                                           const StatementSettings& settings) {
  PropertyFigures figures;
  figures.depreciation_total = Depreciation(property_key, settings.statement_date);
  Expenses(property_key, settings, figures);
  Units(property_key, settings.statement_date, figures);
  return figures;
}

bool RentalReader::SectionLetterhead(char section_code) {
  auto found = sections_.find(section_code);
  if (found != sections_.end()) return found->second;
  // A section that is not found leaves the flag planted here: the letterhead prints.
  std::span<char> section = RecordArea(kSectionFile);
  section[static_cast<size_t>(kSectionLetterheadFlag.offset)] = 'S';
  if (CheckRead(kSectionFile, GetByKeyStatus(kSectionFile, 0, std::string(1, section_code), 0)) ==
      0) {
    ++records_read;
  }
  const bool letterhead = ReadChar(section, kSectionLetterheadFlag) == 'S';
  sections_.emplace(section_code, letterhead);
  return letterhead;
}

const std::optional<std::string>& RentalReader::ConceptDescription(
    const std::string& concept_code) {
  auto found = concepts_.find(concept_code);
  if (found != concepts_.end()) return found->second;
  std::optional<std::string> description;
  if (CheckRead(kConceptFile, GetByKeyStatus(kConceptFile, 0, concept_code, 0)) == 0) {
    ++records_read;
    description = ReadText(RecordArea(kConceptFile), kConceptDescription);
  }
  return concepts_.emplace(concept_code, std::move(description)).first->second;
}

bool RentalReader::SubsidySupplier(const std::string& supplier_code) {
  auto found = suppliers_.find(supplier_code);
  if (found != suppliers_.end()) return found->second;
  bool subsidy = false;
  if (CheckRead(kSupplierFile, GetByKeyStatus(kSupplierFile, 0, supplier_code, 0)) == 0) {
    ++records_read;
    subsidy = ReadChar(RecordArea(kSupplierFile), kSupplierSubsidyFlag) == 'D';
  }
  suppliers_.emplace(supplier_code, subsidy);
  return subsidy;
}

double RentalReader::Depreciation(const std::string& property_key, const Date& statement_date) {
  double total = 0;
  std::span<const char> asset = assets_.record();
  for (bool found = assets_.Seek(property_key); found; found = assets_.NextWith(property_key)) {
    const double share = quarnell::Depreciation(
        ReadChar(asset, kAssetMethod), ReadInt16(asset, kAssetLife), ReadAmount(asset, kAssetCost),
        ReadInt16(asset, kAssetRate), ReadDate(asset, kAssetStart), statement_date);
    total = Add(total, -static_cast<long double>(share));
  }
  return total;
}

void RentalReader::Expenses(const std::string& property_key, const StatementSettings& settings,
                            PropertyFigures& figures) {
  const ParameterValues& parameters = settings.parameters;
  std::span<const char> payment = payments_.record();
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

  for (bool found = payments_.Seek(property_key); found; found = payments_.NextWith(property_key)) {
    if (!InStatementPeriod(ReadDate(payment, kPaymentDate), settings.statement_date) ||
        ReadChar(payment, kPaymentState) != 'N' || ReadChar(payment, kPaymentKind) != 'P') {
      continue;
    }
    const std::string concept_code = ReadText(payment, kPaymentConcept);
    if (first_concept || concept_code != previous_concept) {
      close_line();
      first_concept = false;
      previous_concept = concept_code;
      // A concept missing from the concept file keeps the description of its first payment.
      const std::optional<std::string>& description = ConceptDescription(concept_code);
      label = description ? *description : ReadText(payment, kPaymentDescription);
    }

    const int32_t amount = ReadAmount(payment, kPaymentAmount);
    const std::string supplier_code = ReadCode(payment, kPaymentSupplier);
    if (supplier_code > no_supplier && amount < 0 && SubsidySupplier(supplier_code)) {
      figures.subsidies = Add(figures.subsidies, -static_cast<long double>(amount));
      continue;
    }
    const int32_t vat = ReadAmount(payment, kPaymentVat);
    if (concept_code == parameters.fee_concept ||
        (concept_code == parameters.outlay_concept && parameters.outlay_flag == 'S')) {
      line_amount = Add(line_amount, -static_cast<long double>(ReadAmount(payment, kPaymentBase)));
    } else {
      line_amount = Add(line_amount, -static_cast<long double>(amount) + vat);
    }
    figures.non_deductible_vat = Add(figures.non_deductible_vat, -static_cast<long double>(vat));
    // A payment without concept is a line of its own, under its own description.
    if (IsAllChar(concept_code, ' ')) {
      label = ReadText(payment, kPaymentDescription);
      close_line();
    }
  }
  close_line();

  std::span<const char> charge = charges_.record();
  for (bool found = charges_.Seek(property_key); found; found = charges_.NextWith(property_key)) {
    if (InStatementPeriod(ReadDate(charge, kChargeDate), settings.statement_date)) {
      figures.non_deductible_vat =
          Add(figures.non_deductible_vat, ReadAmount(charge, kChargeAmount));
    }
  }
}

void RentalReader::Units(const std::string& property_key, const Date& statement_date,
                         PropertyFigures& figures) {
  std::span<const char> unit_record = units_.record();
  for (bool found = units_.Seek(property_key); found; found = units_.NextWith(property_key)) {
    const std::string unit_key(unit_record.data(), kUnitKeyLength);
    UnitFigures unit;
    unit.key = unit_key;
    unit.description = ReadText(unit_record, kUnitDescription);
    unit.reference = ReadText(unit_record, kUnitReference);
    // Without its own records a unit keeps an empty contract and no cadastral reference.
    if (contracts_.Seek(unit_key)) {
      unit.contract_type = ReadChar(contracts_.record(), kContractType);
      unit.contract_date = ReadDate(contracts_.record(), kContractDate);
    }
    if (cadastre_.Seek(unit_key))
      unit.cadastral_ref = ReadText(cadastre_.record(), kCadastralReference);
    const UnitRates rates = RatesFor(statement_date, unit.contract_date);
    unit.general_rate = rates.general_rate;
    unit.young_rate = rates.young_rate;
    unit.young_age_limit = rates.young_age_limit;
    Tenants(unit_key, statement_date, unit);
    Collections(unit_key, statement_date, unit);
    figures.units.push_back(std::move(unit));
  }
}

void RentalReader::Tenants(const std::string& unit_key, const Date& statement_date,
                           UnitFigures& unit) {
  std::span<const char> tenant = tenants_.record();
  int32_t count = 0;
  double young = 0;
  for (bool found = tenants_.Seek(unit_key); found; found = tenants_.NextWith(unit_key)) {
    if (ReadInt32(tenant, kTenantYoungEligible) != 0) {
      young = Add(young, YoungTenantWeight(ReadDate(tenant, kTenantBirthDate), statement_date,
                                           unit.young_age_limit));
    }
    ++count;
  }
  unit.young_share = count > 0 && unit.young_rate > 0
                         ? static_cast<double>(static_cast<long double>(young) / count)
                         : 0;
}

void RentalReader::Collections(const std::string& unit_key, const Date& statement_date,
                               UnitFigures& unit) {
  std::span<const char> collection = collections_.record();
  for (bool found = collections_.Seek(unit_key); found; found = collections_.NextWith(unit_key)) {
    if (!InStatementPeriod(ReadDate(collection, kCollectionDate), statement_date)) continue;
    const int32_t retention = ReadAmount(collection, kCollectionRetention);
    unit.net_collections = Add(unit.net_collections,
                               static_cast<long double>(ReadAmount(collection, kCollectionAmount)) -
                                   ReadAmount(collection, kCollectionDeduction1) -
                                   ReadAmount(collection, kCollectionDeduction2) - retention);
    unit.retention = Add(unit.retention, retention);
  }
}

}  // namespace quarnell
