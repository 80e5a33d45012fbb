#include "screen/form_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "form_fixture.h"
#include "screen/key_codes.h"

namespace quarnell::testing {
namespace {

constexpr int16_t kKeyF5 = 0x3F00;

class FormEntryTest : public FormTest {
 protected:
  // AcceptForm records the screens and keys it is called with and answers from `answers` (0 when
  // they run out).
  void RecordAccepts(std::vector<int16_t> answers = {}) {
    answers_ = std::move(answers);
    FormHooks hooks;
    hooks.accept_form = [this](Console&, int screen, int16_t& key) {
      accepts_.push_back({screen, key});
      if (answers_.empty()) return int16_t{0};
      int16_t answer = answers_.front();
      answers_.erase(answers_.begin());
      return answer;
    };
    SetFormHooks(std::move(hooks));
  }

  std::vector<int16_t> answers_;
  std::vector<std::pair<int, int16_t>> accepts_;
};

TEST_F(FormEntryTest, TheOperatorFillsTheScreenFieldByField) {
  RecordAccepts();
  console_.TypeText("01/03/2025");
  console_.PressKeys({kKeyEnter});
  console_.TypeText("12");
  console_.PressKeys({kKeyEnter, 'f', kKeyEnter});  // Skip is passed over
  console_.TypeText("1234");
  console_.PressKeys({kKeyEnter});
  console_.TypeText("hello");
  console_.PressKeys({kKeyEnter});
  EXPECT_EQ(Run(), kKeyEnter);
  EXPECT_EQ(Entry(1), "01/03/2025");
  EXPECT_EQ(Entry(2), "12   ");
  EXPECT_EQ(Entry(3), "   ");
  EXPECT_EQ(Entry(4), "F");
  EXPECT_EQ(Entry(5), "1234");
  EXPECT_EQ(Entry(6), "hello               ");
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int16_t>>{{1, kKeyEnter}}));
  EXPECT_EQ(console_.Bells(), 0);
  const std::vector<std::string> rows = {std::string(38, ' ') + "TEST",
                                         "",
                                         "    Date : 1/3/2025",
                                         "    Code : 12",
                                         "    Skip :",
                                         "    Kind : Fiscal",
                                         "    Pin  :",
                                         "    Note : hello",
                                         ""};
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_EQ(console_.RowText(static_cast<int>(row) + 1), rows[row]) << "row " << row + 1;
  }
  EXPECT_EQ(CurrentEntry().screen, 0);
}

TEST_F(FormEntryTest, ARefusedDateRingsAndKeepsTheOperatorInTheField) {
  RecordAccepts();
  console_.TypeText("31/02/2025");
  console_.PressKeys({kKeyEnter});
  console_.TypeText("28");
  console_.PressKeys({kKeyEnter, kKeyEsc, kKeyEsc});
  EXPECT_EQ(Run(), kKeyEsc);
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_EQ(Entry(1), "28/02/2025");  // the rejected text stayed to be corrected
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int16_t>>{{1, kKeyEsc}}));
}

TEST_F(FormEntryTest, ABlankDateBecomesTheWorkingDate) {
  console_.PressKeys({kKeyEnter, kKeyEsc, kKeyEsc});
  EXPECT_EQ(Run(), kKeyEsc);
  EXPECT_EQ(Entry(1), "150126    ");
  EXPECT_EQ(console_.RowText(3), "    Date : 15/1/2026");
}

TEST_F(FormEntryTest, EscOnALaterFieldGoesBackToTheFirstAndDiscardsTheTyping) {
  RecordAccepts();
  SetEntryText(1, 2, "3");
  console_.PressKeys({kKeyEnter});
  console_.TypeText("77");
  console_.PressKeys({kKeyEsc, kKeyEsc});
  EXPECT_EQ(Run(), kKeyEsc);
  EXPECT_EQ(Entry(2), "3    ");
  EXPECT_EQ(console_.RowText(4), "    Code : 3");
  EXPECT_EQ(accepts_.size(), 1u);
}

TEST_F(FormEntryTest, CursorKeysMoveAndPassOverFieldsThatCannotBeEdited) {
  // Down to Code, Down past Skip to Kind, Up past Skip to Code, PgDn to Note, Down to its second
  // line, Down there stays on the last field, Enter after the last field ends the screen.
  console_.PressKeys(
      {kKeyDown, kKeyDown, kKeyUp, '5', kKeyPageDown, kKeyDown, 'z', kKeyDown, kKeyF5, kKeyEnter});
  EXPECT_EQ(Run(), kKeyEnter);
  EXPECT_EQ(Entry(2), "5    ");
  EXPECT_EQ(Entry(6), "          z         ");
  EXPECT_EQ(console_.RowText(9), "           z");
  EXPECT_EQ(console_.Bells(), 0);
}

TEST_F(FormEntryTest, AHiddenFieldEchoesXAndKeepsItsValueWhenLeftBlank) {
  console_.memory().KeepScreensAtKeys(true);
  // A click on the Pin field from the date field, then the Pin typed.
  console_.PressKeys({MouseClickCode(7, 13), '1', '2', kKeyEnter, kKeyEnter});
  EXPECT_EQ(Run(), kKeyEnter);
  EXPECT_EQ(Entry(5), "12  ");
  const std::vector<std::string>& screens = console_.memory().screens_at_keys();
  EXPECT_NE(screens[3].find("Pin  : XXXX"), std::string::npos);
  EXPECT_EQ(console_.RowText(7), "    Pin  :");

  console_.PressKeys({MouseClickCode(7, 14), kKeyEnter, kKeyEsc, kKeyEsc});
  Run();
  EXPECT_EQ(Entry(5), "12  ");
}

TEST_F(FormEntryTest, AClickOutsideEveryFieldStays) {
  console_.PressKeys({MouseClickCode(20, 40), '9', kKeyEsc});
  EXPECT_EQ(Run(), kKeyEsc);
  // Leaving the date field for the click filled in the working date; the 9 typed over it after
  // the click was discarded by Esc.
  EXPECT_EQ(Entry(1), "150126    ");
}

TEST_F(FormEntryTest, F1ShowsTheHelpOfTheMenuAndComesBackToTheField) {
  std::string page = " HELP OF THE PARAMETERS";  // the frame covers the first column
  page.resize(80, ' ');
  dir_.Write("AJUDA/QUARNELL.HLP", page);  // the topic is NomMenu without its trailing blanks
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({kKeyDown, '4', kKeyF1, kKeyEsc, '2', kKeyEsc, kKeyEsc});
  Run();
  EXPECT_NE(console_.memory().screens_at_keys()[3].find("HELP OF THE PARAMETERS"),
            std::string::npos);
  EXPECT_EQ(console_.RowText(5), "    Skip :");  // the screen came back from under the help
  EXPECT_EQ(console_.Bells(), 0);
}

TEST_F(FormEntryTest, F1WithoutATopicDoesNothing) {
  dir_.Write("Sessio.ini", "[Menu]\nTitol=TEST\n");
  StartConfiguration();
  console_.PressKeys({kKeyF1, kKeyEsc});
  EXPECT_EQ(Run(), kKeyEsc);
  EXPECT_EQ(console_.Bells(), 0);
}

TEST_F(FormEntryTest, F4WithoutAPickListRingsAndStays) {
  console_.PressKeys({kKeyDown, kKeyF4, '8', kKeyEsc, kKeyEsc});
  Run();
  EXPECT_EQ(console_.Bells(), 1);
}

TEST_F(FormEntryTest, F4PicksIntoTheFieldAndMovesOn) {
  std::vector<int> lists;
  SetBrowseCall([&](Console&, int browse) {
    lists.push_back(browse);
    return int16_t{0};
  });
  int picks = 0;
  FormHooks hooks;
  hooks.browse_pick = [&](Console& console, int& browse, int screen, int field) {
    if (++picks == 1) browse = 0;  // open the list again
    return CheckField(console, screen, "0042", field, 0);
  };
  SetFormHooks(std::move(hooks));
  console_.PressKeys({kKeyDown, kKeyF4, kKeyUp, kKeyEsc, kKeyEsc});
  Run();
  EXPECT_EQ(lists, (std::vector<int>{1, 1}));
  EXPECT_EQ(Entry(2), "0042 ");
  EXPECT_EQ(console_.Bells(), 0);
  // After the pick the cursor went on to Kind (Up came back over Skip, as Down went).
  EXPECT_EQ(console_.KeysLeft(), 0u);
}

TEST_F(FormEntryTest, AListLeftWithoutAPickCountsAsRefused) {
  SetBrowseCall([](Console&, int) { return int16_t{-1}; });
  console_.PressKeys({kKeyDown, '7', kKeyF4, kKeyEnter, kKeyEsc, kKeyEsc});
  Run();
  EXPECT_EQ(console_.Bells(), 1);
  EXPECT_EQ(Entry(2), "7    ");  // the typed text stayed in the field after the bell
}

TEST_F(FormEntryTest, AcceptFormRefusingPutsTheOperatorBackOnTheFirstField) {
  RecordAccepts({-1});
  console_.PressKeys({kKeyPageDown, kKeyEnter});  // to Note, and out
  console_.TypeText("02/01/2026");
  console_.PressKeys({kKeyEsc});  // Esc on the first field: the typing is discarded, and out
  EXPECT_EQ(Run(), kKeyEsc);
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int16_t>>{{1, kKeyEnter}, {1, kKeyEsc}}));
  EXPECT_EQ(Entry(1), "150126    ");
}

TEST_F(FormEntryTest, PageKeysLeaveOnlyWhenTheFlagsAllow) {
  console_.PressKeys({kKeyPageUp});
  int16_t key = 0;
  RunForm(console_, 1, 1, 0, key);
  EXPECT_EQ(key, kKeyPageUp);
  console_.PressKeys({kKeyPageDown, kKeyPageDown});
  RunForm(console_, 1, 0, 1, key);
  EXPECT_EQ(key, kKeyPageDown);
}

TEST_F(FormEntryTest, AWindowedScreenPutsBackWhatItCovered) {
  console_.SetCursor(11, 21);
  console_.Write("underneath");
  console_.memory().KeepScreensAtKeys(true);
  console_.PressKeys({'n', kKeyEnter});
  EXPECT_EQ(Run(2), kKeyEnter);
  EXPECT_EQ(Entry(1, 2), "N");
  EXPECT_NE(console_.memory().screens_at_keys()[0].find("\u2551  Sure?\u25C4S\u00ED\u25BA"),
            std::string::npos)
      << console_.memory().screens_at_keys()[0];
  EXPECT_EQ(console_.RowText(11), std::string(20, ' ') + "underneath");
  EXPECT_EQ(console_.memory().screens_at_keys()[0].find("TEST"), std::string::npos);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(FormEntryTest, TheLinkedScreenRunsFromTheLastField) {
  RecordAccepts();
  ScreenAt(1).linked = 2;
  // Enter to Note; Enter there opens screen 2; Esc on its first field comes back to Note; Up
  // there gives Esc too; Enter on its last field ends both screens.
  console_.PressKeys(
      {kKeyPageDown, kKeyEnter, kKeyEsc, kKeyEnter, kKeyUp, kKeyEnter, 's', kKeyEnter});
  EXPECT_EQ(Run(), kKeyEnter);
  EXPECT_EQ(Entry(1, 2), "S");
  EXPECT_EQ(accepts_, (std::vector<std::pair<int, int16_t>>{
                          {2, kKeyEsc}, {2, kKeyEsc}, {2, kKeyEnter}, {1, kKeyEnter}}));
  EXPECT_EQ(console_.WindowDepth(), 0);
}

TEST_F(FormEntryTest, ShowFieldShowsTheOptionTextOrNothing) {
  SetEntryText(1, 4, "E");
  SetEntryText(1, 6, "first line second");
  ShowScreen(console_, 1);
  EXPECT_EQ(console_.RowText(6), "    Kind : Especial");
  EXPECT_EQ(console_.RowText(8), "    Note : first line");
  EXPECT_EQ(console_.RowText(9), "            second");
  SetEntryText(1, 4, "X");
  console_.Clear();
  ShowScreen(console_, 1);
  EXPECT_EQ(console_.RowText(6), "    Kind :");
}

TEST_F(FormEntryTest, EntryFitsByTheFieldsCheck) {
  EXPECT_TRUE(EntryFits(1, 1, "31/12/2025"));
  EXPECT_FALSE(EntryFits(1, 1, "          "));
  EXPECT_FALSE(EntryFits(1, 2, "ab"));
  EXPECT_TRUE(EntryFits(1, 4, "F"));
  EXPECT_FALSE(EntryFits(1, 4, "X"));
  EXPECT_TRUE(EntryFits(1, 6, "\x01anything"));
}

TEST_F(FormEntryTest, CheckFieldStoresOnlyWhatPasses) {
  struct Case {
    int field;
    const char* text;
    int16_t error;
    const char* stored;
  };
  const Case cases[] = {
      {1, "5.3.24", 0, "5.3.24    "},
      {1, "29.2.2025", -1, "          "},
      {1, "5.3", -1, "          "},
      {1, "1.1.10000", -1, "          "},
      {2, "9999", 0, "9999 "},
      {2, "12345", -1, "     "},
      {2, "1.2", -1, "     "},
      {6, "a text longer than the field", 0, "a text longer than t"},
  };
  for (const Case& c : cases) {
    SetEntryText(1, c.field, "");
    EXPECT_EQ(CheckField(console_, 1, c.text, c.field, 0), c.error) << c.text;
    EXPECT_EQ(Entry(c.field), c.stored) << c.text;
  }
}

}  // namespace
}  // namespace quarnell::testing
