#!/usr/bin/env bash
# The terminal console in a real terminal: qebkeys runs in a tmux pane; keys go in with send-keys
# and the screen comes back with capture-pane. Usage: terminal_test.sh QEBKEYS
set -uo pipefail
source "$(dirname "$0")/../support/tmux_pane.sh"

qebkeys=$1
work=$pane_work

# Starts qebkeys in a fresh pane with the environment given as arguments.
start() {
  rm -f "$work/WinPush.tmp"
  open_pane "$(recorded env "$@" QEBTMP="$work/" "$qebkeys")"
  wait_for 'Key code: \(none yet\)'
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
  send "${keys[$i]}"
  wait_for "Key code: ${codes[$i]} "
  check "key ${keys[$i]} gives ${codes[$i]}" $? "$(screen_ | grep 'Key code')"
  send x  # a different key between two equal codes
  wait_for "Key code: 78 'x'"
done
send -l $'\e[<0;12;3M\e[<0;12;3m'
wait_for 'Key code: -1203 click at row 3, column 12'
check "mouse click gives -1203" $? "$(screen_ | grep 'Key code')"

# --- Resizing.
tmux_ resize-window -t t -x 60 -y 20
wait_for '^Cal una finestra de 80 x 25 com a mínim \(60 x 20\)'
check "too small: the message" $? "$(screen_ | head -2)"
send F2  # ignored while too small
sleep 0.3
tmux_ resize-window -t t -x 80 -y 25
wait_for '║ Key code: -1203 click'
check "back to 80 x 25: the screen again, the key ignored" $? "$(screen_)"
screen_ | grep -q '╚══════'
check "back to 80 x 25: the frame again" $? "$(screen_)"

# --- Signals.
kill -TERM "$(program_pid qebkeys)"
check_terminal_back "SIGTERM"
start LANG=C.UTF-8 LC_ALL=C.UTF-8
kill -HUP "$(program_pid qebkeys)"
check_terminal_back "SIGHUP"
start LANG=C.UTF-8 LC_ALL=C.UTF-8
kill -SEGV "$(program_pid qebkeys)"
check_terminal_back "SIGSEGV"

# --- Normal end: Esc twice.
start LANG=C.UTF-8 LC_ALL=C.UTF-8
send Escape Escape
check_terminal_back "Esc Esc"
[ "$(exit_status)" = 0 ]
check "Esc Esc: exit status 0" $?

# --- Error stop: the window stack file is damaged behind the program's back.
start LANG=C.UTF-8 LC_ALL=C.UTF-8
printf 'junk' > "$work/WinPush.tmp"
send Escape Escape
wait_for "│ the window stack file "
check "error stop: the message in a box" $? "$(screen_)"
send Enter
check_terminal_back "error stop"
[ "$(exit_status)" = 1 ] && grep -q "quarnell: the window stack file" "$work/stderr"
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

finish
