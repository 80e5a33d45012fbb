#include "print/fresh_file.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "print/sha256.h"
#include "support/temp_dir.h"

namespace quarnell {
namespace {

using testing::TempDir;

// Sets the file times of `path` (not of what a link points to) to 2001, or to 2100 when `later`.
void Age(const std::string& path, bool later = false) {
  const time_t when = later ? 4102444800 : 1000000000;
  struct timeval times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(lutimes(path.c_str(), times), 0) << path;
}

std::string Written(FreshFile& file, const std::string& final_path, const std::string& bytes) {
  std::string problem;
  EXPECT_TRUE(file.Create(final_path, &problem)) << problem;
  std::fputs(bytes.c_str(), file.file());
  return file.path();
}

TEST(FreshFileTest, PlaceAsNewKeepsWhatIsThereAndDiscardLeavesNothing) {
  TempDir temp;
  temp.Write("a.b/report.pdf", "first");
  temp.Write("a.b/report", "no extension");
  std::string placed, problem;
  FreshFile second;
  Written(second, temp.file("a.b/report.pdf"), "second");
  ASSERT_TRUE(second.PlaceAsNew(temp.file("a.b/report.pdf"), &placed, &problem)) << problem;
  EXPECT_EQ(placed, temp.file("a.b/report-2.pdf"));
  FreshFile third;
  Written(third, temp.file("a.b/report"), "third");
  ASSERT_TRUE(third.PlaceAsNew(temp.file("a.b/report"), &placed, &problem)) << problem;
  EXPECT_EQ(placed, temp.file("a.b/report-2"));
  EXPECT_EQ(temp.Read("a.b/report.pdf"), "first");
  EXPECT_EQ(temp.Read("a.b/report-2.pdf"), "second");

  std::string temporary;
  {
    FreshFile dropped;
    temporary = Written(dropped, temp.file("a.b/report.pdf"), "dropped");
    EXPECT_TRUE(std::filesystem::exists(temporary));
  }
  EXPECT_FALSE(std::filesystem::exists(temporary));
  FreshFile nowhere;
  EXPECT_FALSE(nowhere.Create(temp.file("missing/report.pdf"), &problem));
  EXPECT_EQ(problem,
            "cannot create a file in " + temp.file("missing") + ": No such file or directory");
}

// Only what a killed writer left goes: old, a regular file, named as a temporary file of the
// prefix, and locked by nobody.
TEST(FreshFileTest, LeftoversOfKilledWritersAreRemoved) {
  TempDir temp;
  struct Case {
    std::string name;
    bool old;
    bool removed;
  };
  const std::vector<Case> cases = {
      {".informe-20250101-101010.pdf.Ab12Cd", true, true},
      {".informe-20250101-101010.txt.zzzzzz", true, true},
      {".informe-20250101-101010.pdf.Ab12Cd7", true, false},  // not a temporary name
      {".informe-x.pdf.Ab-2Cd", true, false},
      {"informe-20250101-101010.pdf", true, false},  // a finished report
      {".other.pdf.Ab12Cd", true, false},
      {".informe-new.pdf.Ab12Cd", false, false},  // written since the start
  };
  for (const Case& c : cases) {
    temp.Write(c.name, "x");
    Age(temp.file(c.name), !c.old);
  }
  std::filesystem::create_directory(temp.file(".informe-dir.pdf.Ab12Cd"));
  Age(temp.file(".informe-dir.pdf.Ab12Cd"));
  std::filesystem::create_symlink(temp.file("informe-20250101-101010.pdf"),
                                  temp.file(".informe-link.pdf.Ab12Cd"));
  Age(temp.file(".informe-link.pdf.Ab12Cd"));
  FreshFile live;  // a writer still at work
  std::string live_path = Written(live, temp.file("informe-live.pdf"), "live");
  Age(live_path);

  EXPECT_EQ(RemoveLeftoverFiles(temp.path().string(), "informe-", std::chrono::system_clock::now()),
            2);
  for (const Case& c : cases) {
    EXPECT_EQ(std::filesystem::exists(temp.file(c.name)), !c.removed) << c.name;
  }
  EXPECT_TRUE(std::filesystem::exists(temp.file(".informe-dir.pdf.Ab12Cd")));
  EXPECT_TRUE(std::filesystem::is_symlink(temp.file(".informe-link.pdf.Ab12Cd")));
  EXPECT_TRUE(std::filesystem::exists(live_path));
  EXPECT_EQ(RemoveLeftoverFiles(temp.file("missing"), "informe-", std::chrono::system_clock::now()),
            0);
}

// A split's files reach their directory together, replacing earlier files of their names; a run's
// archive never replaces another run's directory.
TEST(StagingDirectoryTest, FilesMoveOutTogetherAndDirectoriesNeverReplaceOthers) {
  TempDir temp;
  temp.Write("out/a.pdf", "old a");
  std::string problem, placed;
  StagingDirectory split;
  ASSERT_TRUE(split.Create(temp.file("out"), "qebsplit", &problem)) << problem;
  for (const char* name : {"a.pdf", "b.pdf", "index.csv"}) {
    std::FILE* file = std::fopen(split.File(name).c_str(), "w");
    std::fputs(name, file);
    std::fclose(file);
  }
  ASSERT_TRUE(split.MoveFilesOut({"a.pdf", "b.pdf", "index.csv"}, &problem)) << problem;
  EXPECT_EQ(temp.Read("out/a.pdf"), "a.pdf");
  EXPECT_EQ(temp.Read("out/index.csv"), "index.csv");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.file("out")), {}), 3);

  temp.Write("year/run/kept", "first run");
  for (const char* expected : {"year/run-2", "year/run-3"}) {
    StagingDirectory run;
    ASSERT_TRUE(run.Create(temp.file("year"), "run", &problem)) << problem;
    ASSERT_TRUE(run.PlaceAsNew(temp.file("year/run"), &placed, &problem)) << problem;
    EXPECT_EQ(placed, temp.file(expected));
  }
  EXPECT_EQ(temp.Read("year/run/kept"), "first run");

  StagingDirectory dropped;
  ASSERT_TRUE(dropped.Create(temp.file("year"), "run", &problem)) << problem;
  const std::string dropped_path = dropped.path();
  temp.Write("year/" + dropped_path.substr(dropped_path.rfind('/') + 1) + "/file", "x");
  dropped.Discard();
  EXPECT_FALSE(std::filesystem::exists(dropped_path));

  temp.Write("blocked", "a file where the directory should be");
  StagingDirectory blocked;
  EXPECT_FALSE(blocked.Create(temp.file("blocked/out"), "qebsplit", &problem));
  EXPECT_NE(problem.find("cannot create the directory " + temp.file("blocked/out")),
            std::string::npos)
      << problem;
}

TEST(StagingDirectoryTest, LeftoversOfKilledWritersAreRemoved) {
  TempDir temp;
  std::filesystem::create_directories(temp.file(".qebsplit.Ab12Cd/inner"));
  Age(temp.file(".qebsplit.Ab12Cd"));
  std::filesystem::create_directories(temp.file(".qebsplit.Zz99zz"));  // written since the start
  Age(temp.file(".qebsplit.Zz99zz"), true);
  std::filesystem::create_directories(temp.file("qebsplit.Ab12Cd"));  // not hidden: not ours
  Age(temp.file("qebsplit.Ab12Cd"));
  StagingDirectory live;
  std::string problem;
  ASSERT_TRUE(live.Create(temp.path().string(), "qebsplit", &problem)) << problem;
  Age(live.path());

  EXPECT_EQ(
      RemoveLeftoverDirectories(temp.path().string(), "qebsplit", std::chrono::system_clock::now()),
      1);
  EXPECT_FALSE(std::filesystem::exists(temp.file(".qebsplit.Ab12Cd")));
  EXPECT_TRUE(std::filesystem::exists(temp.file(".qebsplit.Zz99zz")));
  EXPECT_TRUE(std::filesystem::exists(temp.file("qebsplit.Ab12Cd")));
  EXPECT_TRUE(std::filesystem::exists(live.path()));
}

TEST(Sha256Test, DigestsOfTextsAndFiles) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  TempDir temp;
  std::string big(200000, 'q');
  temp.Write("big", big);
  std::string digest, problem;
  ASSERT_TRUE(Sha256OfFile(temp.file("big"), &digest, &problem)) << problem;
  EXPECT_EQ(digest, Sha256Hex(big));
  EXPECT_FALSE(Sha256OfFile(temp.file("missing"), &digest, &problem));
  EXPECT_EQ(digest, Sha256Hex(big));
  EXPECT_EQ(problem, "cannot read " + temp.file("missing") + ": No such file or directory");
}

}  // namespace
}  // namespace quarnell
