#!/usr/bin/env bash
# Check run benchmark, three settings, each in a process of its own so that
# each peak memory is its own:
#  (a) N entries through one fast local proxy (nginx taking absolute-form
#      requests and handing them to a judge page served by the same nginx,
#      with $remote_addr in it), against "ab -n N -c 100 -X proxy" through
#      the same proxy to the same judge, alternated in one run: checks per
#      second and the ratio; then once more from the real analyser window
#      (offscreen), alternated with the run object alone, with how late a
#      10 ms timer fires meanwhile and that run's ratios to the run object
#      and to ab;
#  (b) N entries on loopback ports that refuse: checks per second;
#  (c) M entries that take the connection and never answer, timeout 1 s:
#      the run's time against M / 100 seconds;
#  (d) N checks through microsocks (SOCKS5) beside N through tinyproxy (HTTP)
#      to the same judge, alternated: our CPU per check for each, their ratio
#      (goal: at most 1.2), checks per second and peak memory;
#  (e) N entries through the proxy of (a) with the check history off and on,
#      alternated: checks per second of each and their ratio.
# Installs nginx and ab when missing, starts nginx on free loopback ports with
# its own configuration in a temporary folder, and stops it at the end.
#
#   bench/checkrun/run_checkrun_bench.sh [N] [M] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-10000}"
M="${2:-2000}"
BUILD="${3:-build/release}"
BOTS=100

source bench/lib/nginx.sh
ensure_packages nginx-light apache2-utils tinyproxy-bin microsocks

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target checkrun_bench checkwindow_bench -j2 >/dev/null

DIR=$(mktemp -d)
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
PROXY_PORT=$(free_port)
JUDGE_PORT=$(free_port)
judge_proxy_conf "$DIR/checkrun.conf" "$PROXY_PORT" "$JUDGE_PORT"
start_nginx "$DIR" "$DIR/checkrun.conf"
JUDGE="http://127.0.0.1:$JUDGE_PORT/judge.cgi"

echo "nginx $("$NGINX" -v 2>&1 | sed 's/.*\///'), $(nproc) cores, bots: $BOTS"
echo "--- (a) $N entries through one local proxy to a local judge, against ab"
"$BUILD/bench/checkrun_bench" --scenario judge --proxy "127.0.0.1:$PROXY_PORT" --judge "$JUDGE" \
  --entries "$N" --bots $BOTS --rounds 3 --ab "$(command -v ab)"
echo "--- (a) the same from the analyser window, offscreen, with a 10 ms timer running"
"$BUILD/bench/checkwindow_bench" --proxy "127.0.0.1:$PROXY_PORT" --judge "$JUDGE" \
  --entries "$N" --rounds 3 --ab "$(command -v ab)"
echo "--- (e) $N entries through the local proxy, the check history off and on"
"$BUILD/bench/checkrun_bench" --scenario history --proxy "127.0.0.1:$PROXY_PORT" --judge "$JUDGE" \
  --entries "$N" --bots $BOTS --rounds 5
echo "--- (b) $N entries on refusing loopback ports"
"$BUILD/bench/checkrun_bench" --scenario refused --entries "$N" --bots $BOTS
echo "--- (c) $M entries that never answer, timeout 1 s"
"$BUILD/bench/checkrun_bench" --scenario silent --entries "$M" --bots $BOTS --timeout 1

echo "--- (d) $N entries through microsocks (SOCKS5) and through tinyproxy (HTTP)"
TP_PORT=$(free_port)
MS_PORT=$(free_port)
cat > "$DIR/tinyproxy.conf" <<CONF
Port $TP_PORT
Listen 127.0.0.1
Timeout 10
MaxClients 400
Allow 127.0.0.0/8
LogLevel Error
LogFile "$DIR/tinyproxy.log"
PidFile "$DIR/tinyproxy.pid"
CONF
TINYPROXY=$(command -v tinyproxy || echo /usr/bin/tinyproxy)
"$TINYPROXY" -d -c "$DIR/tinyproxy.conf" & TP_PID=$!
microsocks -i 127.0.0.1 -p "$MS_PORT" >/dev/null 2>&1 & MS_PID=$!
sleep 1
"$BUILD/bench/checkrun_bench" --scenario socks --proxy "127.0.0.1:$TP_PORT" \
  --socks "127.0.0.1:$MS_PORT" --judge "$JUDGE" --entries "$N" --bots $BOTS --rounds 3 || true
kill "$TP_PID" "$MS_PID" 2>/dev/null || true
wait "$TP_PID" "$MS_PID" 2>/dev/null || true
