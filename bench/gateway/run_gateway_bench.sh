#!/usr/bin/env bash
# The gateway under load, beside the upstream it uses, in one run:
#
# 1. "ab -X" through vexo-gateway (two tinyproxy upstreams, round-robin) to
#    a local nginx page, alternated round by round with "ab -X" through one
#    of those tinyproxy instances directly; for each concurrency the requests
#    per second of both (median of the rounds), the ratio gateway / direct
#    (goal >= 0.8 at 100), failures, and the CPU time per request of the
#    gateway and of the tinyproxy asked directly.
# 2. 1,000 CONNECT tunnels open at once, each relaying a request and its
#    answer while all are open: the gateway's resident memory before and
#    with them, per tunnel.
#
# Installs nginx, ab, curl and tinyproxy when missing, runs everything on free
# loopback ports with configuration in a temporary folder, and stops it all.
#
#   bench/gateway/run_gateway_bench.sh [N] [rounds] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-20000}"
ROUNDS="${2:-3}"
BUILD="${3:-build/release}"
CONCURRENCY=(1 100)
TUNNELS=1000

source bench/lib/nginx.sh
source bench/lib/ab.sh
ensure_packages nginx-light apache2-utils curl tinyproxy-bin

if [ ! -x "$BUILD/src/vexo-gateway" ] || [ "$BUILD" = build/release ]; then
  cmake --preset release -B "$BUILD" >/dev/null
  cmake --build "$BUILD" --target vexo-gateway -j2 >/dev/null
fi

ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"
DIR=$(mktemp -d)
start_nginx "$DIR"
head -c 1024 /dev/zero | tr '\0' 'x' > "$DIR/www/page.html"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
PIDS=()
stop_all() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  stop_nginx
}
trap stop_all EXIT

TP_PORTS=()
for i in 1 2; do
  p=$(free_port)
  cat > "$DIR/tp$i.conf" <<CONF
Port $p
Listen 127.0.0.1
Timeout 60
MaxClients 2000
DisableViaHeader Yes
LogLevel Critical
LogFile "$DIR/tp$i.log"
CONF
  tinyproxy -d -c "$DIR/tp$i.conf" 2>/dev/null &
  PIDS+=($!)
  TP_PORTS+=("$p")
  echo "127.0.0.1:$p" >> "$DIR/pool.txt"
done
GPORT=$(free_port)
"$BUILD/src/vexo-gateway" --pool "$DIR/pool.txt" --listen "127.0.0.1:$GPORT" \
  --max-connections 4096 --max-per-source 4096 2>"$DIR/gateway.log" &
GATEWAY_PID=$!
PIDS+=("$GATEWAY_PID")
for _ in $(seq 50); do grep -q listening "$DIR/gateway.log" 2>/dev/null && break; sleep 0.1; done
sleep 0.3

URL="http://127.0.0.1:$PORT/page.html"
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

echo "tinyproxy $(tinyproxy -v 2>&1 | awk '{print $2}'), nginx 1 worker, $(nproc) cores, build $BUILD"
echo "$N requests per run of a 1 KiB page, $ROUNDS rounds, median"
for C in "${CONCURRENCY[@]}"; do
  : > "$DIR/g"; : > "$DIR/d"
  for _ in $(seq "$ROUNDS"); do
    run_ab "$URL" "$C" "${PIDS[0]}" -X "127.0.0.1:${TP_PORTS[0]}" >> "$DIR/d"
    run_ab "$URL" "$C" "$GATEWAY_PID" -X "127.0.0.1:$GPORT" >> "$DIR/g"
  done
  G=$(cut -d' ' -f1 "$DIR/g" | median); D=$(cut -d' ' -f1 "$DIR/d" | median)
  echo "--- ab -n $N -c $C -X"
  echo "gateway_rps=$G (rounds: $(cut -d' ' -f1 "$DIR/g" | tr '\n' ' '))"
  echo "direct_rps=$D (rounds: $(cut -d' ' -f1 "$DIR/d" | tr '\n' ' '))"
  echo "ratio=$(awk -v a="$G" -v b="$D" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}') (goal >= 0.8 at 100)"
  echo "gateway_failed=$(awk '{s += $2} END {print s}' "$DIR/g") gateway_non2xx=$(awk '{s += $3} END {print s}' "$DIR/g")" \
       "direct_failed=$(awk '{s += $2} END {print s}' "$DIR/d") direct_non2xx=$(awk '{s += $3} END {print s}' "$DIR/d")"
  echo "cpu_us_per_request: gateway $(cut -d' ' -f4 "$DIR/g" | median)," \
       "the direct tinyproxy $(cut -d' ' -f4 "$DIR/d" | median)"
done

echo "--- $TUNNELS tunnels open at once"
BEFORE=$(rss_kib "$GATEWAY_PID")
coproc TUNNEL { python3 bench/gateway/tunnels.py "$GPORT" 127.0.0.1 "$PORT" "$TUNNELS"; }
read -r -u "${TUNNEL[0]}" RESULT
WITH=$(rss_kib "$GATEWAY_PID")
echo "$RESULT" >&"${TUNNEL[1]}"
wait "$TUNNEL_PID" 2>/dev/null || true
echo "tunnels: $RESULT"
echo "gateway_rss_kib: before $BEFORE, with the tunnels $WITH;" \
     "per tunnel $(awk -v a="$WITH" -v b="$BEFORE" -v n="$TUNNELS" 'BEGIN {printf "%.1f", (a - b) / n}') KiB"
