#include "app/data_check.h"

#include <array>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "app/depreciation.h"
#include "app/record_layouts.h"
#include "app/rental_fields.h"
#include "app/rental_files.h"
#include "app/statement.h"
#include "app/tax_id.h"
#include "records/record_files.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/language.h"
#include "text/masks.h"

namespace quarnell {
namespace {

constexpr size_t kOwnerCodeLength = 2;
constexpr size_t kPropertyKeyLength = 4;
constexpr size_t kUnitKeyLength = 6;
// Records a walk steps over before it positions the file by key instead, as the statement's own
// walks do (the records of an owner the run does not print).
constexpr int kMaxSkippedRecords = 32;
// Older than this at the statement date, a birth date is taken for a typing error.
constexpr int32_t kOldestAge = 120;

constexpr std::array<std::string_view, 23> kKindNames = {
    "orphan",
    "left-out",
    "left-out-total",
    "no-contract",
    "blank-contract-type",
    "no-contract-date",
    "no-cadastral-reference",
    "young-without-birth-date",
    "birth-date-after",
    "birth-date-too-old",
    "unknown-language",
    "no-tax-id",
    "invalid-tax-id",
    "name-without-separator",
    "unknown-concept",
    "unknown-supplier",
    "unknown-method",
    "zero-rate-or-life",
    "asset-starts-later",
    "no-section",
    "empty-property",
    "damaged-record",
    "unreadable-file",
};
static_assert(kKindNames.size() == static_cast<size_t>(FindingKind::kUnreadableFile) + 1);

// ---- Texts of the findings (code page 850) ------------------------------------------------------

// A packed code as its number, or its bytes in hexadecimal when they are not packed digits.
std::string CodeText(std::string_view packed) {
  const int32_t value = CodeValue(packed);
  if (value >= 0) return std::to_string(value);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "x'";
  for (const char c : packed) {
    text += kHex[static_cast<unsigned char>(c) >> 4];
    text += kHex[static_cast<unsigned char>(c) & 0xF];
  }
  return text + "'";
}

std::string IsoDate(const Date& date) {
  if (date == EmptyDate()) return "(no date)";
  const std::string digits = UnpackDigits(date);
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
}

std::string Money(int64_t hundredths) {
  const bool negative = hundredths < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(hundredths) : static_cast<uint64_t>(hundredths);
  std::string cents = std::to_string(magnitude % 100);
  if (cents.size() < 2) cents.insert(0, "0");
  return (negative ? "-" : "") + std::to_string(magnitude / 100) + "." + cents;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Plural(int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string Percent(double rate) {
  return std::to_string(RoundHalfEven(static_cast<long double>(rate) * 100)) + " %";
}

bool InStatementYear(const Date& date, const Date& statement_date) {
  return date.compare(0, 2, statement_date, 0, 2) == 0;
}

// Whether the field's bytes are a value of its type: packed digits for a code, the empty date or a
// day that exists for a date, no control character in a text. Numbers are always values.
bool HoldsValue(std::span<const char> record, const FieldLayout& field) {
  const std::string_view bytes(record.data() + field.offset, static_cast<size_t>(field.width));
  switch (field.type) {
    case FieldType::kCode:
      return CodeValue(bytes) >= 0;
    case FieldType::kDate:
      return bytes == EmptyDate() || IsRealDate(Date(bytes));
    case FieldType::kText:
      for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
      }
      return true;
    default:
      return true;
  }
}

// ---- Reporting ----------------------------------------------------------------------------------

struct Log {
  const FindingSink& sink;
  CheckTotals totals;

  void Report(Finding finding) {
    ++totals.findings;
    sink(finding);
  }
};

// A finding about the record of `file` whose key 0 is `key` (the `repeat`-th of that key in a
// file whose key repeats; 0 where that does not apply).
Finding FindingAt(FindingKind kind, const FileLayout& file, std::string_view key,
                  int32_t repeat = 0) {
  Finding finding;
  finding.kind = kind;
  finding.file = std::string(file.base_name);
  if (key.size() >= kOwnerCodeLength) finding.owner = CodeText(key.substr(0, 2));
  if (key.size() >= kPropertyKeyLength) finding.property = CodeText(key.substr(2, 2));
  if (key.size() >= kUnitKeyLength) finding.unit = CodeText(key.substr(4, 2));
  finding.key = DottedKey(key);
  if (repeat > 0 && file.key_duplicates) finding.key += " #" + std::to_string(repeat);
  return finding;
}

// ---- One file walked forward across the owner range ---------------------------------------------

class RangeWalk {
 public:
  RangeWalk(std::string_view base_name, Log& log)
      : file_(*FindRentalFile(base_name)),
        record_(RecordArea(file_.file_number)),
        key_length_(static_cast<size_t>(file_.KeyLength())),
        log_(log) {}

  // Positions the walk at the first record of owner `from` or later; the walk ends after the
  // records of owner `to`.
  void Start(const std::string& from, const std::string& to) {
    last_owner_ = to;
    Took(GetByKeyStatus(file_.file_number, 0, from, 1));
  }

  const FileLayout& file() const { return file_; }
  std::span<const char> record() const { return record_; }
  // Whether the walk is at a record whose key begins with `prefix`.
  bool At(std::string_view prefix) const { return at_record_ && Leading(prefix.size()) == prefix; }
  std::string_view Leading(size_t length) const { return {record_.data(), length}; }
  std::string_view Key() const { return Leading(key_length_); }
  // The place of the current record among the records of its key, from 1.
  int32_t repeat() const { return repeat_; }

  void Next() {
    if (!at_record_) return;
    int16_t status = 0;
    ReadStep(file_.file_number, 1, status);
    Took(status);
  }

  // Moves to the first record whose key does not begin with `prefix`: a few steps, or one read by
  // key past a long run.
  void SkipPast(std::string_view prefix) {
    for (int skipped = 0; At(prefix); ++skipped) {
      if (skipped == kMaxSkippedRecords) {
        std::string next(prefix);
        size_t at = next.size();
        while (at > 0 && static_cast<unsigned char>(next[at - 1]) == 0xFF) next[--at] = '\0';
        if (at == 0) {
          at_record_ = false;
          return;
        }
        next[at - 1] = static_cast<char>(static_cast<unsigned char>(next[at - 1]) + 1);
        Took(GetByKeyStatus(file_.file_number, 0, next, 1));
        return;
      }
      Next();
    }
  }

 private:
  void Took(int16_t status) {
    if (status == kRecordOk) {
      ++log_.totals.records_read;
      repeat_ = Key() == previous_key_ ? repeat_ + 1 : 1;
      previous_key_.assign(Key());
      at_record_ = Leading(kOwnerCodeLength) <= std::string_view(last_owner_);
      return;
    }
    at_record_ = false;
    if (status == kRecordEndOfFile || status == kRecordKeyNotFound) return;
    Finding finding = FindingAt(FindingKind::kUnreadableFile, file_, previous_key_, repeat_);
    finding.problem =
        previous_key_.empty()
            ? "the file cannot be read (status " + std::to_string(status) + ")"
            : "the record after this one cannot be read (status " + std::to_string(status) + ")";
    finding.effect = "the rest of the file cannot be checked, and the statement cannot read it";
    log_.Report(std::move(finding));
  }

  const FileLayout& file_;
  std::span<const char> record_;
  const size_t key_length_;
  Log& log_;
  std::string last_owner_;
  bool at_record_ = false;
  std::string previous_key_;
  int32_t repeat_ = 0;
};

// What the records of one property add up to.
struct PropertyTally {
  int64_t units = 0;
  int64_t payments = 0;
  int64_t assets_and_charges = 0;
  int64_t collections_left_out = 0;
  long double collections_left_out_net = 0;
  int64_t payments_left_out = 0;
  long double payments_left_out_amount = 0;
};

// The record a group of orphans belongs to and which is missing.
struct Missing {
  std::string_view base_name;  // VPropiet, VGrups or VDepBase
  std::string key;
};

// Whether a lookup file holds a code; a read that fails is reported once and counts as found, so
// that nothing is claimed missing that may be there.
class LookupFile {
 public:
  LookupFile(std::string_view base_name, Log& log) : file_(*FindRentalFile(base_name)), log_(log) {}

  bool Has(const std::string& code) {
    const auto known = found_.find(code);
    if (known != found_.end()) return known->second;
    const int16_t status = GetByKeyStatus(file_.file_number, 0, code, 0);
    if (status == kRecordOk) ++log_.totals.records_read;
    const bool found = status != kRecordKeyNotFound && status != kRecordEndOfFile;
    if (status != kRecordOk && found) {
      Finding finding;
      finding.kind = FindingKind::kUnreadableFile;
      finding.file = std::string(file_.base_name);
      finding.key = file_.fields[0].type == FieldType::kCode ? CodeText(code) : Trimmed(code);
      finding.problem = "the record cannot be read (status " + std::to_string(status) + ")";
      finding.effect = "the statement cannot read it either";
      log_.Report(std::move(finding));
    }
    return found_.emplace(code, found).first->second;
  }

 private:
  const FileLayout& file_;
  Log& log_;
  std::map<std::string, bool> found_;
};

// ---- The walk -----------------------------------------------------------------------------------

class DataCheck {
 public:
  DataCheck(const CheckSettings& settings, const FindingSink& sink)
      : settings_(settings),
        log_{sink, {}},
        owners_("VPropiet", log_),
        properties_("VGrups", log_),
        assets_("VAmortit", log_),
        payments_("VPagos", log_),
        charges_("VCapPeri", log_),
        units_("VDepBase", log_),
        contracts_("VDepCont", log_),
        cadastre_("VDepCada", log_),
        tenants_("VLlogate", log_),
        collections_("VCobros", log_),
        sections_("USeccio", log_),
        concepts_("VDespesa", log_),
        suppliers_("Industri", log_) {}

  CheckTotals Run() {
    VerifyKeys();
    for (RangeWalk* walk : all_) walk->Start(settings_.owner_from, settings_.owner_to);
    while (const std::optional<std::string> owner = Lowest(all_, kOwnerCodeLength, "")) {
      Owner(*owner);
    }
    return log_.totals;
  }

 private:
  // The lowest leading `length` bytes among the walks at a record that begins with `prefix`.
  template <size_t N>
  static std::optional<std::string> Lowest(const std::array<RangeWalk*, N>& walks, size_t length,
                                           std::string_view prefix) {
    std::optional<std::string_view> lowest;
    for (const RangeWalk* walk : walks) {
      if (!walk->At(prefix)) continue;
      const std::string_view key = walk->Leading(length);
      if (!lowest || key < *lowest) lowest = key;
    }
    if (!lowest) return std::nullopt;
    return std::string(*lowest);
  }

  // An index that lost entries fails no read: the walks would pass over its records without a
  // word, and the statement run stops at such a file.
  void VerifyKeys() {
    for (const FileLayout& file : kRentalFiles) {
      const int16_t status = VerifyRecordFileKeys(file.file_number);
      if (status == kRecordOk) continue;
      Finding finding = FindingAt(FindingKind::kUnreadableFile, file, "");
      finding.problem = (status == kRecordIoError ? "its keys do not find every record (status "
                                                  : "its keys cannot be counted (status ") +
                        std::to_string(status) + ")";
      finding.effect = "its records cannot all be checked, and the statement run stops at it";
      log_.Report(std::move(finding));
    }
  }

  void Owner(const std::string& code) {
    if (!owners_.At(code)) {
      for (RangeWalk* walk : below_owner_) Orphans(*walk, code, {"VPropiet", code});
      return;
    }
    if (ReadByte(owners_.record(), kOwnerState) != 0) {
      // The run prints nothing of this owner: none of its records is the run's business.
      for (RangeWalk* walk : all_) walk->SkipPast(code);
      return;
    }
    ++log_.totals.owners;
    Damage(owners_);
    OwnerFields(code);
    owners_.Next();
    while (const std::optional<std::string> property =
               Lowest(below_owner_, kPropertyKeyLength, code)) {
      Property(*property);
    }
  }

  void OwnerFields(const std::string& code) {
    const std::span<const char> owner = owners_.record();
    const FileLayout& file = owners_.file();
    const std::string language = ReadText(owner, kOwnerLanguage);
    if (language != "CAT" && LanguageOf(language) == Language::kCatalan) {
      Finding finding = FindingAt(FindingKind::kUnknownLanguage, file, code);
      finding.problem = "language code " + Quoted(language) + " is none of CAT, SPA, GLG, OCI";
      finding.effect = "the owner's statements print in Catalan";
      log_.Report(std::move(finding));
    }
    const std::string tax_id = ReadText(owner, kOwnerTaxId);
    const bool personal = PersonalTaxpayer(tax_id);
    if (IsAllChar(tax_id, ' ')) {
      Finding finding = FindingAt(FindingKind::kNoTaxId, file, code);
      finding.problem = "no tax identifier";
      finding.effect = "printed blank; no reduction or exemption is computed";
      log_.Report(std::move(finding));
    } else if (const std::string problem = SpanishTaxIdProblem(tax_id); !problem.empty()) {
      Finding finding = FindingAt(FindingKind::kInvalidTaxId, file, code);
      finding.problem = "tax identifier " + Quoted(Trimmed(tax_id)) + ": " + problem;
      finding.effect = personal ? "printed as stored; reductions are computed as for a person"
                                : "printed as stored; no reduction or exemption is computed";
      log_.Report(std::move(finding));
    }
    const std::string name = ReadText(owner, kOwnerName);
    if (personal && name.find('*', 1) == std::string::npos) {
      Finding finding = FindingAt(FindingKind::kNameWithoutSeparator, file, code);
      finding.problem =
          "name " + Quoted(Trimmed(name)) + " has no \"*\" between surname and first name";
      finding.effect = "printed as stored, surname first";
      log_.Report(std::move(finding));
    }
  }

  void Property(const std::string& key) {
    if (!properties_.At(key)) {
      for (RangeWalk* walk : below_owner_) Orphans(*walk, key, {"VGrups", key});
      return;
    }
    Damage(properties_);
    Section(key);
    properties_.Next();
    PropertyTally tally;
    Assets(key, tally);
    Payments(key, tally);
    Charges(key, tally);
    while (const std::optional<std::string> unit = Lowest(unit_walks_, kUnitKeyLength, key)) {
      Unit(*unit, tally);
    }
    LeftOutTotals(key, tally);
    if (tally.units == 0 && tally.payments == 0) {
      Finding finding = FindingAt(FindingKind::kEmptyProperty, properties_.file(), key);
      finding.problem = "the property has no units and no payments";
      finding.effect = tally.assets_and_charges == 0
                           ? "its statement prints nothing"
                           : "only its depreciation and periodic charges can print";
      log_.Report(std::move(finding));
    }
  }

  void Section(const std::string& key) {
    const char section = ReadChar(properties_.record(), kPropertySection);
    if (sections_.Has(std::string(1, section))) return;
    Finding finding = FindingAt(FindingKind::kNoSection, properties_.file(), key);
    finding.problem = "section " + Quoted(std::string(1, section)) + " has no USeccio record";
    finding.effect = "printed with the agency letterhead";
    log_.Report(std::move(finding));
  }

  void Assets(const std::string& key, PropertyTally& tally) {
    for (; assets_.At(key); assets_.Next()) {
      ++tally.assets_and_charges;
      Damage(assets_);
      const std::span<const char> asset = assets_.record();
      const char method = ReadChar(asset, kAssetMethod);
      const int16_t rate = ReadInt16(asset, kAssetRate);
      const int16_t life = ReadInt16(asset, kAssetLife);
      const Date start = ReadDate(asset, kAssetStart);
      const auto what = [&] {
        return "asset starting " + IsoDate(start) + ", method " + Quoted(std::string(1, method)) +
               ", rate " + std::to_string(rate) + ", life " + std::to_string(life);
      };
      if (method != 'C' && method != 'D' && method != 'S') {
        Report(FindingKind::kUnknownMethod, assets_, what() + ": the method is not C, D or S",
               DepreciationEffect(asset));
      } else if (const bool no_rate = rate <= 0 && method != 'S',
                 no_life = life <= 0 && method != 'C';
                 no_rate || no_life) {
        // "C" uses only the rate, "S" only the life, "D" both (the life for its floor).
        const std::string fields = no_rate && no_life ? "the rate and the life are"
                                   : no_rate          ? "the rate is"
                                                      : "the life is";
        Report(FindingKind::kZeroRateOrLife, assets_, what() + ": " + fields + " not above 0",
               DepreciationEffect(asset));
      }
      if (start > settings_.statement_date) {
        Report(FindingKind::kAssetStartsLater, assets_,
               what() + ": starts after the statement date", DepreciationEffect(asset));
      }
    }
  }

  // What the statement's depreciation makes of the asset this year.
  std::string DepreciationEffect(std::span<const char> asset) const {
    const double share = Depreciation(ReadChar(asset, kAssetMethod), ReadInt16(asset, kAssetLife),
                                      ReadAmount(asset, kAssetCost), ReadInt16(asset, kAssetRate),
                                      ReadDate(asset, kAssetStart), settings_.statement_date);
    if (share == 0) return "it depreciates nothing this year";
    return "it depreciates " + Money(static_cast<int64_t>(share)) + " this year";
  }

  void Payments(const std::string& key, PropertyTally& tally) {
    for (; payments_.At(key); payments_.Next()) {
      ++tally.payments;
      Damage(payments_);
      const std::span<const char> payment = payments_.record();
      const Date date = ReadDate(payment, kPaymentDate);
      if (!InStatementYear(date, settings_.statement_date)) continue;
      const int32_t amount = ReadAmount(payment, kPaymentAmount);
      // Built only for a finding: most payments have none.
      const auto what = [&] {
        return "payment of " + IsoDate(date) + " " +
               Quoted(Trimmed(ReadText(payment, kPaymentDescription))) + ", " + Money(amount);
      };
      const std::string reasons = PaymentLeftOut(payment, date);
      if (!reasons.empty()) {
        ++tally.payments_left_out;
        tally.payments_left_out_amount += amount;
        Report(FindingKind::kLeftOut, payments_, what() + ": " + reasons,
               "not counted: no expense, VAT or subsidy");
        continue;
      }
      const std::string concept_code = ReadText(payment, kPaymentConcept);
      if (!IsAllChar(concept_code, ' ') && !concepts_.Has(concept_code)) {
        Report(FindingKind::kUnknownConcept, payments_,
               what() + ": concept " + Quoted(concept_code) + " is not in VDespesa",
               "its line is labelled with the description of the concept's first payment");
      }
      const std::string supplier = ReadCode(payment, kPaymentSupplier);
      if (supplier > no_supplier_ && !suppliers_.Has(supplier)) {
        Report(FindingKind::kUnknownSupplier, payments_,
               what() + ": supplier " + CodeText(supplier) + " is not in Industri",
               amount < 0 ? "counted as a refund of expenses, never as a subsidy"
                          : "counted as an expense");
      }
    }
  }

  // Why a payment of the statement's year does not count; empty when it counts.
  std::string PaymentLeftOut(std::span<const char> payment, const Date& date) const {
    std::string reasons;
    const auto add = [&reasons](const std::string& reason) {
      reasons += (reasons.empty() ? "" : ", ") + reason;
    };
    if (date > settings_.statement_date) add("dated after the statement date");
    const char kind = ReadChar(payment, kPaymentKind);
    if (kind != 'P') add("kind " + Quoted(std::string(1, kind)) + " (only P counts)");
    const char state = ReadChar(payment, kPaymentState);
    if (state != 'N') add("state " + Quoted(std::string(1, state)) + " (only N counts)");
    return reasons;
  }

  void Charges(const std::string& key, PropertyTally& tally) {
    for (; charges_.At(key); charges_.Next()) {
      ++tally.assets_and_charges;
      Damage(charges_);
    }
  }

  void Unit(const std::string& key, PropertyTally& tally) {
    if (!units_.At(key)) {
      for (RangeWalk* walk : unit_children_) Orphans(*walk, key, {"VDepBase", key});
      return;
    }
    ++tally.units;
    Damage(units_);
    units_.Next();
    const Date contract_date = Contract(key);
    Cadastre(key);
    Tenants(key, contract_date);
    Collections(key, tally);
  }

  // Checks the unit's contract and returns its date (the empty date without a contract).
  Date Contract(const std::string& key) {
    if (!contracts_.At(key)) {
      Finding finding = FindingAt(FindingKind::kNoContract, contracts_.file(), key);
      finding.problem = "the unit has no contract record";
      finding.effect = "computed as a contract of blank type: not housing, no reduction";
      log_.Report(std::move(finding));
      return EmptyDate();
    }
    Damage(contracts_);
    const char type = ReadChar(contracts_.record(), kContractType);
    const Date date = ReadDate(contracts_.record(), kContractDate);
    if (type == ' ') {
      Report(FindingKind::kBlankContractType, contracts_, "the contract type is blank",
             "not housing: no reduction or exemption");
    } else if ((type == 'V' || type == 'O') && date == EmptyDate()) {
      const UnitRates rates = RatesFor(settings_.statement_date, date);
      Report(FindingKind::kNoContractDate, contracts_,
             "housing contract (type " + std::string(1, type) + ") without a date",
             rates.general_rate > 0 ? "reduced at " + Percent(rates.general_rate) +
                                          " as an old contract, never at a young-tenant rate"
                                    : "no reduction applies");
    }
    for (; contracts_.At(key); contracts_.Next()) {
    }
    return date;
  }

  void Cadastre(const std::string& key) {
    const bool found = cadastre_.At(key);
    if (found) Damage(cadastre_);
    if (settings_.layout == 'F' &&
        (!found || IsAllChar(ReadText(cadastre_.record(), kCadastralReference), ' '))) {
      Finding finding = FindingAt(FindingKind::kNoCadastralReference, cadastre_.file(), key);
      finding.problem =
          found ? "the cadastral reference is blank" : "the unit has no cadastral record";
      finding.effect = "the fiscal layout prints \"**sense ref.cadas.**\"";
      log_.Report(std::move(finding));
    }
    for (; cadastre_.At(key); cadastre_.Next()) {
    }
  }

  void Tenants(const std::string& key, const Date& contract_date) {
    const Date& statement_date = settings_.statement_date;
    for (; tenants_.At(key); tenants_.Next()) {
      Damage(tenants_);
      const std::span<const char> tenant = tenants_.record();
      if (ReadInt32(tenant, kTenantYoungEligible) == 0) continue;
      const Date birth = ReadDate(tenant, kTenantBirthDate);
      if (birth == EmptyDate()) {
        Report(FindingKind::kYoungWithoutBirthDate, tenants_,
               "tenant flagged young without a birth date", "never counted as young");
        continue;
      }
      const int32_t age = DateDiff(birth, statement_date, 'A');
      if (birth > statement_date) {
        const int32_t limit = RatesFor(statement_date, contract_date).young_age_limit;
        const bool young = YoungTenantWeight(birth, statement_date, limit) > 0;
        Report(FindingKind::kBirthDateAfter, tenants_,
               "tenant flagged young born " + IsoDate(birth) + ", after the statement date",
               "the age is read as " + std::to_string(age) + ": " +
                   (young ? "counted as young" : "not counted as young"));
      } else if (age > kOldestAge) {
        Report(FindingKind::kBirthDateTooOld, tenants_,
               "tenant flagged young born " + IsoDate(birth) + ", " + std::to_string(age) +
                   " years before the statement date",
               "never counted as young");
      }
    }
  }

  void Collections(const std::string& key, PropertyTally& tally) {
    for (; collections_.At(key); collections_.Next()) {
      Damage(collections_);
      const std::span<const char> collection = collections_.record();
      const Date date = ReadDate(collection, kCollectionDate);
      if (!InStatementYear(date, settings_.statement_date) || date <= settings_.statement_date) {
        continue;
      }
      const long double net = static_cast<long double>(ReadAmount(collection, kCollectionAmount)) -
                              ReadAmount(collection, kCollectionDeduction1) -
                              ReadAmount(collection, kCollectionDeduction2) -
                              ReadAmount(collection, kCollectionRetention);
      ++tally.collections_left_out;
      tally.collections_left_out_net += net;
      Report(FindingKind::kLeftOut, collections_,
             "collection of " + IsoDate(date) + ", net " + Money(static_cast<int64_t>(net)) +
                 ": dated after the statement date",
             "not counted");
    }
  }

  void LeftOutTotals(const std::string& key, const PropertyTally& tally) {
    const std::string year = UnpackDigits(settings_.statement_date).substr(0, 4);
    if (tally.collections_left_out > 0) {
      Finding finding = FindingAt(FindingKind::kLeftOutTotal, collections_.file(), key);
      finding.problem = Plural(tally.collections_left_out, "collection", "collections") + " of " +
                        year + " dated after the statement date, net " +
                        Money(static_cast<int64_t>(tally.collections_left_out_net));
      finding.effect = "left out of the property's statement";
      log_.Report(std::move(finding));
    }
    if (tally.payments_left_out > 0) {
      Finding finding = FindingAt(FindingKind::kLeftOutTotal, payments_.file(), key);
      finding.problem = Plural(tally.payments_left_out, "payment", "payments") + " of " + year +
                        " not counted, " +
                        Money(static_cast<int64_t>(tally.payments_left_out_amount)) + " in all";
      finding.effect = "left out of the property's statement";
      log_.Report(std::move(finding));
    }
  }

  // Reports the records of `walk` that begin with `prefix`, one finding per key, and steps past
  // them: their owner, property or unit has no record, so the statement never reaches them.
  void Orphans(RangeWalk& walk, std::string_view prefix, const Missing& missing) {
    while (walk.At(prefix)) {
      const std::string key(walk.Key());
      int64_t count = 0;
      for (; walk.At(key); walk.Next()) ++count;
      Finding finding = FindingAt(FindingKind::kOrphan, walk.file(), key);
      const std::string_view what = missing.base_name == "VPropiet" ? "owner"
                                    : missing.base_name == "VGrups" ? "property"
                                                                    : "unit";
      finding.problem = Plural(count, "record", "records") + " of " + std::string(what) + " " +
                        DottedKey(missing.key) + ", which has no " +
                        std::string(missing.base_name) + " record";
      finding.effect =
          count == 1 ? "the statement never reads it" : "the statement never reads them";
      log_.Report(std::move(finding));
    }
  }

  // Reports the fields of the walk's record whose bytes are no value of their type.
  void Damage(const RangeWalk& walk) {
    std::string fields;
    for (const FieldLayout& field : walk.file().fields) {
      if (HoldsValue(walk.record(), field)) continue;
      fields += (fields.empty() ? "" : ", ") + std::string(field.name);
    }
    if (fields.empty()) return;
    Report(FindingKind::kDamagedRecord, walk,
           "damaged record: the bytes of " + fields + " are no valid value",
           "the statement reads the bytes as they are");
  }

  void Report(FindingKind kind, const RangeWalk& walk, std::string problem, std::string effect) {
    Finding finding = FindingAt(kind, walk.file(), walk.Key(), walk.repeat());
    finding.problem = std::move(problem);
    finding.effect = std::move(effect);
    log_.Report(std::move(finding));
  }

  const CheckSettings& settings_;
  Log log_;
  RangeWalk owners_, properties_, assets_, payments_, charges_;
  RangeWalk units_, contracts_, cadastre_, tenants_, collections_;
  LookupFile sections_, concepts_, suppliers_;
  const std::string no_supplier_ = PackDigits("0000");

  const std::array<RangeWalk*, 10> all_ = {&owners_,  &properties_, &assets_,    &payments_,
                                           &charges_, &units_,      &contracts_, &cadastre_,
                                           &tenants_, &collections_};
  const std::array<RangeWalk*, 9> below_owner_ = {&properties_, &assets_,  &payments_,
                                                  &charges_,    &units_,   &contracts_,
                                                  &cadastre_,   &tenants_, &collections_};
  const std::array<RangeWalk*, 5> unit_walks_ = {&units_, &contracts_, &cadastre_, &tenants_,
                                                 &collections_};
  const std::array<RangeWalk*, 4> unit_children_ = {&contracts_, &cadastre_, &tenants_,
                                                    &collections_};
};

std::string Utf8(std::string_view cp850) { return Cp850ToUtf8(cp850); }

}  // namespace

std::string DottedKey(std::string_view packed_key) {
  std::string text;
  for (size_t at = 0; at < packed_key.size(); at += 2) {
    if (at > 0) text += '.';
    text += CodeText(packed_key.substr(at, 2));
  }
  return text;
}

std::string_view FindingKindName(FindingKind kind) { return kKindNames[static_cast<size_t>(kind)]; }

CheckTotals CheckRunData(const CheckSettings& settings, const FindingSink& sink) {
  // The whole check sees each file as it was when it began, as the statement run does.
  HoldRentalSnapshots();
  const CheckTotals totals = DataCheck(settings, sink).Run();
  ReleaseRentalSnapshots();
  return totals;
}

std::vector<Finding> RunDataFindings(const CheckSettings& settings) {
  std::vector<Finding> findings;
  CheckRunData(settings, [&findings](const Finding& finding) { findings.push_back(finding); });
  return findings;
}

std::string FindingLine(const Finding& finding) {
  std::string line;
  if (!finding.owner.empty()) line += "owner " + finding.owner;
  if (!finding.property.empty()) line += ", property " + finding.property;
  if (!finding.unit.empty()) line += ", unit " + finding.unit;
  if (!line.empty()) line += ": ";
  line += finding.file;
  if (!finding.key.empty()) line += " " + finding.key;
  return line + ": " + Utf8(finding.problem) + "; " + Utf8(finding.effect);
}

std::vector<std::string> FindingCsvHeader() {
  return {"kind", "owner", "property", "unit", "file", "key", "problem", "effect"};
}

std::vector<std::string> FindingCsvRow(const Finding& finding) {
  return {std::string(FindingKindName(finding.kind)),
          finding.owner,
          finding.property,
          finding.unit,
          finding.file,
          finding.key,
          Utf8(finding.problem),
          Utf8(finding.effect)};
}

}  // namespace quarnell
