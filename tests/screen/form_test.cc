#include "screen/form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/session.h"
#include "config/translate.h"
#include "form_fixture.h"

namespace quarnell::testing {
namespace {

TEST(ParseFormTest, ReadsScreensFieldsAndPickLists) {
  FormDefinition form;
  std::string error;
  ASSERT_TRUE(ParseForm(kTestForm, &form, &error)) << error;
  ASSERT_EQ(form.screens.size(), 2u);
  EXPECT_EQ(form.largest_field_count, 6);
  const FormScreen& parameters = form.screens[0];
  EXPECT_EQ(parameters.key_list, "d,1b,4800,5000,4900,5100,3e00");  // commas inside quotes
  ASSERT_EQ(parameters.fields.size(), 6u);
  const FormField& code = parameters.fields[1];
  EXPECT_EQ(code.row, 4);
  EXPECT_EQ(code.label, "Code : ");
  EXPECT_EQ(code.EntryColumn(), 12);
  EXPECT_EQ(code.length, 5);
  EXPECT_EQ(code.type, kFieldDottedCode);
  EXPECT_EQ(code.browse, 1);
  EXPECT_EQ(code.entry, "     ");
  EXPECT_EQ(parameters.fields[2].flags, kFieldNotEditable);
  EXPECT_EQ(parameters.fields[3].options,
            (std::vector<EditOption>{{"N", "Normal"}, {"F", "Fiscal"}, {"E", "Especial"}}));
  EXPECT_EQ(parameters.fields[5].line_width, 10);
  EXPECT_EQ(form.screens[1].window, (WindowRect{10, 20, 14, 60}));
  ASSERT_EQ(form.browses.size(), 1u);
  EXPECT_EQ(form.browses[0].title, "Owners");
  EXPECT_EQ(form.browses[0].slots, (std::array<int16_t, 8>{6, 1, 5, 10, 20, 70, 0, 0}));
}

TEST(ParseFormTest, ItemsFollowTheSequentialRules) {
  // LF line ends, blanks before items, a tab dropped inside a label, a comment before the browse
  // count, an option list without its last "|", and everything after Ctrl-Z ignored.
  const std::string text =
      "  1 , 1\n"
      "\"d\", 1, 0, 0,0,0,0\n"
      "2,3,\"A\tB, C \", 4,0,0,0,0,0, \"|1,One|2,Two\n"
      "   ' no lists\n"
      "0\n\x1Agarbage";
  FormDefinition form;
  std::string error;
  ASSERT_TRUE(ParseForm(text, &form, &error)) << error;
  EXPECT_EQ(form.screens[0].fields[0].label, "AB, C ");
  EXPECT_EQ(form.screens[0].fields[0].options,
            (std::vector<EditOption>{{"1", "One"}, {"2", "Two"}}));
  EXPECT_TRUE(form.browses.empty());
}

TEST(ParseFormTest, DamagedFilesAreRefusedWithTheLine) {
  const std::string screen = "\"d\",1,0,0,0,0,0\r\n2,3,\"A \",4,0,0,0,0,0,\"\"\r\n";
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"", "line 1: the number of screens is missing"},
      {"x,1\r\n", "line 1: the number of screens is not a number: \"x\""},
      {"0,1\r\n", "the number of screens 0 lies outside 1 to 999"},
      {"1,1\r\n\"d\",1,0,0,0,0,0\r\n2,3,\"A \",4,0\r\n",
       "line 3: a field's option-text width is missing"},
      {"1,1\r\n\"d\",2,0,0,0,0,0\r\n", "a screen's field count 2 lies outside 0 to 1"},
      {"1,1\r\n" + screen, "the number of pick lists is missing"},
      {"1,1\r\n\"d\",1,0,5,10,3,30\r\n", "the screen's window 5,10,3,30 is not a box"},
      {"1,1\r\n\"d\",1,0,5,10,30,9\r\n", "line 2: a window's bottom 30 lies outside 0 to 25"},
      {"1,1\r\n\"d\",1,0,0,0,0,0\r\n2,3,\"A \",0,0,0,0,0,0,\"\"\r\n0\r\n",
       "a field's length 0 lies outside"},
      {"1,1\r\n\"d\",1,1,0,0,0,0\r\n2,3,\"A \",4,0,0,0,0,0,\"\"\r\n0\r\n",
       "screen 1 links to screen 1"},
      {"1,1\r\n\"d\",1,0,0,0,0,0\r\n2,3,\"A \",4,0,0,0,0,2,\"\"\r\n0\r\n",
       "names pick list 2, which does not exist"},
      {"1,1\r\n" + screen + "1\r\n6,1,5,10,30,70,0,\"T\",0\r\n", "the pick list's window"},
      {"1,1\r\n" + screen + "1\r\n6,1,5,10,20,70,3,\"T\",0\r\n", "pick list 1 names a screen"},
      {"1,1\r\n" + screen + "1\r\n6,1,5,10,20,70,0,\"T\"\r\n",
       "a pick list's next list is missing"},
      {"1,1\r\n\"d\",1,0,0,0,0,0\r\n' a comment inside a screen\r\n2,3,\"A \",4,0,0,0,0,0,\"\"\r\n",
       "line 3: a field's row is not a number"},
  };
  for (const Case& c : cases) {
    FormDefinition form;
    std::string error;
    EXPECT_FALSE(ParseForm(c.text, &form, &error)) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(ParseFormTest, OptionLists) {
  struct Case {
    const char* list;
    std::vector<EditOption> options;
  };
  const Case cases[] = {
      {"", {}},
      {"|N,Account|F,Fiscal|", {{"N", "Account"}, {"F", "Fiscal"}}},
      {"|S,Yes, sure|N,No", {{"S", "Yes, sure"}, {"N", "No"}}},
      {"|bad|X,Ok", {{"X", "Ok"}}},
      {"no bar", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseOptionList(c.list), c.options) << c.list;
}

using LoadFormTest = FormTest;

TEST_F(LoadFormTest, TranslatesLabelsOptionsAndTitles) {
  dir_.Write("FORMS/TEST.JPN", kTestForm);
  dir_.Write(
      "LOCALE/TEST.LNG",
      "\"Code : \",\"Codigo : \",\"Code : \",\"C\xA2"
      "digo : \"\r\n"
      "\"|N,Normal|F,Fiscal|E,Especial\",\"\",\"\",\"|N,Normal|F,Fiscal|E,Especial (ES)\"\r\n"
      "\"Owners\",\"Propietarios\",\"Proprietaris\",\"Propietarios\"\r\n");
  dir_.Write("TovaTerm.ini", "[Sistema]\nIdioma=SPA\n");
  StartConfiguration();
  SetModuleName("TEST");
  LoadForm(dir_.dir() + "FORMS\\TEST.JPN");
  EXPECT_EQ(FieldAt(1, 2).label,
            "C\xA2"
            "digo : ");
  EXPECT_EQ(FieldAt(1, 2).EntryColumn(), 14);
  EXPECT_EQ(FieldAt(1, 4).options[2].text, "Especial (ES)");
  EXPECT_EQ(FieldAt(1, 1).label, "Date : ");  // no record: as written
  EXPECT_EQ(Form().browses[0].title, "Propietarios");
  SetModuleName("");
}

TEST_F(LoadFormTest, AMissingOrDamagedFileStopsNamingIt) {
  EXPECT_THROW(
      {
        try {
          LoadForm(dir_.dir() + "FORMS\\NONE.JPN");
        } catch (const ErrorStopped& stop) {
          EXPECT_NE(std::string(stop.what()).find("cannot read the form file"), std::string::npos);
          EXPECT_NE(std::string(stop.what()).find("NONE.JPN"), std::string::npos);
          throw;
        }
      },
      ErrorStopped);
  dir_.Write("FORMS/BAD.JPN", "1,1\r\n\"d\",1,0,0,0,0,0\r\n");
  EXPECT_THROW(
      {
        try {
          LoadForm(dir_.dir() + "FORMS/BAD.JPN");
        } catch (const ErrorStopped& stop) {
          EXPECT_NE(
              std::string(stop.what()).find("BAD.JPN is damaged: line 2: a field's row is missing"),
              std::string::npos)
              << stop.what();
          throw;
        }
      },
      ErrorStopped);
  EXPECT_EQ(ScreenCount(), 2);  // the form of the run is unchanged
}

}  // namespace
}  // namespace quarnell::testing
