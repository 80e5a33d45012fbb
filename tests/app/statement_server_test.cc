// The statement reads the same records from a PostgreSQL server as from SQLite files, and prints
// the same spool files, byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/statement_support.h"
#include "records/storages.h"
#include "support/fake_clock.h"

namespace quarnell::testing {
namespace {

// The spool files of both layouts for an agency that `fill` (qebdata arguments after the root)
// makes, laid out with `init_options`.
std::vector<std::string> Spools(const std::vector<std::string>& fill,
                                const std::vector<std::string>& init_options) {
  TestAgency agency(init_options);
  std::vector<std::string> args = {fill[0], agency.root()};
  args.insert(args.end(), fill.begin() + 1, fill.end());
  std::ostringstream out, err;
  const std::string install = std::string(QEB_SOURCE_DIR) + "/install";
  EXPECT_EQ(0, RunDataTool(args, DataToolContext{install, &out, &err})) << err.str();
  return {agency.RunBytes("31122025", "1", "9999", "N"),
          agency.RunBytes("31122025", "1", "9999", "F")};
}

TEST(StatementServerTest, SpoolFilesAreTheSameOnBothStorages) {
  if (ServerTestsOff()) GTEST_SKIP() << "QEB_PG=off: no server tests";
  FakeClock clock;  // every run carries the same run mark
  const std::vector<std::string> agencies[] = {
      {"demo"},
      {"generate", "--owners", "25", "--seed", "3"},
  };
  for (const std::vector<std::string>& fill : agencies) {
    SCOPED_TRACE(fill[0]);
    ServerSchema schema;
    ASSERT_EQ("", schema.error());
    const std::vector<std::string> files = Spools(fill, {});
    const std::vector<std::string> server = Spools(fill, {"--server", schema.server()});
    ASSERT_EQ(2u, files.size());
    EXPECT_GT(files[0].size(), 5000u);
    EXPECT_TRUE(files == server);
  }
}

}  // namespace
}  // namespace quarnell::testing
