#include "app/depreciation.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarnell {
namespace {

// The share of each year from `first_year` to `last_year`, statement dated 31 December.
std::vector<double> YearlyShares(char method, int16_t life, int32_t cost, int16_t rate,
                                 int32_t start, int first_year, int last_year) {
  std::vector<double> shares;
  for (int year = first_year; year <= last_year; ++year) {
    shares.push_back(
        Depreciation(method, life, cost, rate, MakeDate(start), MakeDate(year * 10000 + 1231)));
  }
  return shares;
}

TEST(DepreciationTest, YearByYear) {
  struct Case {
    const char* name;
    char method;
    int16_t life;
    int32_t cost;
    int16_t rate;
    int32_t start;
    int first_year;
    int last_year;
    std::vector<double> shares;
  };
  const Case cases[] = {
      // 3 % of 1000.00 from 1 July 2020: 183 of 365 days in the leap first year.
      {"constant", 'C', 0, 100000, 300, 20200701, 2020, 2023, {1504, 3000, 3000, 3000}},
      // Sum of the digits 1 to 4 is 10: 4/10, 3/10, 2/10, 1/10 of the cost, then nothing.
      {"sum of digits", 'S', 4, 10000, 0, 20200101, 2020, 2025, {4000, 3000, 2000, 1000, 0, 0}},
      // 25 % of what remains, never below 1000 (cost / life), never beyond the cost.
      {"declining",
       'D',
       10,
       10000,
       2500,
       20100101,
       2010,
       2019,
       {2500, 1875, 1406, 1055, 1000, 1000, 1000, 164, 0, 0}},
      // Life 0: the declining method has no straight-line floor, the sum of digits nothing.
      {"declining without life", 'D', 0, 10000, 2500, 20100101, 2010, 2011, {2500, 1875}},
      {"sum of digits without life", 'S', 0, 10000, 0, 20100101, 2010, 2011, {0, 0}},
      {"unknown method", 'X', 10, 10000, 2500, 20100101, 2010, 2011, {0, 0}},
      // Fully depreciated: 10 % a year from 2000 ends in 2009.
      {"fully depreciated", 'C', 0, 100000, 1000, 20000101, 2009, 2011, {10000, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(YearlyShares(c.method, c.life, c.cost, c.rate, c.start, c.first_year, c.last_year),
              c.shares)
        << c.name;
  }
}

TEST(DepreciationTest, PartOfTheStatementYear) {
  // 180 days from 1 January to 30 June, of 364 in a common year: 3000 x 180 / 364 = 1483.5...
  EXPECT_EQ(Depreciation('C', 0, 100000, 300, MakeDate(20200701), MakeDate(20230630)), 1484);
  // Started and ended within the statement year: 1 March to 30 June 2023 is 121 days.
  EXPECT_EQ(Depreciation('C', 0, 100000, 300, MakeDate(20230301), MakeDate(20230630)), 997);
}

TEST(DepreciationTest, AnAssetNotYetInServiceContributesNothing) {
  EXPECT_EQ(Depreciation('C', 0, 100000, 300, MakeDate(20240701), MakeDate(20231231)), 0);
  EXPECT_EQ(Depreciation('C', 0, 100000, 300, MakeDate(20231231), MakeDate(20231231)), 0);
}

}  // namespace
}  // namespace quarnell
