// Statements laid out the way the statement program lays them out (page heading, underlined
// section titles, amount column with rules and dot-leader totals, continuation pages, the
// condensed fiscal layout), written through the print output primitives. They stand in for the
// statement program's spool files in the print program's tests and benchmarks.
#ifndef QUARNELL_TESTS_QEBPRINT_SAMPLE_STATEMENTS_H_
#define QUARNELL_TESTS_QEBPRINT_SAMPLE_STATEMENTS_H_

#include <cstdint>
#include <string>

namespace quarnell::testing {

struct SampleReport {
  std::string device = "PDF";
  int properties = 2;
  int units_per_property = 3;  // income lines; 40 or more push a property onto a second page
  bool fiscal = false;
  // Stop after this many pages in all (0: no limit); the benchmark asks for an exact count.
  int max_pages = 0;
};

// The amount as the report prints it under a 14-column money mask: "." thousands, "'" decimals,
// the sign last ("    12.345'67-").
std::string SampleAmount(int64_t hundredths);

// The income amount of unit `unit` (1-based) of property `property` (1-based).
int64_t SampleUnitIncome(int property, int unit);

// Writes a whole report to the spool file of the session directory in force
// (OpenPrintOutput ... ClosePrintOutput). Returns the number of pages written.
int WriteSampleReport(const SampleReport& report);

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_QEBPRINT_SAMPLE_STATEMENTS_H_
