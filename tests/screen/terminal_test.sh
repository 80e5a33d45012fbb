#!/usr/bin/env bash
# The terminal console in a real terminal: qebkeys runs in a tmux pane; keys go in with send-keys
# and the screen comes back with capture-pane. Usage: terminal_test.sh QEBKEYS
set -uo pipefail
export TERM=${TERM:-xterm}  # tmux itself wants one, even for a detached session

qebkeys=$1
work=$(mktemp -d)
run=0
tmux_() { tmux -L "qebtest-$$-$run" "$@"; }
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

screen_() { tmux_ capture-pane -p -t t "$@"; }

# Waits up to 10 s for the screen to hold a line matching the extended regular expression $1.
wait_for() {
  for _ in $(seq 100); do
    screen_ | grep -Eq -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Starts qebkeys in a fresh 80 x 25 pane with the environment given as arguments. The shell
# around it records the terminal modes and the exit status once qebkeys has ended.
start() {
  tmux_ kill-server 2>/dev/null
  run=$((run + 1))  # a server of its own: the last one may still be on its way out
  rm -f "$work/status" "$work/modes" "$work/stderr" "$work/WinPush.tmp"
  tmux_ -f /dev/null new-session -d -x 80 -y 25 -s t \
    "env $* QEBTMP=$work/ $qebkeys 2>$work/stderr; echo \$? > $work/status; stty -a > $work/modes; sleep 60"
  wait_for 'Key code: \(none yet\)'
}

pane_flags() { tmux_ display -p -t t '#{alternate_on} #{mouse_any_flag} #{cursor_flag}'; }

# Waits for qebkeys to end, then checks that the pane is back in normal mode.
check_restored() {
  for _ in $(seq 100); do [ -s "$work/modes" ] && break; sleep 0.1; done
  check "$1: terminal modes restored" "$(grep -cE '(^| )icanon( |$)' "$work/modes" 2>/dev/null |
    sed 's/^1$/0/')" "$(cat "$work/modes" 2>/dev/null | head -3)"
  grep -qE '(^| )echo( |$)' "$work/modes" 2>/dev/null
  check "$1: echo back on" $?
  [ "$(pane_flags)" = "0 0 1" ]
  check "$1: normal screen, no mouse, cursor shown" $? "$(pane_flags)"
}

# --- Keys, in a UTF-8 locale.
start LANG=C.UTF-8 LC_ALL=C.UTF-8
check "starts" $? "$(screen_)"
screen_ | grep -q '╔══════' && screen_ | grep -q '║ Press keys'
check "double frame drawn with box characters" $? "$(screen_)"
[ "$(pane_flags)" = "1 1 0" ]
check "alternate screen, mouse reported, cursor hidden" $? "$(pane_flags)"

keys=(F1 F4 Up Down Left Right PPage NPage Home End IC DC BTab M-x M-c Enter C-c Escape)
codes=(3B00 3E00 4800 5000 4B00 4D00 4900 5100 4700 4F00 5200 5300 0F00 2D00 2E00 0D 03 1B)
for i in "${!keys[@]}"; do
  tmux_ send-keys -t t "${keys[$i]}"
  wait_for "Key code: ${codes[$i]} "
  check "key ${keys[$i]} gives ${codes[$i]}" $? "$(screen_ | grep 'Key code')"
  tmux_ send-keys -t t x  # a different key between two equal codes
  wait_for "Key code: 78 'x'"
done
tmux_ send-keys -t t -l $'\e[<0;12;3M\e[<0;12;3m'
wait_for 'Key code: -1203 click at row 3, column 12'
check "mouse click gives -1203" $? "$(screen_ | grep 'Key code')"

# --- Resizing.
tmux_ resize-window -t t -x 60 -y 20
wait_for '^Cal una finestra de 80 x 25 com a mínim \(60 x 20\)'
check "too small: the message" $? "$(screen_ | head -2)"
tmux_ send-keys -t t F2  # ignored while too small
sleep 0.3
tmux_ resize-window -t t -x 80 -y 25
wait_for '║ Key code: -1203 click'
check "back to 80 x 25: the screen again, the key ignored" $? "$(screen_)"
screen_ | grep -q '╚══════'
check "back to 80 x 25: the frame again" $? "$(screen_)"

# --- Signals.
kill -TERM "$(pgrep -f -n -- "^$qebkeys")"
check_restored "SIGTERM"
start LANG=C.UTF-8 LC_ALL=C.UTF-8
kill -HUP "$(pgrep -f -n -- "^$qebkeys")"
check_restored "SIGHUP"
start LANG=C.UTF-8 LC_ALL=C.UTF-8
kill -SEGV "$(pgrep -f -n -- "^$qebkeys")"
check_restored "SIGSEGV"

# --- Normal end: Esc twice.
start LANG=C.UTF-8 LC_ALL=C.UTF-8
tmux_ send-keys -t t Escape Escape
check_restored "Esc Esc"
[ "$(cat "$work/status")" = 0 ]
check "Esc Esc: exit status 0" $?

# --- Error stop: the window stack file is damaged behind the program's back.
start LANG=C.UTF-8 LC_ALL=C.UTF-8
printf 'junk' > "$work/WinPush.tmp"
tmux_ send-keys -t t Escape Escape
wait_for "│ the window stack file "
check "error stop: the message in a box" $? "$(screen_)"
tmux_ send-keys -t t Enter
check_restored "error stop"
[ "$(cat "$work/status")" = 1 ] && grep -q "quarnell: the window stack file" "$work/stderr"
check "error stop: exit status 1 and the message on standard error" $? "$(cat "$work/stderr")"

# --- A locale that is not UTF-8: the frame comes from the terminal's line characters.
start LANG=C LC_ALL=C
screen_ -e | grep -q $'\x0elqqqqq'
check "plain locale: line characters" $? "$(screen_ | sed -n 6p)"

# --- Colours: white (15) on black is bright white on a 16-colour terminal, bold white on an
# 8-colour one; the reverse set is black on light grey.
start TERM=xterm-256color LANG=C.UTF-8 LC_ALL=C.UTF-8
screen_ -e | sed -n 1p | grep -q $'\e\\[97m qebkeys' && screen_ -e | sed -n 6p | grep -q $'\e\\[30m\e\\[47m'
check "16 colours" $? "$(screen_ -e | sed -n 1p | cat -v)"
start TERM=xterm LANG=C.UTF-8 LC_ALL=C.UTF-8
screen_ -e | sed -n 1p | grep -q $'\e\\[1m\e\\[37m qebkeys'
check "8 colours: bright as bold" $? "$(screen_ -e | sed -n 1p | cat -v)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
