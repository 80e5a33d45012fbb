#!/usr/bin/env bash
# The statement program as the operator uses it, in a real terminal: quarnell runs in a tmux pane
# on a demo installation with the real print program; keys go in with send-keys and the screen
# comes back with capture-pane.
# Usage: interactive_terminal_test.sh BIN_DIR INSTALL_DIR
set -uo pipefail
export TERM=${TERM:-xterm}  # tmux itself wants one, even for a detached session
export LANG=C.UTF-8 LC_ALL=C.UTF-8

bin=$1
install=$2
work=$(mktemp -d)
run=0
tmux_() { tmux -L "qebforms-$$-$run" "$@"; }
trap 'tmux_ kill-server 2>/dev/null; rm -rf "$work"' EXIT

passed=0
failed=0
check() {  # check NAME CONDITION-RESULT(0/1) DETAIL
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1${3:+: $3}"
  fi
}

screen_() { tmux_ capture-pane -p -t t; }

# Waits up to 20 s for the screen to hold a line matching the extended regular expression $1.
wait_for() {
  for _ in $(seq 200); do
    screen_ | grep -Eq -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to 20 s for $1 to name as many files as $2.
wait_files() {
  for _ in $(seq 200); do
    [ "$(ls $1 2>/dev/null | wc -l)" -eq "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

demo=$work/demo
"$bin/qebdata" demo "$demo/" >/dev/null 2>&1 || { echo "FAILED: qebdata demo"; exit 1; }
session=$demo/tmp
# The working date fixes the default statement date: 31 December 2025.
sed -i 's/^Data=.*/Data=20260115/' "$session/TovaTerm.ini"

# Starts quarnell in a fresh 80 x 25 pane. The shell around it records the exit status and the
# terminal modes once it has ended.
start() {
  tmux_ kill-server 2>/dev/null
  run=$((run + 1))
  rm -f "$work/status" "$work/modes"
  tmux_ -f /dev/null new-session -d -x 80 -y 25 -s t \
    "env QEBROOT=$demo/ QEBTMP=$session/ QEBEXE=$bin/ $bin/quarnell 2>$work/stderr;
     echo \$? > $work/status; stty -a > $work/modes; sleep 60"
  wait_for 'Data del compte \.+ : 311225'
}

# Waits for quarnell to end; checks the exit status and that the terminal is back to normal.
check_ended() {
  for _ in $(seq 100); do [ -s "$work/modes" ] && break; sleep 0.1; done
  [ "$(cat "$work/status" 2>/dev/null)" = 0 ]
  check "$1: exit status 0" $? "$(cat "$work/status" "$work/stderr" 2>/dev/null)"
  grep -qE '(^| )icanon( |$)' "$work/modes" && grep -qE '(^| )echo( |$)' "$work/modes"
  check "$1: terminal modes restored" $? "$(head -3 "$work/modes" 2>/dev/null)"
  [ "$(tmux_ display -p -t t '#{alternate_on} #{mouse_any_flag}')" = "0 0" ]
  check "$1: normal screen, no mouse" $?
}

# --- First start: the defaults; a run of owners 2 to 3.
start
check "starts on the parameter screen with its defaults" $? "$(screen_)"
screen_ | grep -q 'Fins al propietari \.* : 9999' && screen_ | grep -q 'Compte d.explotació'
check "defaults: 9999 and the account layout" $? "$(screen_)"

tmux_ send-keys -t t Enter 2 Enter C-y 3 Enter Enter
# The demo agency has records the statement skips: the data check offers them first.
wait_for 'La comprovació de les dades ha trobat avisos'
check "the data check's findings are offered" $? "$(screen_)"
tmux_ send-keys -t t s
wait_for 'Avisos de la comprovació de les dades'
check "S shows the findings" $? "$(screen_)"
tmux_ send-keys -t t Escape
wait_for 'Confirmeu l.emissió :◄Sí►'
check "the confirmation" $? "$(screen_)"
tmux_ send-keys -t t Enter
wait_files "$session/informe-*.pdf" 1
check "the first run ends in a PDF from the print program" $? "$(ls "$session")"
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
tmux_ send-keys -t t NPage Enter
wait_for 'ha trobat avisos'
tmux_ send-keys -t t n
wait_for 'Confirmeu l.emissió'
tmux_ send-keys -t t Enter
wait_files "$session/informe-*.pdf" 2
check "the second run prints too" $? "$(ls "$session")"
wait_for 'Des del propietari \.+ : 2 *$'
iconv -f CP850 -t UTF-8 "$session/qebprint.tmp" | grep -q 'XOÁN CASTRO OTERO'
check "the second run's spool file holds its statements" $?

tmux_ send-keys -t t Escape
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
tmux_ send-keys -t t Down F4
wait_for 'Primeres lletres del nom'
check "F4 asks for the first letters of the name" $? "$(screen_)"
tmux_ send-keys -t t C-y fer Enter
wait_for '0002  FERNÁNDEZ LÓPEZ\*CARMEN'
check "the owners whose names begin with them" $? "$(screen_)"
tmux_ send-keys -t t Enter
wait_for 'Des del propietari \.+ : 0002 *$'
check "Enter puts the owner's code in the field" $? "$(screen_)"
# A lone Esc waits for the rest of a sequence: keys after it go separately.
tmux_ send-keys -t t Escape
sleep 0.3

# --- The pop-ups from the fields of the parameter screen: Alt+C on the date, F4 on the first owner,
# Alt+X on the last owner; what they give is typed into the field.
tmux_ send-keys -t t M-c
wait_for '─ 2026 ─' && wait_for 'GENER'
check "Alt+C shows the quarter of the working date" $? "$(screen_)"
tmux_ send-keys -t t NPage
wait_for 'ABRIL'
check "PgDn shows the next quarter" $? "$(screen_)"
tmux_ send-keys -t t F
wait_for 'Data del compte \.+ : 15/4/2026 *$'
check "F types the chosen date into the date field" $? "$(screen_)"
tmux_ send-keys -t t Enter F4
wait_for 'Primeres lletres del nom'
tmux_ send-keys -t t C-y Enter  # blank: every owner
wait_for '0004  BARÈS DEMIGUEL\*MARTÍ'
check "the owners' list in name order" $? "$(screen_)"
tmux_ send-keys -t t Down Enter
wait_for 'Des del propietari \.+ : 0003 *$'
check "F4, Down, Enter puts the second owner in name order in the field" $? "$(screen_)"
tmux_ send-keys -t t M-x
wait_for '└────────────────────────┘'
check "Alt+X shows the calculator" $? "$(screen_)"
tmux_ send-keys -t t 2 + 3 =
wait_for '3 =│'
check "2 + 3 = on the calculator's tape" $? "$(screen_)"
tmux_ send-keys -t t F
wait_for 'Fins al propietari \.+ : 500 *$'
check "F types the result into the field" $? "$(screen_)"
[ -s "$session/QEBCALC.TMP" ]
check "the calculator's tape is kept for the next time" $?
tmux_ send-keys -t t Enter
sleep 0.3
tmux_ send-keys -t t Escape
sleep 0.3

# --- F1 shows the help page; Esc on a later field goes back to the first, Esc there leaves.
tmux_ send-keys -t t F1
wait_for 'AJUDA: EMISSIÓ DELS COMPTES'
check "F1 shows the help page" $? "$(screen_)"
for key in Escape Down Escape Escape; do
  tmux_ send-keys -t t $key
  sleep 0.3
done
check_ended "Esc on the first field"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
