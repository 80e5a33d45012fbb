# The helpers of the terminal tests: a program runs in a detached 80 x 25 tmux pane, keys go in
# with send-keys and the screen comes back with capture-pane. Sourced by the test scripts, which
# call `open_pane`, `check` and `wait_for`, and end with `finish`.
#
# Every wait has a limit, so that a program that hangs makes the test fail with the screen it was
# showing rather than hang the test run. `PANE_WAIT` (seconds, default 20) is that limit: a loaded
# machine may need more than a quick one, and waiting longer costs nothing when all goes well.

export TERM=${TERM:-xterm}  # tmux itself wants one, even for a detached session

pane_work=$(mktemp -d)
pane_server=0
pane_wait=${PANE_WAIT:-20}
passed=0
failed=0

# tmux on the server of the current pane. Each pane gets a server of its own: the previous one
# may still be on its way out.
tmux_() { tmux -L "qebtest-$$-$pane_server" "$@"; }
trap 'tmux_ kill-server 2>/dev/null; rm -rf "$pane_work"' EXIT

# Opens a fresh 80 x 25 pane running the shell command $1. The pane stays after the command ends,
# so that the screen it left can be read.
open_pane() {
  tmux_ kill-server 2>/dev/null
  pane_server=$((pane_server + 1))
  tmux_ -f /dev/null new-session -d -x 80 -y 25 -s t "$1; sleep 600"
}

# The pane's command that runs a program, then records its exit status and the terminal modes it
# left in $pane_work/status and $pane_work/modes, its standard error in $pane_work/stderr.
# Usage: open_pane "$(recorded PROGRAM ARGS...)"
recorded() {
  rm -f "$pane_work/status" "$pane_work/modes"
  echo "$* 2>$pane_work/stderr; echo \$? > $pane_work/status; stty -a > $pane_work/modes"
}

check() {  # check NAME CONDITION-RESULT(0/1) DETAIL
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1${3:+: $3}"
  fi
}

screen_() { tmux_ capture-pane -p -t t "$@"; }
send() { tmux_ send-keys -t t "$@"; }

# Waits until the command $2... succeeds, for at most $1 tenths of a second.
wait_until() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

screen_has() { screen_ | grep -Eq -- "$1"; }
screen_lacks() { ! screen_has "$1"; }

# Waits for the screen to hold a line matching the extended regular expression $1, or to hold
# none any more (wait_gone).
wait_for() { wait_until $((pane_wait * 10)) screen_has "$1"; }
wait_gone() { wait_until $((pane_wait * 10)) screen_lacks "$1"; }

# Whether the cursor is at row $1, column $2 (1-based); wait_cursor waits for it to be there.
cursor_at() { [ "$(tmux_ display -p -t t '#{cursor_y} #{cursor_x}')" = "$(($1 - 1)) $(($2 - 1))" ]; }
wait_cursor() { wait_until $((pane_wait * 10)) cursor_at "$1" "$2"; }

# The process id of the program named $1 that the pane's shell started.
program_pid() { pgrep -P "$(tmux_ display -p -t t '#{pane_pid}')" -x "$1"; }

# The pane's alternate screen, mouse reporting and cursor: "1 1 0" while a program holds them.
pane_flags() { tmux_ display -p -t t '#{alternate_on} #{mouse_any_flag} #{cursor_flag}'; }

# Waits for the recorded program to end, then checks that it left the terminal as it found it:
# line editing and echo on, the normal screen, no mouse reporting, the cursor shown.
check_terminal_back() {
  wait_until $((pane_wait * 10)) test -s "$pane_work/modes"
  check "$1: the program ended" $? "$(screen_)"
  grep -qE '(^| )icanon( |$)' "$pane_work/modes" 2>/dev/null &&
    grep -qE '(^| )echo( |$)' "$pane_work/modes" 2>/dev/null
  check "$1: terminal modes restored" $? "$(head -3 "$pane_work/modes" 2>/dev/null)"
  [ "$(pane_flags)" = "0 0 1" ]
  check "$1: normal screen, no mouse, cursor shown" $? "$(pane_flags)"
}

# The exit status the recorded program ended with.
exit_status() { cat "$pane_work/status" 2>/dev/null; }

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
