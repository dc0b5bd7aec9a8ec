#!/usr/bin/env bash
# Judge under load: "ab -n N -c C" against vexo-judge on loopback and, in the
# same run, against a local nginx serving a static page of the same size,
# alternated round by round. For each concurrency it prints both sides'
# requests per second (median of the rounds), the ratio judge / nginx,
# failed and non-200 answers, and CPU time per request; at the end the peak
# resident memory of the judge (and its size before the load) and of nginx's
# worker.
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
ensure_packages nginx-light apache2-utils curl

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target vexo-judge -j2 >/dev/null

# ab opens up to 1000 connections, the servers as many again.
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

DIR=$(mktemp -d)
start_nginx "$DIR"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
JPORT=$(free_port)
"$BUILD/src/vexo-judge" --listen "127.0.0.1:$JPORT" 2>"$DIR/judge.log" &
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

# user + system CPU ticks of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
TICK=$(getconf CLK_TCK)

# Runs ab once; prints "rps failed non2xx cpu_us_per_request".
run_ab() {
  local url="$1" c="$2" pid="$3" out t0 t1
  t0=$(cpu_ticks "$pid")
  out=$(ab -q -r -n "$N" -c "$c" "$url" 2>&1 || true)
  t1=$(cpu_ticks "$pid")
  local rps failed non2xx
  rps=$(awk '/Requests per second/ {print $4}' <<<"$out")
  failed=$(awk '/Failed requests/ {print $3}' <<<"$out")
  non2xx=$(awk '/Non-2xx responses/ {print $3}' <<<"$out")
  echo "${rps:-0} ${failed:-$N} ${non2xx:-0} $(( (t1 - t0) * 1000000 / TICK / N ))"
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

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
echo "--- peak memory"
echo "judge_peak_rss_kib=$(peak_kib "$JUDGE_PID") (at start: $JUDGE_START_KIB)"
echo "nginx_worker_peak_rss_kib=$(peak_kib "$NGINX_WORKER")"
