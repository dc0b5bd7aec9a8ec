#!/usr/bin/env bash
# vexo-cli benchmark, each run a process of its own as a user starts it:
#  (a) `vexo-cli check` of entries that take the connection and never
#      answer, timeout 1 s: 2,000 entries with 100 bots (bound 20 s) and
#      10,000 with 1,000 bots (bound 10 s); time against the bound and peak
#      memory;
#  (b) `vexo-cli leech` of N generated pages served by a local nginx against
#      the leech run-object benchmark (siterun_bench) on the same pages,
#      alternated: sites per second and the ratio (goal: within 5%).
# Installs nginx when missing, starts it on a free loopback port with its own
# configuration in a temporary folder, and stops it at the end.
#
#   bench/cli/run_cli_bench.sh [N] [rounds] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-10000}"
ROUNDS="${2:-3}"
BUILD="${3:-build/release}"

source bench/lib/nginx.sh
ensure_packages nginx-light

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target vexo-cli siterun_bench -j2 >/dev/null
CLI="$BUILD/src/vexo-cli"

echo "$(nproc) cores, open-file limit $(ulimit -Hn) (hard)"
echo "--- (a) check of entries that never answer, timeout 1 s, 2000 entries, 100 bots"
python3 bench/cli/cli_bench.py silent "$CLI" 2000 100 1
echo "--- (a) the same, 10000 entries, 1000 bots"
python3 bench/cli/cli_bench.py silent "$CLI" 10000 1000 1

DIR=$(mktemp -d)
mkdir -p "$DIR/www/p"
python3 bench/lib/proxy_pages.py "$DIR/www/p" "$N"
start_nginx "$DIR"
echo "--- (b) leech of $N pages of $(stat -c %s "$DIR/www/p/0.html") bytes (page 0), 100 bots, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///')"
python3 bench/cli/cli_bench.py leech "$CLI" "$BUILD/bench/siterun_bench" \
  "http://127.0.0.1:$PORT/p/" "$N" 100 "$ROUNDS"
