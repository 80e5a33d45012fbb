// The check of the data of one statement run: it walks, in key order and once, the records that
// the run for the same statement date, owner range and layout would read, and the records of the
// same owners that the run never reaches, and reports every record that the statement would skip
// or treat differently from what the agency probably meant: orphans, movements of the year that
// do not count, units without a contract or a cadastral reference, doubtful tenants' birth dates,
// owners' languages, tax identifiers and names, unknown concepts and suppliers, assets that
// depreciate nothing, sections without a record, properties that print nothing, damaged records
// and files that cannot be read to the end.
//
// Findings go to a sink as they are found, so a check of the largest agency holds one property's
// tallies at a time, whatever the number of findings.
#ifndef QUARNELL_APP_DATA_CHECK_H_
#define QUARNELL_APP_DATA_CHECK_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text/dates.h"

namespace quarnell {

enum class FindingKind : uint8_t {
  kOrphan,                 // a record whose owner, property or unit has no record
  kLeftOut,                // a collection or payment of the statement's year that does not count
  kLeftOutTotal,           // the property's left-out collections or payments, added up
  kNoContract,             // a unit without a VDepCont record
  kBlankContractType,      // a contract whose type is blank
  kNoContractDate,         // a housing contract (V, O) without a date
  kNoCadastralReference,   // fiscal layout: no VDepCada record, or a blank reference
  kYoungWithoutBirthDate,  // a tenant flagged young without a birth date
  kBirthDateAfter,         // ... whose birth date is after the statement date
  kBirthDateTooOld,        // ... born more than 120 years before the statement date
  kUnknownLanguage,        // an owner's language that is none of CAT, SPA, GLG, OCI
  kNoTaxId,                // an owner without a tax identifier
  kInvalidTaxId,           // ... whose identifier is not a valid Spanish one
  kNameWithoutSeparator,   // a person's name without the "*" between surname and first name
  kUnknownConcept,         // a counted payment whose concept is not in VDespesa
  kUnknownSupplier,        // a counted payment whose supplier is not in Industri
  kUnknownMethod,          // an asset whose method is not C, D or S
  kZeroRateOrLife,         // an asset whose rate or life, as its method uses them, is not above 0
  kAssetStartsLater,       // an asset that starts after the statement date
  kNoSection,              // a property whose section has no USeccio record
  kEmptyProperty,          // a property with no units and no payments
  kDamagedRecord,          // a record whose fields hold bytes that are no value of their type
  kUnreadableFile,         // a read that failed: the rest of the file cannot be walked
};

// The name of a kind as the CSV output writes it ("orphan", "left-out", ...).
std::string_view FindingKindName(FindingKind kind);

struct Finding {
  FindingKind kind = FindingKind::kOrphan;
  // The owner code, property number and unit number the record belongs to, as numbers; empty
  // where they do not apply (an owner has no property).
  std::string owner;
  std::string property;
  std::string unit;
  std::string file;  // the record file, by base name: the record at fault, or the one missing
  // Key 0 of the record, its codes joined by "." ("3.1.2"); in files whose key repeats, "#n"
  // follows for the n-th record of that key in key order (the n-th row of the key in an export).
  std::string key;
  std::string problem;  // what is wrong (code page 850)
  std::string effect;   // what the statement will do with it (code page 850)
};

struct CheckSettings {
  Date statement_date;
  std::string owner_from;  // packed, 2 bytes
  std::string owner_to;    // packed, 2 bytes
  char layout = 'N';       // 'N' account, 'F' fiscal
};

using FindingSink = std::function<void(const Finding&)>;

struct CheckTotals {
  int64_t findings = 0;
  int64_t owners = 0;        // owners whose statements the run prints
  int64_t records_read = 0;  // records read successfully
};

// Walks the data of the run described by `settings` and hands each finding to `sink`, in key
// order. Reads only: nothing is written. Each file is read as it was when the check began (a read
// snapshot per file; one that cannot be had ends the program through the fatal access path). A
// read that fails is a finding and ends the walk of that file alone.
// REQUIRES: the rental files are open (OpenRentalFiles); the record areas may be overwritten.
CheckTotals CheckRunData(const CheckSettings& settings, const FindingSink& sink);

// Every finding of the run, in key order (for a screen that lists them).
// REQUIRES: as for CheckRunData.
std::vector<Finding> RunDataFindings(const CheckSettings& settings);

// "3.1.2": the two-byte packed codes of a key (owner, property, unit) joined by dots; a code whose
// bytes are no packed digits shows them in hexadecimal ("x'80FF'").
std::string DottedKey(std::string_view packed_key);

// One line for a person (UTF-8, no line end): "owner 3, property 1, unit 2: VCobros 3.1.2 #4:
// problem; effect".
std::string FindingLine(const Finding& finding);

// The CSV columns and one finding's row (UTF-8).
std::vector<std::string> FindingCsvHeader();
std::vector<std::string> FindingCsvRow(const Finding& finding);

}  // namespace quarnell

#endif  // QUARNELL_APP_DATA_CHECK_H_
