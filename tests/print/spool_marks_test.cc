#include "print/spool_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnell {
namespace {

TEST(SpoolMarksTest, MarksReadBackAsWritten) {
  RunMark run{"20260115-093012", "20251231", 'F', "0001", "9999"};
  RunMark read_run;
  OwnerMark read_owner;
  ASSERT_EQ(ParseMark(RunDirective(run), &read_run, &read_owner), MarkKind::kRun);
  EXPECT_EQ(RunDirective(read_run), "QEB-RUN 20260115-093012 20251231 F 0001 9999");
  EXPECT_EQ(IsoStarted(read_run), "2026-01-15T09:30:12");
  EXPECT_EQ(YearAndLayout(read_run), "-2025-F");

  // A name may hold blanks, commas and "*"; a tax identifier longer than its width is cut.
  OwnerMark owner{"0042", "ES12345678Z", "GARCIA, LOPEZ*MARIA  ", -1};
  EXPECT_EQ(OwnerDirective(owner), "QEB-OWNER 0042 ES12345678Z       GARCIA, LOPEZ*MARIA");
  ASSERT_EQ(ParseMark(OwnerDirective(owner), &read_run, &read_owner), MarkKind::kOwner);
  EXPECT_EQ(read_owner.code, "0042");
  EXPECT_EQ(read_owner.tax_id, "ES12345678Z      ");
  EXPECT_EQ(read_owner.name, "GARCIA, LOPEZ*MARIA");
  owner.tax_id = "ES12345678Z-TOO-LONG\t";
  owner.name = "";
  EXPECT_EQ(OwnerDirective(owner), "QEB-OWNER 0042 ES12345678Z-TOO-L ");
  ASSERT_EQ(ParseMark(OwnerDirective(owner), &read_run, &read_owner), MarkKind::kOwner);
  EXPECT_EQ(read_owner.name, "");

  ASSERT_EQ(ParseMark(OwnerEndDirective("0042", 3), &read_run, &read_owner), MarkKind::kOwnerEnd);
  EXPECT_EQ(read_owner.code, "0042");
  EXPECT_EQ(read_owner.properties, 3);
}

TEST(SpoolMarksTest, OtherDirectivesAndDamagedMarks) {
  struct Case {
    const char* directive;
    MarkKind kind;
  };
  const std::vector<Case> cases = {
      {"@e", MarkKind::kNone},
      {"u", MarkKind::kNone},
      {"QEB-PROPERTY 0001 1", MarkKind::kNone},  // a mark of a later version
      {"QEB-RUN 20260115-093012 20251231 F 0001", MarkKind::kDamaged},
      {"QEB-RUN 20260115093012 20251231 F 0001 9999", MarkKind::kDamaged},
      {"QEB-RUN 20260115-093012 2025123 F 0001 9999", MarkKind::kDamaged},
      {"QEB-OWNER 42 ES12345678Z       NAME", MarkKind::kDamaged},
      {"QEB-OWNER 0042 ES123", MarkKind::kDamaged},
      {"QEB-OWNER 0042 ES12345678Z       X", MarkKind::kOwner},
      {"QEB-OWNER-END 0042", MarkKind::kDamaged},
      {"QEB-OWNER-END 0042 -1", MarkKind::kDamaged},
      {"QEB-OWNER-END 0042 1234567", MarkKind::kDamaged},
  };
  for (const Case& c : cases) {
    RunMark run;
    OwnerMark owner;
    EXPECT_EQ(ParseMark(c.directive, &run, &owner), c.kind) << c.directive;
  }
}

}  // namespace
}  // namespace quarnell
