// A memory console with a session (title, help topic, working date 15 January 2026) and a form of
// test screens, for the tests of field entry.
#ifndef QUARNELL_TESTS_SCREEN_FORM_FIXTURE_H_
#define QUARNELL_TESTS_SCREEN_FORM_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "config/session.h"
#include "screen/clipboard.h"
#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_input.h"
#include "screen_fixture.h"
#include "support/fake_clock.h"

namespace quarnell::testing {

// Screen 1: date, code with pick list 1, a field entry passes over, an option list, a hidden
// field, a note in two lines of 10. Screen 2: a confirmation in a window.
inline constexpr char kTestForm[] =
    "' screens, largest field count\r\n"
    "2,6\r\n"
    "' the parameters\r\n"
    "\"d,1b,4800,5000,4900,5100,3e00\",6,0,0,0,0,0\r\n"
    "3,5,\"Date : \",10,0,0,0,1,0,\"\"\r\n"
    "4,5,\"Code : \",5,0,0,0,2,1,\"\"\r\n"
    "5,5,\"Skip : \",3,0,0,4,0,0,\"\"\r\n"
    "6,5,\"Kind : \",1,0,11,0,0,0,\"|N,Normal|F,Fiscal|E,Especial\"\r\n"
    "7,5,\"Pin  : \",4,0,0,2,0,0,\"\"\r\n"
    "8,5,\"Note : \",20,10,0,0,0,0,\"\"\r\n"
    "' the confirmation\r\n"
    "\"d,1b,4800\",1,0,10,20,14,60\r\n"
    "2,3,\"Sure? \",1,0,2,0,0,0,\"|S,S\xA1|N,No\"\r\n"
    "1\r\n"
    "6,1,5,10,20,70,0,\"Owners\",0\r\n"
    "\x1A";

class FormTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    dir_.Write("Sessio.ini", "[Menu]\nTitol=TEST\nNomMenu=QUARNELL  \n");
    dir_.Write("TovaTerm.ini", "[Sistema]\nData=20260115\nIdioma=CAT\n");
    setenv("QEBROOT", dir_.dir().c_str(), 1);
    setenv("QEBTMP", dir_.dir().c_str(), 1);
    StartConfiguration();
    ResetKeyInput();
    ResetFormEntry();
    SetFormHooks({});
    SetBrowseCall(nullptr);
    UseProgramClipboardOnly(true);
    FormDefinition form;
    std::string error;
    ASSERT_TRUE(ParseForm(kTestForm, &form, &error)) << error;
    SetForm(std::move(form));
  }
  void TearDown() override {
    SetFormHooks({});
    SetBrowseCall(nullptr);
    ResetKeyInput();
    unsetenv("QEBROOT");
    unsetenv("QEBTMP");
    ScreenTest::TearDown();
  }

  // Runs screen `screen` and returns the key that ended it.
  int16_t Run(int screen = 1) {
    int16_t key = 0;
    RunForm(console_, screen, 0, 0, key);
    return key;
  }

  std::string Entry(int field, int screen = 1) { return EntryText(screen, field); }

  FakeClock clock_{20260115};
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_SCREEN_FORM_FIXTURE_H_
