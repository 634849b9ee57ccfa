#!/usr/bin/env bash
# Runs the scripting examples of README.md exactly as printed there (each
# fenced block after an "<!-- example: NAME -->" line), with the rooms file
# and the device replaced by simulated projectors: one that answers, one that
# is silent, and one whose device is missing. What they print, log and exit
# with is checked against what the README promises.
#   readme-examples.sh <directory holding README.md> <directory holding the programs>
set -uo pipefail
source=$1 bin=$2

work=$(mktemp -d /tmp/koru-readme.XXXXXX)
sims=()
cleanup() { [ ${#sims[@]} -eq 0 ] || kill "${sims[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# logger writes to the system log; here it writes where the test can read it.
mkdir "$work/path"
printf '#!/bin/sh\n[ "$1" = -t ] && shift 2\necho "$*" >>"%s/syslog"\n' "$work" >"$work/path/logger"
chmod +x "$work/path/logger"
export PATH="$work/path:$bin:$PATH"

start_sim() { # link, then options
    local link=$1; shift
    koru-projector-sim --link "$link" --countdown 300 --lamp-hours 1234 "$@" >/dev/null 2>&1 &
    sims+=($!)
    for _ in $(seq 100); do [ -e "$link" ] && return 0; sleep 0.05; done
    fail "the simulator at $link did not start"
}
start_sim "$work/good"
start_sim "$work/silent" --silent
printf '2.14 %s\n2.15 %s\n2.16 %s\n' "$work/good" "$work/silent" "$work/missing" >"$work/rooms"

# The block after the marker, with the README's device and rooms file
# replaced by the simulated ones.
example() {
    awk -v name="$1" '
        $0 == "<!-- example: " name " -->" { marked = 1; next }
        marked && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$source/README.md" |
        sed -e "s|/etc/koru/rooms|$work/rooms|g" -e "s|/dev/ttyUSB0|$work/good|g"
}
run() { # name, then the shell text
    : >"$work/syslog"
    bash -c "$2" >"$work/out" 2>"$work/err"
    status=$?
    echo "== $1: status $status"; cat "$work/out" "$work/syslog"
}

for name in lamp-report warm-up cron-off; do
    [ -n "$(example "$name")" ] || fail "README.md has no example '$name'"
done

run lamp-report "$(example lamp-report)"
[ "$status" -eq 1 ] || fail "lamp-report exited $status, not 1 for the rooms that failed"
expected=$(printf 'room,lamp_hours,status\n2.14,1234,0\n2.15,,3\n2.16,,1')
[ "$(cat "$work/out")" = "$expected" ] || fail "lamp-report printed: $(cat "$work/out")"
grep -q "lamp-time failed in 2.15 (status 3)" "$work/err" && grep -q "in 2.16 (status 1)" "$work/err" \
    || fail "lamp-report's standard error: $(cat "$work/err")"

run warm-up "$(example warm-up)"
[ "$status" -eq 0 ] && [ ! -s "$work/syslog" ] || fail "warm-up against an answering projector: status $status"
run warm-up-silent "$(example warm-up | sed -e "s|$work/good|$work/silent|g")"
grep -q "did not come on (status 3)" "$work/syslog" || fail "a silent projector's warm-up logged nothing"

# A cron line: five time fields and the user, then the command.
run cron-off "$(example cron-off | sed -E 's/^([^ ]+ +){6}//')"
grep -q "power-off failed in 2.15 (status 3)" "$work/syslog" && grep -q "power-off failed in 2.16 (status 1)" "$work/syslog" \
    && ! grep -q "2.14" "$work/syslog" || fail "cron-off logged: $(cat "$work/syslog")"

[ "$failures" -eq 0 ] && echo "PASS: the README's examples" || exit 1
