#!/usr/bin/env bash
# Judge under load: "ab -n N -c C" against vexo-judge on loopback and, in the
# same run, against a local nginx serving a static page of the same size,
# alternated round by round. For each concurrency it prints both sides'
# requests per second (median of the rounds), the ratio judge / nginx,
# failed and non-200 answers, and CPU time per request; at the end the peak
# resident memory of the judge (and its size before the load) and of nginx's
# worker.
#
# Then the cost of escaping: requests of 99 header lines of control bytes
# against the same request of plain letters (same names, same sizes, a page
# just under the judge's page cap), four clients, alternated round by round;
# it prints the judge's CPU time per request of each and their ratio.
#
# Installs nginx and ab when missing, runs both on free loopback ports with
# configuration in a temporary folder, and stops them at the end.
#
#   bench/judge/run_judge_bench.sh [N] [rounds] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-50000}"
ROUNDS="${2:-3}"
BUILD="${3:-build/release}"
CONCURRENCY=(200 1000)

source bench/lib/nginx.sh
source bench/lib/ab.sh
ensure_packages nginx-light apache2-utils curl

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target vexo-judge -j2 >/dev/null

# ab opens up to 1000 connections, the servers as many again.
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

DIR=$(mktemp -d)
start_nginx "$DIR"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
JPORT=$(free_port)
# All of ab's connections come from one address: let it have them all.
"$BUILD/src/vexo-judge" --listen "127.0.0.1:$JPORT" --max-per-source 1024 2>"$DIR/judge.log" &
JUDGE_PID=$!
stop_all() { kill "$JUDGE_PID" 2>/dev/null || true; wait "$JUDGE_PID" 2>/dev/null || true; stop_nginx; }
trap stop_all EXIT
for _ in $(seq 50); do grep -q listening "$DIR/judge.log" 2>/dev/null && break; sleep 0.1; done

JUDGE_URL="http://127.0.0.1:$JPORT/"
# The static page: a judge page as ab gets it, so both send the same bytes.
curl -s -A "ApacheBench/2.3" -H "Accept: */*" "$JUDGE_URL" > "$DIR/www/judge.html"
NGINX_URL="http://127.0.0.1:$PORT/judge.html"
JUDGE_SIZE=$(ab -n 1 "$JUDGE_URL" 2>/dev/null | awk '/Document Length/ {print $3}')
NGINX_SIZE=$(ab -n 1 "$NGINX_URL" 2>/dev/null | awk '/Document Length/ {print $3}')
NGINX_WORKER=$(pgrep -P "$(cat "$DIR/nginx.pid")" | head -1)
JUDGE_START_KIB=$(awk '/VmRSS/ {print $2}' "/proc/$JUDGE_PID/status")


echo "nginx $("$NGINX" -v 2>&1 | sed 's/.*\///') (1 worker), ab $(ab -V | awk 'NR==1 {print $5}'), $(nproc) cores"
echo "page: judge $JUDGE_SIZE bytes, nginx $NGINX_SIZE bytes; $N requests per run, $ROUNDS rounds, median"
for C in "${CONCURRENCY[@]}"; do
  : > "$DIR/j" ; : > "$DIR/n"
  for _ in $(seq "$ROUNDS"); do
    run_ab "$NGINX_URL" "$C" "$NGINX_WORKER" >> "$DIR/n"
    run_ab "$JUDGE_URL" "$C" "$JUDGE_PID" >> "$DIR/j"
  done
  J=$(cut -d' ' -f1 "$DIR/j" | median); NX=$(cut -d' ' -f1 "$DIR/n" | median)
  echo "--- ab -n $N -c $C"
  echo "judge_rps=$J (rounds: $(cut -d' ' -f1 "$DIR/j" | tr '\n' ' '))"
  echo "nginx_rps=$NX (rounds: $(cut -d' ' -f1 "$DIR/n" | tr '\n' ' '))"
  echo "ratio=$(awk -v a="$J" -v b="$NX" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}') (goal >= 0.5)"
  echo "judge_failed=$(awk '{s += $2} END {print s}' "$DIR/j") judge_non2xx=$(awk '{s += $3} END {print s}' "$DIR/j")" \
       "nginx_failed=$(awk '{s += $2} END {print s}' "$DIR/n") nginx_non2xx=$(awk '{s += $3} END {print s}' "$DIR/n")"
  echo "cpu_us_per_request: judge $(cut -d' ' -f4 "$DIR/j" | median), nginx worker $(cut -d' ' -f4 "$DIR/n" | median)"
done
# 99 header lines of 60 bytes each (ab's own Host, User-Agent and Accept
# replaced), of control bytes or of letters. Each control byte shows as a
# reference of 4 to 6 bytes on the page.
CONTROL=$(printf '\\x%x' {1..8} 11 12 {14..31} 127)
CONTROL=$(printf "$CONTROL$CONTROL$CONTROL")
CONTROL=${CONTROL:0:60}
LETTERS=$(printf 'abcdefghij%.0s' {1..6})
header_args() {
  local value="$1" i
  printf '%s\0' -H "Host: $value" -H "User-Agent: $value" -H "Accept: $value"
  for i in $(seq 96); do printf '%s\0' -H "X-Line-$i: $value"; done
}
mapfile -d '' CONTROL_ARGS < <(header_args "$CONTROL")
mapfile -d '' LETTER_ARGS < <(header_args "$LETTERS")
REQUESTS=$(( N / 5 ))
: > "$DIR/cc"; : > "$DIR/cl"
for _ in $(seq "$ROUNDS"); do
  REQUESTS=$REQUESTS run_ab "$JUDGE_URL" 4 "$JUDGE_PID" "${LETTER_ARGS[@]}" >> "$DIR/cl"
  REQUESTS=$REQUESTS run_ab "$JUDGE_URL" 4 "$JUDGE_PID" "${CONTROL_ARGS[@]}" >> "$DIR/cc"
done
CL=$(cut -d' ' -f4 "$DIR/cl" | median); CC=$(cut -d' ' -f4 "$DIR/cc" | median)
echo "--- 99 header lines of control bytes against letters (ab -n $REQUESTS -c 4)"
echo "cpu_us_per_request: letters $CL (rounds: $(cut -d' ' -f4 "$DIR/cl" | tr '\n' ' ')), control bytes $CC (rounds: $(cut -d' ' -f4 "$DIR/cc" | tr '\n' ' '))"
echo "control_cpu_ratio=$(awk -v a="$CC" -v b="$CL" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}') (goal <= 3)"
echo "failed: letters $(awk '{s += $2} END {print s}' "$DIR/cl"), control bytes $(awk '{s += $2} END {print s}' "$DIR/cc");" \
     "non2xx: letters $(awk '{s += $3} END {print s}' "$DIR/cl"), control bytes $(awk '{s += $3} END {print s}' "$DIR/cc")"
echo "--- peak memory"
echo "judge_peak_rss_kib=$(peak_kib "$JUDGE_PID") (at start: $JUDGE_START_KIB)"
echo "nginx_worker_peak_rss_kib=$(peak_kib "$NGINX_WORKER")"
