// The statement of one property: the figures read from the record files, then a totals pass that
// builds the property's total income and expenses without printing, and a print pass that prints
// the lines, the reduction and exemption of let dwellings and the results, in the account layout
// ("N") or the fiscal layout ("F").
//
// Amount expressions are evaluated in long double and stored in double accumulators; the rate
// constants 0.7 and 0.6 are single-precision values widened to double, so figures match to the
// hundredth where a product lands on a half. Every rounding is RoundHalfEven.
#ifndef QUARNELL_APP_STATEMENT_H_
#define QUARNELL_APP_STATEMENT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "app/parameter_table.h"
#include "app/statement_figures.h"
#include "app/statement_report.h"
#include "text/dates.h"

namespace quarnell {

// The run parameters and table fields the computation uses.
struct StatementSettings {
  Date statement_date;       // movements count from 1 January of its year up to it
  char report_option = 'N';  // 'N' account layout, 'F' fiscal layout, others print nothing
  ParameterValues parameters;
};

// The rates the tax rules of the statement's period give a unit, from the statement date and
// the date of the unit's contract.
struct UnitRates {
  double general_rate = 0;
  double young_rate = 0;
  int32_t young_age_limit = 0;  // 0 when no young-tenant rate applies
};

// True when the owner's tax identifier is Spanish ("ES") and its third character marks a person
// (a digit or one of K L M X Y Z E G H J U V), so that reductions and exemptions apply.
bool PersonalTaxpayer(std::string_view tax_id);

UnitRates RatesFor(const Date& statement_date, const Date& contract_date);

// How much of the statement's year an eligible tenant born on `birth_date` counts as young, 0 to
// 1: 0 when the birth date is empty or the tenant is under 18 or over `age_limit` at the statement
// date; the part of the year from the 18th birthday when the tenant is 18, the part up to the
// birthday when the tenant has reached the limit, 1 in between.
long double YoungTenantWeight(const Date& birth_date, const Date& statement_date,
                              int32_t age_limit);

// Runs the totals pass and the print pass over `figures`, printing through `report`, which must
// have begun the property.
void ComputeStatement(const PropertyFigures& figures, const StatementSettings& settings,
                      bool personal_taxpayer, StatementReport& report);

class RentalReader;

// The whole statement of one property: begins it in the report, reads its figures through
// `reader` and computes.
// REQUIRES: the rental files and the print output are open; the owner's language is in force.
void PropertyStatement(const ReportHeading& heading, const StatementSettings& settings,
                       bool personal_taxpayer, RentalReader& reader, StatementReport& report);

}  // namespace quarnell

#endif  // QUARNELL_APP_STATEMENT_H_
