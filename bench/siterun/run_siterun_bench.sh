#!/usr/bin/env bash
# Leech run benchmark: N generated pages of about 20 KiB with 50 proxies each,
# served by a local nginx, fetched once by the raw HTTP client and once by a
# whole site run with 100 bots, in one process. Installs nginx when missing,
# starts it on a free loopback port with its own configuration in a temporary
# folder, and stops it at the end.
#
#   bench/siterun/run_siterun_bench.sh [N] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-10000}"
BUILD="${2:-build/release}"
BOTS=100

if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq nginx-light
fi
NGINX=$(command -v nginx || echo /usr/sbin/nginx)

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target siterun_bench -j2 >/dev/null

DIR=$(mktemp -d)
chmod 755 "$DIR"
stop() {
  [ -f "$DIR/nginx.pid" ] && kill "$(cat "$DIR/nginx.pid")" 2>/dev/null || true
  sleep 0.2
  rm -rf "$DIR"
}
trap stop EXIT
mkdir -p "$DIR/www/p" "$DIR/tmp" "$DIR/out"

# Pages: a table of 50 proxies (40 of their own, 10 from a pool of 1000 that
# many pages share, so the run has duplicates to remove) in about 20 KiB.
python3 - "$DIR/www/p" "$N" <<'PY'
import random, sys
out, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)
ip = lambda: "%d.%d.%d.%d" % (rnd.randint(1, 223), rnd.randint(0, 255), rnd.randint(0, 255), rnd.randint(1, 254))
ports = [80, 3128, 8000, 8080, 8888, 1080]
pool = ["%s:%d" % (ip(), rnd.choice(ports)) for _ in range(1000)]
filler = ("<p>Fresh proxy list, checked every hour. Anonymous and elite HTTP proxies, "
          "sorted by country and speed. Use them at your own risk.</p>\n")
for i in range(n):
    proxies = ["%s:%d" % (ip(), rnd.choice(ports)) for _ in range(40)] + rnd.sample(pool, 10)
    rnd.shuffle(proxies)
    rows = "".join("<tr><td>%s</td><td>HTTP</td><td>anonymous</td><td>%d ms</td></tr>\n"
                   % (p, rnd.randint(50, 900)) for p in proxies)
    head = "<html><head><title>Proxy list %d</title></head><body>\n<table>\n" % i
    tail = "</table>\n"
    body = head + rows + tail
    while len(body) < 20 * 1024 - 20:
        body += filler
    body += "</body></html>\n"
    with open("%s/%d.html" % (out, i), "w") as f:
        f.write(body)
PY
chmod -R a+rX "$DIR/www"

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$DIR/nginx.conf" <<CONF
worker_processes 1;
pid $DIR/nginx.pid;
error_log $DIR/error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $DIR/tmp; proxy_temp_path $DIR/tmp; fastcgi_temp_path $DIR/tmp;
  uwsgi_temp_path $DIR/tmp; scgi_temp_path $DIR/tmp;
  default_type text/html;
  server {
    listen 127.0.0.1:$PORT backlog=4096;
    root $DIR/www;
  }
}
CONF
"$NGINX" -c "$DIR/nginx.conf" -p "$DIR" 2>/dev/null
for _ in $(seq 50); do [ -f "$DIR/nginx.pid" ] && break; sleep 0.1; done

echo "pages: $N of $(stat -c %s "$DIR/www/p/0.html") bytes (page 0), bots: $BOTS, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///')"
${BENCH_WRAP:-} "$BUILD/bench/siterun_bench" --base "http://127.0.0.1:$PORT/p/" --sites "$N" --bots "$BOTS" \
  --folder "$DIR/out"
