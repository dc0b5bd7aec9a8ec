#!/usr/bin/env bash
# vexo-cli check of long, mostly dead lists on loopback: the growth curve of
# 10,000, 100,000 and 1,000,000 entries (90% dead, 5% refusing, 5% live
# proxies in front of a judge page; see million_bench.py), with
# --connect-timeout 3 --timeout 8 and BOTS bots. Goal: a million entries in
# ten minutes, within 10% of the bound entries x 0.9 x 3 s / bots, CPU per
# check flat from the smallest size to the largest.
# Installs nginx when missing, starts it on free loopback ports (the proxies
# and the judge), and stops it at the end. The open-file limit must allow
# BOTS descriptors and a few hundred more.
#
#   bench/million/run_million_bench.sh [BOTS] [sizes...]
#   CLI=wrapper bench/million/run_million_bench.sh ...   # e.g. a script that runs vexo-cli under perf
set -euo pipefail
cd "$(dirname "$0")/../.."
BOTS="${1:-8000}"
shift || true
SIZES=("$@")
((${#SIZES[@]})) || SIZES=(10000 100000 1000000)
BUILD="${BUILD:-build/release}"

source bench/lib/nginx.sh
ensure_packages nginx-light

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target vexo-cli -j2 >/dev/null

DIR=$(mktemp -d)
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
JUDGE_PORT=$(free_port)
LIVE=()
for _ in 1 2 3 4; do LIVE+=("$(free_port)"); done
judge_proxy_conf "$DIR/million.conf" "${LIVE[@]:0:1}" "$JUDGE_PORT" "${LIVE[@]:1}"
start_nginx "$DIR" "$DIR/million.conf"
LIVE_PORTS=$(IFS=,; echo "${LIVE[*]}")

echo "$(nproc) cores, open-file limit $(ulimit -Hn) (hard), local ports $(cat /proc/sys/net/ipv4/ip_local_port_range | tr '\t' -)"
for N in "${SIZES[@]}"; do
  echo "--- $N entries, $BOTS bots"
  python3 bench/million/million_bench.py "${CLI:-$BUILD/src/vexo-cli}" \
    "http://127.0.0.1:$JUDGE_PORT/judge.cgi" "$LIVE_PORTS" "$N" "$BOTS" 3 8 || true
done
