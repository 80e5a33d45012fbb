#!/usr/bin/env bash
# The statement program as the operator uses it, in a real terminal: quarnell runs in a tmux pane
# on a demo installation with the real print program; keys go in with send-keys and the screen
# comes back with capture-pane.
# Usage: interactive_terminal_test.sh BIN_DIR INSTALL_DIR
set -uo pipefail
source "$(dirname "$0")/../support/tmux_pane.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8

bin=$1
install=$2
work=$pane_work

# Waits for the shell pattern $1 to name as many files as $2.
file_count_is() { [ "$(ls $1 2>/dev/null | wc -l)" -eq "$2" ]; }
wait_files() { wait_until $((pane_wait * 10)) file_count_is "$1" "$2"; }

demo=$work/demo
"$bin/qebdata" demo "$demo/" >/dev/null 2>&1 || { echo "FAILED: qebdata demo"; exit 1; }
session=$demo/tmp
# The working date fixes the default statement date: 31 December 2025.
sed -i 's/^Data=.*/Data=20260115/' "$session/TovaTerm.ini"

# Starts quarnell in a fresh pane on the demo installation.
start() {
  open_pane "$(recorded env QEBROOT="$demo/" QEBTMP="$session/" QEBEXE="$bin/" "$bin/quarnell")"
  wait_for 'Data del compte \.+ : 311225'
}

# Waits for quarnell to end; checks the exit status and that the terminal is back to normal.
check_ended() {
  check_terminal_back "$1"
  [ "$(exit_status)" = 0 ]
  check "$1: exit status 0" $? "$(exit_status) $(cat "$work/stderr" 2>/dev/null)"
}

# --- First start: the defaults; a run of owners 2 to 3.
start
check "starts on the parameter screen with its defaults" $? "$(screen_)"
screen_ | grep -q 'Fins al propietari \.* : 9999' && screen_ | grep -q 'Compte d.explotació'
check "defaults: 9999 and the account layout" $? "$(screen_)"

send Enter 2 Enter C-y 3 Enter Enter
# The demo agency has records the statement skips: the data check offers them first.
wait_for 'La comprovació de les dades ha trobat avisos'
check "the data check's findings are offered" $? "$(screen_)"
send s
wait_for 'Avisos de la comprovació de les dades'
check "S shows the findings" $? "$(screen_)"
send Escape
wait_for 'Confirmeu l.emissió :◄Sí►'
check "the confirmation" $? "$(screen_)"
send Enter
# The screen stays up while the print program works; then a box names the PDF it wrote.
wait_for "│ L'informe és a $session/informe-[0-9-]+\.pdf"
check "a box names the PDF of the run" $? "$(screen_)"
file_count_is "$session/informe-*.pdf" 1
check "the first run ends in a PDF from the print program" $? "$(ls "$session")"
[ ! -s "$work/stderr" ] && screen_lacks 'qebprint:'
check "the print program's words stay off the screen" $? "$(cat "$work/stderr")"
send Enter
wait_gone "L'informe és a"
wait_for 'Des del propietari \.+ : 2 *$'
check "back on the parameter screen with the values entered" $? "$(screen_)"
spool=$(iconv -f CP850 -t UTF-8 "$session/qebprint.tmp")
echo "$spool" | grep -q 'CARMEN FERNÁNDEZ LÓPEZ' && echo "$spool" | grep -q 'XOÁN CASTRO OTERO' &&
  ! echo "$spool" | grep -q 'JOSEP PUIG I FERRER'
check "the spool file holds the statements of owners 2 and 3 only" $?
ls "$demo"/ARXIU/2025/*/run.txt >/dev/null 2>&1
check "the completed run is archived" $? "$(ls -R "$demo/ARXIU" 2>&1)"

# --- A second run in the same execution prints too.
sleep 1.1  # the print program names its PDF by the second
send NPage Enter
wait_for 'ha trobat avisos'
send n
wait_for 'Confirmeu l.emissió'
send Enter
wait_for "L'informe és a"
file_count_is "$session/informe-*.pdf" 2
check "the second run prints too" $? "$(ls "$session")"
send Enter
wait_gone "L'informe és a"
wait_for 'Des del propietari \.+ : 2 *$'
iconv -f CP850 -t UTF-8 "$session/qebprint.tmp" | grep -q 'XOÁN CASTRO OTERO'
check "the second run's spool file holds its statements" $?

send Escape
check_ended "Esc"
[ -e "$session/pent.tmp" ]
check "the entered values are kept for the next start" $?

# --- The next start shows the values of the last run.
start
screen_ | grep -qE 'Des del propietari \.+ : 2 *$' && screen_ | grep -qE 'Fins al propietari \.+ : 3 *$'
check "the next start shows the values of the last run" $? "$(screen_)"
[ ! -e "$session/pent.tmp" ]
check "the entered values file is gone once read" $?

# --- F4 on the first owner: the first letters of the name, the list, Enter picks.
send Down F4
wait_for 'Primeres lletres del nom'
check "F4 asks for the first letters of the name" $? "$(screen_)"
send C-y fer Enter
wait_for '0002  FERNÁNDEZ LÓPEZ\*CARMEN'
check "the owners whose names begin with them" $? "$(screen_)"
send Enter
wait_for 'Des del propietari \.+ : 0002 *$'
check "Enter puts the owner's code in the field" $? "$(screen_)"
# A lone Esc waits for the rest of a sequence: keys after it go separately, once it has acted.
send Escape
wait_cursor 6 44

# --- The pop-ups from the fields of the parameter screen: Alt+C on the date, F4 on the first owner,
# Alt+X on the last owner; what they give is typed into the field.
send M-c
wait_for '─ 2026 ─' && wait_for 'GENER'
check "Alt+C shows the quarter of the working date" $? "$(screen_)"
send NPage
wait_for 'ABRIL'
check "PgDn shows the next quarter" $? "$(screen_)"
send F
wait_for 'Data del compte \.+ : 15/4/2026 *$'
check "F types the chosen date into the date field" $? "$(screen_)"
send Enter F4
wait_for 'Primeres lletres del nom'
send C-y Enter  # blank: every owner
wait_for '0004  BARÈS DEMIGUEL\*MARTÍ'
check "the owners' list in name order" $? "$(screen_)"
send Down Enter
wait_for 'Des del propietari \.+ : 0003 *$'
check "F4, Down, Enter puts the second owner in name order in the field" $? "$(screen_)"
send M-x
wait_for '└────────────────────────┘'
check "Alt+X shows the calculator" $? "$(screen_)"
send 2 + 3 =
wait_for '3 =│'
check "2 + 3 = on the calculator's tape" $? "$(screen_)"
send F
wait_for 'Fins al propietari \.+ : 500 *$'
check "F types the result into the field" $? "$(screen_)"
[ -s "$session/QEBCALC.TMP" ]
check "the calculator's tape is kept for the next time" $?
send Enter
wait_cursor 12 44
send Escape
wait_cursor 6 44

# --- F1 shows the help page; Esc on a later field goes back to the first, Esc there leaves.
send F1
wait_for 'AJUDA: EMISSIÓ DELS COMPTES'
check "F1 shows the help page" $? "$(screen_)"
screen_has '└─+ Re Pàg, Av Pàg: pàgina   F1: ajuda general   Esc: tancar ─+┘'
check "the help's frame tells its keys" $? "$(screen_)"
send F1
wait_for 'AJUDA GENERAL: PANTALLES, CAMPS I FINESTRES'
check "F1 in the help page shows the general help" $? "$(screen_)"
send NPage
wait_for 'Llista de tria \(F4\)'
check "PgDn pages the general help" $? "$(screen_)"
send Escape
wait_gone 'AJUDA GENERAL'
wait_for 'AJUDA: EMISSIÓ DELS COMPTES'
check "Esc goes back to the help page" $? "$(screen_)"
send Escape
wait_gone 'AJUDA: EMISSIÓ DELS COMPTES'
check "Esc closes the help page" $? "$(screen_)"
send Down
wait_cursor 8 44
send Escape
wait_cursor 6 44
check "Esc on a later field goes back to the first" $? "$(tmux_ display -p -t t '#{cursor_y} #{cursor_x}')"
send Escape
check_ended "Esc on the first field"

# --- The screen device: the print program gets the terminal for its pager. Ctrl+C there is the
# pager's key; the statement program stays, and takes the terminal back when the pager ends.
sed -i 's/^Sortida=.*/Sortida=PANTALLA/' "$session/TovaTerm.ini"
start
send NPage Enter
wait_for 'ha trobat avisos'
send n
wait_for 'Confirmeu l.emissió'
send Enter
wait_for 'FINQUES DEL PORT, S\.L\.'
check "PANTALLA shows the report in the pager" $? "$(screen_)"
send C-c
sleep 0.3  # nothing to wait for: the program would be gone
send q
wait_for 'Data del compte \.+ : '
check "Ctrl+C in the pager leaves the statement program running" $? "$(screen_) $(exit_status)"
[ "$(pane_flags)" = "1 1 1" ]
check "the screen is taken back from the pager" $? "$(pane_flags)"
send Escape
check_ended "Esc after the pager"

finish
