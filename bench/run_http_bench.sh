#!/usr/bin/env bash
# HTTP client benchmark: N GETs with 100 concurrent clients of ours against a
# local nginx serving a 4 KiB page, and "ab -n N -c 100" against the same URL
# in the same run. Ours runs under both of Qt's event dispatchers: the plain
# Unix one (the program's) and the GLib one. Installs nginx and ab when
# missing, starts nginx on a free loopback port with its own configuration in
# a temporary folder, and stops it at the end.
#
#   bench/run_http_bench.sh [N] [build dir] [rounds]
#
# BASELINE_BUILD names a second build folder whose http_bench (an earlier
# version of the client) runs in the same rounds, for a before/after ratio.
# The machine is shared: every figure is the median of the rounds, which
# alternate between the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
N="${1:-20000}"
BUILD="${2:-build/release}"
ROUNDS="${3:-3}"
C=100

source bench/lib/nginx.sh
ensure_packages nginx-light apache2-utils

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target http_bench -j2 >/dev/null

DIR=$(mktemp -d)
mkdir -p "$DIR/www"
head -c 4096 /dev/zero | tr '\0' 'x' > "$DIR/www/page.html"
start_nginx "$DIR"
URL="http://127.0.0.1:$PORT/page.html"

# rate <name>: appends one measured rate to $DIR/<name>.
run_ab() {
  local out
  out=$(ab -q -n "$N" -c $C "$URL" 2>&1)
  echo "$out" | awk '/Requests per second/ {print $4}' >> "$DIR/ab"
  echo "$out" | awk '/Failed requests/ {print $3}' >> "$DIR/ab.failed"
}
run_ours() { # <name> <build> <dispatcher: glib or unix>
  local out env=()
  # The option chooses for this version's bench; the variable for older ones.
  [ "$3" = unix ] && env=(QT_NO_GLIB=1)
  out=$(env "${env[@]}" "$2/bench/http_bench" --url "$URL" --requests "$N" --concurrency $C \
          --dispatcher "$3") || true
  echo "$out" | awk -F= '/^requests_per_second/ {print $2}' >> "$DIR/$1"
  echo "$out" | awk -F= '/^cpu_us_per_request/ {print $2}' >> "$DIR/$1.cpu"
  echo "$out" | awk -F= '/^failed/ {print $2}' >> "$DIR/$1.failed"
  echo "$out" > "$DIR/$1.last"
}
median() { sort -g "$1" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

SIDES="glib unix"
[ -n "${BASELINE_BUILD:-}" ] && SIDES="$SIDES base_glib base_unix"

# Warm-up, then the rounds.
ab -q -n 1000 -c $C "$URL" >/dev/null 2>&1 || true
for _ in $(seq "$ROUNDS"); do
  run_ab
  run_ours glib "$BUILD" glib
  run_ours unix "$BUILD" unix
  if [ -n "${BASELINE_BUILD:-}" ]; then
    run_ours base_glib "$BASELINE_BUILD" glib
    run_ours base_unix "$BASELINE_BUILD" unix
  fi
done

AB=$(median "$DIR/ab")
echo "requests: $N, concurrency: $C, page: 4096 bytes, rounds: $ROUNDS, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///')"
echo "ab:   $AB req/s (each round: $(paste -sd' ' "$DIR/ab"); failed: $(paste -sd' ' "$DIR/ab.failed"))"
for S in $SIDES; do
  M=$(median "$DIR/$S")
  awk -v s="$S" -v m="$M" -v a="$AB" -v all="$(paste -sd' ' "$DIR/$S")" \
      -v cpu="$(median "$DIR/$S.cpu")" -v f="$(paste -sd' ' "$DIR/$S.failed")" \
      'BEGIN { printf "%-10s %8.1f req/s, ratio to ab %.3f, cpu_us_per_request %s (each round: %s; failed: %s)\n", s ":", m, m / a, cpu, all, f }'
done
if [ -n "${BASELINE_BUILD:-}" ]; then
  for D in glib unix; do
    awk -v d="$D" -v o="$(median "$DIR/$D")" -v b="$(median "$DIR/base_$D")" \
        'BEGIN { printf "ours/baseline (%s): %.3f\n", d, o / b }'
  done
fi
echo "last run of ours (unix):"
sed 's/^/  /' "$DIR/unix.last"
