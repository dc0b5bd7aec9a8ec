#!/usr/bin/env bash
# HTTP client benchmark: N GETs with 100 concurrent clients of ours against a
# local nginx serving a 4 KiB page, and "ab -n N -c 100" against the same URL
# in the same run. Installs nginx and ab when missing, starts nginx on a free
# loopback port with its own configuration in a temporary folder, and stops
# it at the end.
#
#   bench/run_http_bench.sh [N] [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
N="${1:-20000}"
BUILD="${2:-build/release}"
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

# Warm-up, then the reference run and ours.
ab -q -n 1000 -c $C "$URL" >/dev/null 2>&1 || true
AB_OUT=$( { /usr/bin/time -f "ab_cpu_seconds=%U %S" ab -q -n "$N" -c $C "$URL"; } 2>&1)
AB_CPU_US=$(echo "$AB_OUT" | awk -v n="$N" '/^ab_cpu_seconds=/ { split($0, a, "="); split(a[2], b, " "); printf "%.1f", (b[1] + $2) * 1e6 / n }')
AB_RPS=$(echo "$AB_OUT" | awk '/Requests per second/ {print $4}')
AB_FAIL=$(echo "$AB_OUT" | awk '/Failed requests/ {print $3}')
AB_NON2XX=$(echo "$AB_OUT" | awk '/Non-2xx/ {print $3}')
OURS=$("$BUILD/bench/http_bench" --url "$URL" --requests "$N" --concurrency $C) || true
OUR_RPS=$(echo "$OURS" | awk -F= '/^requests_per_second/ {print $2}')

echo "requests: $N, concurrency: $C, page: 4096 bytes, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///')"
echo "ab:   $AB_RPS req/s (failed: $AB_FAIL, non-2xx: ${AB_NON2XX:-0}), cpu_us_per_request=$AB_CPU_US"
echo "ours: $OUR_RPS req/s"
echo "$OURS" | sed 's/^/  /'
awk -v a="$AB_RPS" -v o="$OUR_RPS" 'BEGIN { printf "ratio ours/ab: %.2f\n", o / a }'
