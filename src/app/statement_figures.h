// What the statement of one property is computed from, once read from the record files: the
// depreciation, the expense lines of the payments walk, the non-deductible VAT, the subsidies, and
// per unit its contract, rates, young-tenant share and net collections. Both passes of the
// computation work on these figures, so every record is read once per property.
#ifndef QUARNELL_APP_STATEMENT_FIGURES_H_
#define QUARNELL_APP_STATEMENT_FIGURES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "text/dates.h"

namespace quarnell {

// The kinds of statement line.
inline constexpr int16_t kUnitLine = 1;            // a unit's net collections (account layout)
inline constexpr int16_t kNonHousingLine = 2;      // fiscal layout: the part not let as housing
inline constexpr int16_t kGeneralHousingLine = 3;  // fiscal layout: housing at the general rate
inline constexpr int16_t kYoungHousingLine = 4;    // fiscal layout: housing at the young rate
inline constexpr int16_t kExpenseLine = 5;         // one expense concept
inline constexpr int16_t kVatLine = 6;             // non-deductible VAT
inline constexpr int16_t kReductionLine = 7;       // reduction of housing results
inline constexpr int16_t kExemptionLine = 8;       // exemption of housing results
inline constexpr int16_t kDepreciationLine = 9;    // depreciation of the building
inline constexpr int16_t kSubsidiesLine = 10;      // subsidies
inline constexpr int16_t kTotalIncomeLine = -1;
inline constexpr int16_t kTotalExpensesLine = -2;
inline constexpr int16_t kOperatingResultLine = -3;
inline constexpr int16_t kFiscalResultLine = -4;

struct UnitFigures {
  std::string key;           // 6 packed bytes: owner code, property number, unit number
  std::string description;   // as stored (surname*prefix form), 40 characters
  std::string reference;     // as stored, 17 characters
  char contract_type = ' ';  // 'V' or 'O' housing, 'P' the owner's own, others premises
  Date contract_date = EmptyDate();
  std::string cadastral_ref = std::string(20, ' ');  // blanks: none
  double general_rate = 0;                           // reduction rate of housing income in general
  double young_rate = 0;        // reduction rate of the income attributed to young tenants
  int32_t young_age_limit = 0;  // 0 when no young-tenant rate applies
  double young_share = 0;       // 0 to 1: the part of the tenancy that falls to young tenants
  double net_collections = 0;   // hundredths: collected minus deductions and retentions
  double retention = 0;         // hundredths: the retentions of the counted collections
};

// A line of an expense concept as the payments walk closes it: its label and running sum.
struct ExpenseRun {
  std::string label;  // the concept's description, or the first payment's when not found
  double amount = 0;  // hundredths, expenses negative
};

struct PropertyFigures {
  double depreciation_total = 0;  // minus the assets' shares of the year
  // In the order the walk closes them. A run that sums to 0 is left out: it neither prints nor
  // changes a total.
  std::vector<ExpenseRun> expenses;
  double non_deductible_vat = 0;   // minus the VAT of counted payments, plus periodic charges
  double subsidies = 0;            // minus the (negative) subsidy payments
  std::vector<UnitFigures> units;  // in key order
};

}  // namespace quarnell

#endif  // QUARNELL_APP_STATEMENT_FIGURES_H_
