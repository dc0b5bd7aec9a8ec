# Shared by the bench scripts: ab runs and what a process spent on them.
#
#   source bench/lib/ab.sh
#   run_ab URL C PID [ab options...]   # N (or $REQUESTS) requests at concurrency C
#   ... | median
# N must be set.

# user + system CPU ticks of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
TICK=$(getconf CLK_TCK)

# Runs ab once (N requests, or $REQUESTS when set, further ab options after
# the pid); prints "rps failed non2xx cpu_us_per_request".
run_ab() {
  local url="$1" c="$2" pid="$3" out t0 t1 n="${REQUESTS:-$N}"
  shift 3
  t0=$(cpu_ticks "$pid")
  out=$(ab -q -r -n "$n" -c "$c" "$@" "$url" 2>&1 || true)
  t1=$(cpu_ticks "$pid")
  local rps failed non2xx
  rps=$(awk '/Requests per second/ {print $4}' <<<"$out")
  failed=$(awk '/Failed requests/ {print $3}' <<<"$out")
  non2xx=$(awk '/Non-2xx responses/ {print $3}' <<<"$out")
  echo "${rps:-0} ${failed:-$n} ${non2xx:-0} $(( (t1 - t0) * 1000000 / TICK / n ))"
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
