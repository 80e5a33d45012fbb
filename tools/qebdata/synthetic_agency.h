// A large made-up agency for benchmarks and load tests, the same for the same seed.
#ifndef QUARNELL_TOOLS_QEBDATA_SYNTHETIC_AGENCY_H_
#define QUARNELL_TOOLS_QEBDATA_SYNTHETIC_AGENCY_H_

#include <cstdint>
#include <ostream>
#include <string>

namespace quarnell {

inline constexpr int32_t kMaxSyntheticOwners = 9999;  // owner codes have four digits

// Fills the empty record files of the installation at `root` with `owners` owners (1 to
// kMaxSyntheticOwners, codes 1 to owners): per owner about 5 properties, 3 units each, 1.5
// tenants per unit, monthly collections over 2024 and 2025, about 20 payments per property and
// year over a dozen concepts, 1 or 2 assets and a few periodic charges per property; plus the
// suppliers, expense concepts and two sections they refer to. Progress goes to `progress`.
// Returns an exit status of the data tool (messages on `progress`).
int GenerateAgency(const std::string& root, int32_t owners, uint64_t seed, std::ostream& progress);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_SYNTHETIC_AGENCY_H_
