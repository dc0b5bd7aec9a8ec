#!/usr/bin/env bash
# One program per data folder: a second start on the same folder hands over
# and ends, a start on another folder runs beside it, and a killed program's
# lock does not block the next start.
source "$(dirname "$0")/common.sh"

# A copy, so that an unprivileged user can reach it wherever the build is.
mkdir "$work/bin"
cp "$build_dir/src/vexo" "$work/bin/"
program="$work/bin/vexo"
mkdir "$work/one" "$work/two"
give_to_user "$work/one" "$work/two"
home=$(new_home home)

start_vexo first "$home" "$program" --dir "$work/one"
first=$pid
wait_holds "$first" "$work/one"

start_vexo second "$home" "$program" --dir "$work/one"
second=$pid
wait_until 30 gone "$second" || fail "a second start on the same folder kept running"
code=0
wait "$second" || code=$?
[ "$code" -eq 0 ] || fail "the second start ended with $code"
grep -q "brought to the front" "$work/second.log" || fail "the second start did not hand over"
kill -0 "$first" 2>/dev/null || fail "the first program ended"
holds "$first" "$work/one" || fail "the second start took the lock"

start_vexo other "$home" "$program" --dir "$work/two"
other=$pid
wait_holds "$other" "$work/two"
kill -0 "$first" 2>/dev/null || fail "the first program ended"

stop_vexo "$first"
stop_vexo "$other"
expect_used "$work/one"
expect_used "$work/two"

# A crash: the lock file stays behind, but nobody holds it any more.
start_vexo crashing "$home" "$program" --dir "$work/one"
crashing=$pid
wait_holds "$crashing" "$work/one"
kill -KILL "$crashing"
wait "$crashing" 2>/dev/null || true
[ -e "$work/one/Vexo.lock" ] || fail "expected the killed program's lock file"
start_vexo after "$home" "$program" --dir "$work/one"
after=$pid
wait_holds "$after" "$work/one"
stop_vexo "$after"
echo "single instance: ok"
