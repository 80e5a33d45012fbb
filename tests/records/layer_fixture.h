// What the record-file layer tests share: an installation root with DADES\ and ddf\, a clock
// whose sleeps are scripted, alerts that are recorded, and an exit that returns.
#ifndef QUARNELL_TESTS_RECORDS_LAYER_FIXTURE_H_
#define QUARNELL_TESTS_RECORDS_LAYER_FIXTURE_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "config/alerts.h"
#include "config/session.h"
#include "records/create_data.h"
#include "records/record_files.h"
#include "records/storages.h"
#include "support/recording_alerts.h"
#include "support/temp_dir.h"
#include "text/clock.h"
#include "text/language.h"

namespace quarnell::testing {

class ScriptedClock : public Clock {
 public:
  ScriptedClock() { SetClock(this); }
  ~ScriptedClock() override { SetClock(nullptr); }
  ScriptedClock(const ScriptedClock&) = delete;
  ScriptedClock& operator=(const ScriptedClock&) = delete;

  int32_t Today() override { return 20260115; }
  int32_t SecondsOfDay() override { return 43200; }
  void SleepMilliseconds(int32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    if (on_sleep) on_sleep(static_cast<int>(sleeps.size()));
  }
  double Random() override { return random; }

  std::vector<int32_t> sleeps;
  // Called after each sleep with the number of sleeps so far.
  std::function<void(int)> on_sleep;
  double random = 0.25;
};

// An installation on the storage of the test's parameter: for the server, its Tova.ini names a
// fresh schema of the test server.
class LayerTest : public ::testing::TestWithParam<Storage> {
 protected:
  void SetUp() override {
    setenv("QEBROOT", root_.dir().c_str(), 1);
    StartConfiguration();
    SetLanguageCode("CAT");
    std::filesystem::create_directories(root_.path() / "DADES");
    std::filesystem::create_directories(root_.path() / "ddf");
    SetRecordFileExit([this](int code) { exit_codes_.push_back(code); });
    if (!OnServer()) return;
    if (ServerTestsOff()) GTEST_SKIP() << "QEB_PG=off: no server tests";
    schema_ = std::make_unique<ServerSchema>();
    ASSERT_EQ("", schema_->error());
    root_.Write("Tova.ini", "[Dades]\nServidor=" + schema_->server() + "\n");
    ASSERT_EQ(kRecordOk, SelectRecordStorage(Root()));
  }
  void TearDown() override {
    int16_t status = 0;
    ResetRecordFiles(status);
    SetRecordFileExit(nullptr);
    unsetenv("QEBROOT");
  }

  // Writes ddf\<base>.xdf: the length word, then the Create data.
  void WriteDictionary(const std::string& base, const std::string& create_data) {
    std::string bytes;
    bytes += static_cast<char>(create_data.size() & 0xFF);
    bytes += static_cast<char>(create_data.size() >> 8);
    root_.Write("ddf/" + base + ".xdf", bytes + create_data);
  }

  std::string Root() const { return root_.dir(); }
  bool OnServer() const { return GetParam() == Storage::kServer; }

  TempDir root_;
  std::unique_ptr<ServerSchema> schema_;
  ScriptedClock clock_;
  RecordingAlerts alerts_;
  std::vector<int> exit_codes_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_LAYER_FIXTURE_H_
