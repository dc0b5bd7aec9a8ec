#!/usr/bin/env bash
# Leech run benchmark: N generated pages of about 20 KiB with 50 proxies each,
# served by a local nginx, fetched once by the raw HTTP client and once by a
# whole site run with 100 bots, in one process. Installs nginx when missing,
# starts it on a free loopback port with its own configuration in a temporary
# folder, and stops it at the end.
#
#   bench/siterun/run_siterun_bench.sh [N] [build dir]
#
# SITERUN_ARGS adds options of the run benchmark (e.g. "--profile run
# --rounds 5" runs only the site run, for a profiler given in BENCH_WRAP).
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-10000}"
BUILD="${2:-build/release}"
BOTS=100

source bench/lib/nginx.sh
ensure_packages nginx-light

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target siterun_bench window_bench -j2 >/dev/null

DIR=$(mktemp -d)
mkdir -p "$DIR/www/p" "$DIR/tmp" "$DIR/out"

# Pages: a table of 50 proxies in about 20 KiB (see bench/lib/proxy_pages.py).
python3 bench/lib/proxy_pages.py "$DIR/www/p" "$N"
start_nginx "$DIR"

echo "pages: $N of $(stat -c %s "$DIR/www/p/0.html") bytes (page 0), bots: $BOTS, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///')"
${BENCH_WRAP:-} "$BUILD/bench/siterun_bench" --base "http://127.0.0.1:$PORT/p/" --sites "$N" --bots "$BOTS" \
  --folder "$DIR/out" ${SITERUN_ARGS:-}

# The same pages through the real main window, offscreen, with a 10 ms timer
# watching how responsive its event loop stays, alternated with the run object
# alone for the ratio of the two.
${BENCH_WRAP:-} "$BUILD/bench/window_bench" "http://127.0.0.1:$PORT/p" "$N"
