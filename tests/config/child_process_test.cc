#include "config/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quarnell {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ChildProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("qeb-child-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::filesystem::path directory_;
};

TEST_F(ChildProcessTest, ExitStatusAndSignalAreReported) {
  struct Case {
    const char* script;
    int status;
  } cases[] = {
      {"exit 0", 0},
      {"exit 3", 3},
      {"kill -TERM $$", 128 + SIGTERM},
  };
  for (const Case& c : cases) {
    const ChildExit exit = RunChildProgram("/bin/sh", {"-c", c.script});
    EXPECT_EQ(exit.start_error, 0) << c.script;
    EXPECT_EQ(exit.status, c.status) << c.script;
  }
}

TEST_F(ChildProcessTest, AMissingProgramIsAStartError) {
  const ChildExit exit = RunChildProgram((directory_ / "no-such-program").string(), {});
  EXPECT_EQ(exit.start_error, ENOENT);
}

// Arguments reach the child as words: nothing in them is read by a command interpreter.
TEST_F(ChildProcessTest, ArgumentsAreNeverInterpreted) {
  const auto out = directory_ / "out";
  ChildSetup output;
  output.output_path = out.string();
  const ChildExit exit = RunChildProgram("/bin/echo", {"a;b", "$(touch x)", "`y`"}, output);
  ASSERT_EQ(exit.status, 0);
  EXPECT_EQ(ReadAll(out), "a;b $(touch x) `y`\n");
}

TEST_F(ChildProcessTest, OutputAndErrorAreAddedToTheirFiles) {
  const auto out = directory_ / "out";
  const auto err = directory_ / "err";
  ChildSetup files;
  files.output_path = out.string();
  files.error_path = err.string();
  RunChildProgram("/bin/sh", {"-c", "echo one; echo bad >&2"}, files);
  RunChildProgram("/bin/sh", {"-c", "echo two"}, files);
  EXPECT_EQ(ReadAll(out), "one\ntwo\n");
  EXPECT_EQ(ReadAll(err), "bad\n");

  ChildSetup discarded = files;
  discarded.discard_output = true;
  RunChildProgram("/bin/sh", {"-c", "echo three"}, discarded);
  EXPECT_EQ(ReadAll(out), "one\ntwo\n");
}

// A default reaches the child only where this process's environment does not set the name: the
// operator's own setting wins.
TEST_F(ChildProcessTest, EnvironmentDefaultsGiveWayToTheEnvironment) {
  const auto out = directory_ / "out";
  ChildSetup setup;
  setup.output_path = out.string();
  setup.search_path = true;
  setup.environment_defaults = {"QEB_CHILD_UNSET=default", "QEB_CHILD_SET=default"};
  setenv("QEB_CHILD_SET", "own", 1);
  unsetenv("QEB_CHILD_UNSET");
  const ChildExit exit =
      RunChildProgram("sh", {"-c", "echo $QEB_CHILD_UNSET $QEB_CHILD_SET"}, setup);
  unsetenv("QEB_CHILD_SET");
  ASSERT_EQ(exit.status, 0);
  EXPECT_EQ(ReadAll(out), "default own\n");
}

// While the program ignores Ctrl+C for a child that has the terminal, the child must still end on
// it: a pager that cannot be interrupted would be worse than none.
TEST_F(ChildProcessTest, ChildGetsKeyboardSignalsAtTheirDefaults) {
  struct sigaction ignore {};
  struct sigaction previous_int {};
  struct sigaction previous_quit {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &previous_int);
  sigaction(SIGQUIT, &ignore, &previous_quit);
  const ChildExit interrupted = RunChildProgram("/bin/sh", {"-c", "kill -INT $$; exit 9"});
  const ChildExit quit = RunChildProgram("/bin/sh", {"-c", "kill -QUIT $$; exit 9"});
  sigaction(SIGINT, &previous_int, nullptr);
  sigaction(SIGQUIT, &previous_quit, nullptr);
  EXPECT_EQ(interrupted.status, 128 + SIGINT);
  EXPECT_EQ(quit.status, 128 + SIGQUIT);
}

}  // namespace
}  // namespace quarnell
