#include "screen/browse.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/scoped_environment.h"
#include "config/session.h"
#include "records/create_data.h"
#include "records/engine/engine_client.h"
#include "records/record_files.h"
#include "screen/browse_cache.h"
#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen_fixture.h"
#include "support/recording_alerts.h"

namespace quarnell::testing {
namespace {

constexpr int16_t kNames = 7;

// 24-byte records: a 4-digit code (key 0) and a 20-character name (key 1, duplicates allowed).
struct NameRecord {
  char code[4];
  char name[20];
};

// A pick list over a file of names, in a window of 4 lines of 20 characters (rows 4 to 9,
// columns 10 to 31), with the session directory in the scratch directory.
class BrowseListTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    environment_.Set("QEBROOT", dir_.dir());
    environment_.Set("QEBTMP", dir_.dir());
    StartConfiguration();
    ResetKeyInput();
    std::filesystem::create_directories(dir_.path() / "DADES");
    list_.file = kNames;
    list_.key_number = 1;
    list_.frame = {4, 10, 9, 31};
    list_.title = "Noms";
    list_.line = [this] {
      ++lines_read_;
      std::string code(record_.code, 4);
      std::string name(record_.name, 20);
      return hidden_ && hidden_(code) ? std::string() : code + "  " + name;
    };
  }
  void TearDown() override {
    int16_t status = 0;
    ResetRecordFiles(status);
    ResetKeyInput();
    ScreenTest::TearDown();
  }

  // Creates the file with one record per name, codes 0001 up, and opens it.
  void MakeFile(const std::vector<std::string>& names) {
    const std::string path = dir_.file("DADES/Names.dat");
    ASSERT_EQ(kRecordOk, CreateFile(path, MakeCreateData(24, {{{1, 4, 0}}, {{5, 20, 1}}})));
    EngineClient client;
    ASSERT_EQ(kRecordOk, client.Open(path));
    for (size_t i = 0; i < names.size(); ++i) {
      char code[24];
      std::snprintf(code, sizeof code, "%04zu", i + 1);
      std::string name = names[i];
      name.resize(20, ' ');
      ASSERT_EQ(kRecordOk, client.Insert(std::string(code) + name));
    }
    client.Close();
    int16_t status = 0;
    OpenRecordFile(kNames, dir_.dir() + "DADES\\Names", RecordAreaOf(record_), status);
    ASSERT_EQ(status, 0);
  }

  // The lines inside the window (rows 5 to 8, columns 11 to 30), trailing blanks removed.
  std::vector<std::string> Lines(size_t key) {
    std::vector<std::string> lines;
    for (int row = 5; row <= 8; ++row) lines.push_back(WindowRow(key, row, 11, 30));
    return lines;
  }

  // Columns `left` to `right` of `row` on the screen kept at key `key`, trailing blanks removed.
  std::string WindowRow(size_t key, int row, int left, int right) {
    const std::string& screen = console_.memory().screens_at_keys().at(key);
    size_t at = 0;
    for (int r = 1; r < row; ++r) at = screen.find('\n', at) + 1;
    std::string line = screen.substr(at, screen.find('\n', at) - at);
    std::string out;
    int column = 0;
    for (char c : line) {
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++column;
      if (column >= left && column <= right) out += c;
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
  }

  // The code in the record area.
  std::string Code() const { return std::string(record_.code, 4); }

  // The attribute runs of the row `row` at key `key`: which line is highlighted.
  bool Highlighted(size_t key, int row) {
    const std::string& screen = console_.memory().screens_at_keys().at(key);
    size_t at = 0;
    for (int r = 1; r < row; ++r) at = screen.find('\n', at) + 1;
    return screen.substr(at, screen.find('\n', at) - at).find("11-30:70") != std::string::npos;
  }

  int16_t Run(std::initializer_list<int16_t> keys) {
    console_.memory().KeepScreensAtKeys(true);
    console_.PressKeys(keys);
    return RunBrowseList(console_, list_);
  }

  ScopedEnvironment environment_;
  BrowseList list_;
  NameRecord record_{};
  int lines_read_ = 0;
  std::vector<int16_t> locks_seen_;
  std::function<bool(const std::string& code)> hidden_;
};

const std::vector<std::string> kSixNames = {"PUIG", "FERRER", "ABAD", "CASTRO", "BOSCH", "ALBA"};

TEST_F(BrowseListTest, OpensOnAWindowOfLinesInKeyOrderAndPicks) {
  MakeFile(kSixNames);
  console_.Write(std::string(80 * 25, '.'));
  EXPECT_EQ(Run({kKeyDown, kKeyEnter}), 0);
  EXPECT_EQ(WindowRow(0, 4, 10, 31), "╔Noms════════════════╗");
  EXPECT_EQ(Lines(0),
            (std::vector<std::string>{"0003  ABAD", "0006  ALBA", "0005  BOSCH", "0004  CASTRO"}));
  EXPECT_TRUE(Highlighted(0, 5));
  EXPECT_TRUE(Highlighted(1, 6));
  EXPECT_EQ(std::string(record_.code, 4), "0006");
  EXPECT_EQ(lines_read_, 4);  // a window of lines costs a window of reads
  // Everything is put back.
  EXPECT_EQ(console_.RowText(5), std::string(80, '.'));
  EXPECT_TRUE(KeySetEmpty());
  EXPECT_FALSE(std::filesystem::exists(BrowseCacheFile()));
  EXPECT_FALSE(StackFileExists());
}

TEST_F(BrowseListTest, MovesByLineAndWindowReadingEachRecordOnce) {
  MakeFile(kSixNames);  // in name order: ABAD ALBA BOSCH CASTRO FERRER PUIG
  const std::vector<std::string> first = {"0003  ABAD", "0006  ALBA", "0005  BOSCH",
                                          "0004  CASTRO"};
  const std::vector<std::string> second = {"0006  ALBA", "0005  BOSCH", "0004  CASTRO",
                                           "0002  FERRER"};
  const std::vector<std::string> last = {"0002  FERRER", "0001  PUIG", "", ""};
  EXPECT_EQ(Run({kKeyDown, kKeyDown, kKeyDown, kKeyDown,  // the fourth scrolls by one line
                 kKeyPageUp,                              // near the top: to the first line
                 kKeyDown, kKeyDown, kKeyPageDown,        // a window on; the cursor stays ...
                 kKeyPageDown,                            // ... on a line that exists
                 kKeyUp, kKeyUp, kKeyUp, kKeyEnter}),
            0);
  EXPECT_EQ(Lines(3), first);
  EXPECT_TRUE(Highlighted(3, 8));
  EXPECT_EQ(Lines(4), second);
  EXPECT_TRUE(Highlighted(4, 8));
  EXPECT_EQ(Lines(5), first);
  EXPECT_TRUE(Highlighted(5, 5));
  EXPECT_EQ(Lines(8), last);
  EXPECT_TRUE(Highlighted(8, 6));  // the third line of the window is not there
  EXPECT_EQ(Lines(9), last);
  EXPECT_TRUE(Highlighted(9, 6));
  EXPECT_EQ(Lines(11),
            (std::vector<std::string>{"0004  CASTRO", "0002  FERRER", "0001  PUIG", ""}));
  EXPECT_EQ(Lines(12), (std::vector<std::string>{"0005  BOSCH", "0004  CASTRO", "0002  FERRER",
                                                 "0001  PUIG"}));
  EXPECT_EQ(Code(), "0005");
  EXPECT_EQ(lines_read_, 6);
}

TEST_F(BrowseListTest, KeyRangeAndLinesLeftOut) {
  MakeFile({"BOSCH", "ABAD", "BARO", "CASTRO", "BAUSA", "ALBA"});
  struct Case {
    const char* start;
    const char* end;
    std::function<bool(const std::string&)> hidden;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"B", "B", nullptr, {"0003  BARO", "0005  BAUSA", "0001  BOSCH", ""}},
      {"BAU", "", nullptr, {"0005  BAUSA", "0001  BOSCH", "0004  CASTRO", ""}},
      {"A",
       "B",
       [](const std::string& c) { return c == "0003" || c == "0002"; },
       {"0006  ALBA", "0005  BAUSA", "0001  BOSCH", ""}},
      {"Z", "Z", nullptr, {"", "", "", ""}},
  };
  size_t key = 0;
  for (const Case& c : cases) {
    list_.start_key = c.start;
    list_.end_key = c.end;
    hidden_ = c.hidden;
    EXPECT_EQ(Run({kKeyEsc}), kBrowseLeft);
    EXPECT_EQ(Lines(key++), c.lines) << c.start << "-" << c.end;
  }
  // Enter on an empty list picks nothing.
  EXPECT_EQ(Run({kKeyEnter}), kBrowseLeft);
  EXPECT_EQ(WindowRow(key++, 4, 10, 31), "╔Noms════════════════╗");
  // No record gives a line.
  list_.start_key = list_.end_key = "";
  hidden_ = [](const std::string&) { return true; };
  EXPECT_EQ(Run({kKeyEsc}), kBrowseLeft);
  EXPECT_EQ(Lines(key), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(BrowseListTest, SidewaysBy8WhileALineIsWider) {
  MakeFile({"ANNA", "MONTSERRAT RIBAS EST"});
  list_.title = "Llista de tots els noms";  // 23 characters in 20 columns
  EXPECT_THROW(Run({kKeyRight, kKeyRight}), ScriptedKeysExhausted);
  // The line of 26 characters shows from its 9th; a third Right would pass every line.
  EXPECT_EQ(console_.ReadCell(4, 10).character, 0x11);
  EXPECT_EQ(WindowRow(1, 4, 11, 31), "e tots els noms═════╗");
  EXPECT_EQ(Lines(1), (std::vector<std::string>{"NA", "NTSERRAT RIBAS EST", "", ""}));
  EXPECT_EQ(console_.RowText(6), "         ║NTSERRAT RIBAS EST  ║");
  // At the start the title and the line go on to the right.
  EXPECT_EQ(WindowRow(0, 4, 11, 30), "Llista de tots els n");
  EXPECT_EQ(Lines(0)[1], "0002  MONTSERRAT RIB");
}

TEST_F(BrowseListTest, EscWhileRecordsWithoutALineArePassedOverEndsTheReading) {
  std::vector<std::string> names;
  for (int i = 0; i < 50; ++i) names.push_back("N" + std::to_string(100 + i));
  MakeFile(names);
  hidden_ = [](const std::string& code) { return code != "0001"; };
  EXPECT_EQ(Run({kKeyEsc, kKeyEnter}), 0);
  EXPECT_EQ(lines_read_, 33);  // the Esc was seen after 32 records without a line
  EXPECT_EQ(Lines(0), (std::vector<std::string>{"0001  N100", "", "", ""}));
  EXPECT_EQ(Code(), "0001");
}

TEST_F(BrowseListTest, PreparedList) {
  list_.file = 0;
  const std::vector<PreparedEntry> entries = {{11, "UN"}, {22, "DOS"}, {33, "TRES"}};
  ASSERT_EQ(PrepareBrowseList(entries), 0);
  EXPECT_EQ(Run({kKeyDown, kKeyEnter}), 0);
  EXPECT_EQ(BrowseValue(), 22);
  EXPECT_EQ(BrowseText(), "DOS");
  EXPECT_FALSE(std::filesystem::exists(BrowseCacheFile()));
  // Nobody prepared one: an empty list whose Enter gives 0 and nothing.
  EXPECT_EQ(Run({kKeyEnter}), 0);
  EXPECT_EQ(BrowseValue(), 0);
  EXPECT_EQ(BrowseText(), "");
  // A prepared file cut short shows the entries that are whole.
  ASSERT_EQ(PrepareBrowseList(entries), 0);
  std::filesystem::resize_file(BrowseCacheFile(), 10 + 2 + 10 + 3 + 5);
  EXPECT_EQ(Run({kKeyEsc}), kBrowseLeft);
  EXPECT_EQ(Lines(3), (std::vector<std::string>{"UN", "DOS", "", ""}));
}

TEST_F(BrowseListTest, ReadsWithoutLocksAndGivesTheLockModeBack) {
  MakeFile(kSixNames);
  int16_t status = 0;
  SetLockMode(kNames, "a", status);
  list_.line = [this] {
    locks_seen_.push_back(InspectFileSlot(kNames).lock_mode);
    return std::string("line");
  };
  EXPECT_EQ(Run({kKeyEsc}), kBrowseLeft);
  EXPECT_EQ(locks_seen_, std::vector<int16_t>(4, kLockNone));
  EXPECT_EQ(InspectFileSlot(kNames).lock_mode, kLockAndWait);
}

TEST_F(BrowseListTest, F4SwitchesOnlyWhenOffered) {
  MakeFile(kSixNames);
  EXPECT_EQ(Run({kKeyF4, kKeyEsc}), kBrowseLeft);  // not offered: F4 is no key of the list
  bool cache_gone = false;
  list_.switch_list = [&](Console&) {
    cache_gone = !std::filesystem::exists(BrowseCacheFile());
    return int16_t{5};
  };
  EXPECT_EQ(Run({kKeyF4}), 5);
  EXPECT_TRUE(cache_gone);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(BrowseListTest, ALeftoverCacheFileIsReplacedNeverWrittenThrough) {
  MakeFile(kSixNames);
  dir_.Write("Browse.tmp", std::string(100, 'x'));
  EXPECT_EQ(Run({kKeyEsc}), kBrowseLeft);
  EXPECT_EQ(Lines(0)[0], "0003  ABAD");
  dir_.Write("elsewhere", "keep");
  ASSERT_EQ(symlink(dir_.file("elsewhere").c_str(), BrowseCacheFile().c_str()), 0);
  EXPECT_EQ(Run({kKeyDown, kKeyEnter}), 0);
  EXPECT_EQ(dir_.Read("elsewhere"), "keep");
  EXPECT_FALSE(std::filesystem::exists(BrowseCacheFile()));
}

TEST_F(BrowseListTest, ACacheFileThatCannotBeCreatedIsTold) {
  MakeFile(kSixNames);
  RecordingAlerts alerts;
  environment_.Set("QEBTMP", dir_.dir() + "missing/");
  StartConfiguration();
  EXPECT_EQ(Run({}), kBrowseLeft);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_NE(alerts.shown[0].find("Browse.tmp"), std::string::npos);
}

// The pick list of a form: a question screen first, the program's hooks, and F4 on a field.
constexpr char kBrowseForm[] =
    "2,2\r\n"
    "\"d,1b,4800,5000,3e00\",2,0,0,0,0,0\r\n"
    "3,5,\"From : \",5,0,0,0,0,1,\"\"\r\n"
    "4,5,\"To   : \",5,0,0,0,0,1,\"\"\r\n"
    "\"d,1b\",1,0,15,10,19,60\r\n"
    "2,2,\"Name begins : \",10,0,0,0,0,0,\"\"\r\n"
    "1\r\n"
    "7,1,4,10,9,31,2,\"Noms\",0\r\n";

class BrowseFormTest : public BrowseListTest {
 protected:
  void SetUp() override {
    BrowseListTest::SetUp();
    FormDefinition form;
    std::string error;
    ASSERT_TRUE(ParseForm(kBrowseForm, &form, &error)) << error;
    SetForm(std::move(form));
    ResetFormEntry();
    FormHooks hooks;
    hooks.browse_line = [this](int browse) { return browse == 1 ? list_.line() : ""; };
    hooks.browse_start = [this](int, std::string& from, std::string& to) {
      from = to = WithoutBlanks(EntryText(2, 1));
      return start_result_;
    };
    hooks.browse_pick = [this](Console& console, int& browse, int screen, int field) {
      ++picks_;
      return browse == 1 && screen > 0 ? CheckField(console, screen, Code(), field, 0) : 0;
    };
    SetFormHooks(hooks);
    SetBrowseCall(Browse);
  }
  void TearDown() override {
    SetFormHooks({});
    SetBrowseCall(nullptr);
    ResetFormEntry();
    BrowseListTest::TearDown();
  }

  static std::string WithoutBlanks(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  }

  int16_t start_result_ = 0;
  int picks_ = 0;
};

TEST_F(BrowseFormTest, F4PutsThePickedCodeInTheField) {
  MakeFile(kSixNames);
  console_.PressKeys({kKeyF4, kKeyEnter, kKeyDown, kKeyEnter});  // all names, the second
  console_.PressKeys({kKeyF4});
  console_.TypeText("C");  // names beginning with C: CASTRO
  console_.PressKeys({kKeyEnter, kKeyEnter});
  int16_t key = 0;
  RunForm(console_, 1, 0, 0, key);
  EXPECT_EQ(key, kKeyEnter);  // a pick on the last field ends the screen
  EXPECT_EQ(EntryText(1, 1), "0006 ");
  EXPECT_EQ(EntryText(1, 2), "0004 ");
  EXPECT_EQ(picks_, 2);
  EXPECT_TRUE(KeySetEmpty());
  EXPECT_FALSE(StackFileExists());
}

TEST_F(BrowseFormTest, LeavingBeforeTheListOrRefusedByTheProgram) {
  MakeFile(kSixNames);
  SetKeySet("ea", "1b");
  SetKeySet("+ea", "d,3e00");  // the field that pressed F4
  const SavedKeySet field = SaveKeySet();
  console_.PressKeys({kKeyEsc});
  EXPECT_EQ(Browse(console_, 1), kBrowseLeft);  // Esc on the question
  EXPECT_EQ(SaveKeySet(), field);
  start_result_ = 9;
  console_.PressKeys({kKeyEnter});
  EXPECT_EQ(Browse(console_, 1), 9);
  EXPECT_EQ(SaveKeySet(), field);
  EXPECT_EQ(Browse(console_, 2), kBrowseLeft);  // no such list
  EXPECT_EQ(lines_read_, 0);
}

}  // namespace
}  // namespace quarnell::testing
