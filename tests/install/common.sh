# Shared by the install checks: a scratch folder, starting and stopping the
# program headless, waiting for files. Sourced by the check scripts with the
# build folder and the menu entry's name as their two arguments.
set -euo pipefail

build_dir=$(cd "$1" && pwd)
app_id=$2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
chmod 755 "$work" # an unprivileged program must reach the trees below
started=()

cleanup() {
  for pid in "${started[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log; do
    [ -e "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
  done
  exit 1
}

# Root may write anywhere, so a read-only folder is only read-only for an
# ordinary user: as root the program runs as "nobody", on trees it owns.
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  give_to_user() { chown -R 65534:65534 "$@"; }
else
  run_as=()
  give_to_user() { :; }
fi

# A fresh home folder for one start.
new_home() {
  mkdir -p "$work/$1"
  give_to_user "$work/$1"
  echo "$work/$1"
}

# start_vexo NAME HOME PROGRAM ARGS...: starts the program headless with
# nothing of this environment but HOME; its pid is left in $pid and its
# output in $work/NAME.log.
start_vexo() {
  local name=$1 home=$2 program=$3
  shift 3
  env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    "${run_as[@]}" "$program" "$@" >"$work/$name.log" 2>&1 &
  pid=$!
  started+=("$pid")
}

# wait_until SECONDS COMMAND...: true once COMMAND succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The lock file of FOLDER names PID: that program holds the folder.
holds() { [ "$(cat "$2/Vexo.lock" 2>/dev/null)" = "$1" ]; }

wait_holds() {
  wait_until 60 holds "$1" "$2" || fail "program $1 never took $2"
}

gone() { ! kill -0 "$1" 2>/dev/null; }

# stop_vexo PID: asks the program to end as the desktop does at logout and
# expects it to end in order (exit code 0).
stop_vexo() {
  kill -TERM "$1"
  wait_until 60 gone "$1" || fail "program $1 did not end after SIGTERM"
  local code=0
  wait "$1" || code=$?
  [ "$code" -eq 0 ] || fail "program $1 ended with $code"
}

# The close handler ran in FOLDER: section "Main" was written there.
expect_used() {
  grep -q '^\[Main\]' "$1/Options.ini" 2>/dev/null || fail "no Options.ini written in $1"
  [ ! -e "$1/Vexo.lock" ] || fail "lock file left in $1 after a clean end"
}

stage() {
  DESTDIR="$1" cmake --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1 ||
    fail "cmake --install failed"
}
