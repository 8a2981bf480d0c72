#!/usr/bin/env bash
# tools/x-session: passes the command's status through, runs without standard input, and stops
# what it started, also when it is stopped by a signal.
set -euo pipefail
session=${1:?usage: x_session_test.sh path/to/x-session}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The X server's pid, seen from inside: the client that owns the display's socket is Xvfb.
probe='echo "$DISPLAY $HOME $XDG_RUNTIME_DIR" >"$0"; xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null'

set +e
"$session" -- sh -c "$probe; exit 7" "$work/inside" <&-
status=$?
set -e
[ $status -eq 7 ] || fail "status $status instead of 7"
read -r display home runtime <"$work/inside"
[ -n "$display" ] || fail "no DISPLAY inside"
[ ! -e "$home" ] || fail "the temporary home $home was left behind"
xprop -display "$display" -root >/dev/null 2>&1 && fail "the X server on $display still runs"

"$session" --tray -- sh -c "$probe" "$work/inside" </dev/null || fail "--tray session failed"

# Stopped by a signal while the command runs: everything goes, the status tells the signal.
"$session" -- sh -c "$probe; echo \$\$ >$work/command; exec sleep 300" "$work/inside" &
runner=$!
for _ in $(seq 200); do [ -s "$work/command" ] && break; sleep 0.1; done
[ -s "$work/command" ] || fail "the command did not start"
read -r display home runtime <"$work/inside"
kill -TERM "$runner"
set +e
wait "$runner"
status=$?
set -e
[ $status -eq 143 ] || fail "status $status after SIGTERM instead of 143"
kill -0 "$(cat "$work/command")" 2>/dev/null && fail "the command still runs"
xprop -display "$display" -root >/dev/null 2>&1 && fail "the X server on $display still runs"
[ ! -e "$home" ] || fail "the temporary home was left behind after a signal"

# Only the window managers it knows.
set +e
"$session" --wm twm -- true 2>/dev/null
status=$?
set -e
[ $status -eq 2 ] || fail "an unknown window manager gave status $status instead of 2"

# A command that cannot be started is a failure, not a hang.
set +e
"$session" -- /nonexistent/command
status=$?
set -e
[ $status -ne 0 ] || fail "a missing command reported success"
echo "x-session: all checks passed"
