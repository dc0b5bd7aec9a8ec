#!/usr/bin/env bash
# Leech run over TLS: N generated pages of about 20 KiB with 50 proxies each,
# served over https (and plain HTTP, for reference) by a local nginx with a
# certificate of a test authority made here, fetched by a whole site run with
# 100 bots, against "ab -n N -c 100" on the same https pages, alternated in
# one run; then the heap that one client holds during a request, over TLS and
# over plain HTTP. Installs nginx, ab and openssl when missing, starts nginx
# on free loopback ports with its own configuration in a temporary folder,
# and stops it at the end.
#
#   bench/tls/run_tls_bench.sh [N] [rounds] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
N="${1:-2000}"
ROUNDS="${2:-3}"
BUILD="${3:-build/release}"
BOTS=100

source bench/lib/nginx.sh
ensure_packages nginx-light apache2-utils openssl

cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target tls_bench -j2 >/dev/null

DIR=$(mktemp -d)
mkdir -p "$DIR/www/p" "$DIR/tmp" "$DIR/out" "$DIR/certs"

# A test authority and a certificate for localhost and 127.0.0.1 (P-256, as
# most sites use today); the run trusts that authority alone.
(
  cd "$DIR/certs"
  ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -keyout ca.key -out ca.pem -days 30 -subj "/CN=Bench Authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
  openssl req -new "${ec[@]}" -keyout site.key -out site.csr -subj "/CN=localhost" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > site.ext
  openssl x509 -req -in site.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile site.ext -out site.pem 2>/dev/null
  chmod a+r ./*
)
export SSL_CERT_FILE="$DIR/certs/ca.pem" SSL_CERT_DIR="$DIR/certs"

python3 - "$DIR/www/p" "$N" <<'PY'
import random, sys
out, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)
ip = lambda: "%d.%d.%d.%d" % (rnd.randint(1, 223), rnd.randint(0, 255), rnd.randint(0, 255), rnd.randint(1, 254))
ports = [80, 3128, 8000, 8080, 8888, 1080]
filler = ("<p>Fresh proxy list, checked every hour. Anonymous and elite HTTP proxies, "
          "sorted by country and speed. Use them at your own risk.</p>\n")
for i in range(n):
    rows = "".join("<tr><td>%s:%d</td><td>HTTP</td><td>anonymous</td></tr>\n" % (ip(), rnd.choice(ports))
                   for _ in range(50))
    body = "<html><head><title>Proxy list %d</title></head><body>\n<table>\n%s</table>\n" % (i, rows)
    while len(body) < 20 * 1024 - 20:
        body += filler
    body += "</body></html>\n"
    with open("%s/%d.html" % (out, i), "w") as f:
        f.write(body)
PY
# The slow page: 1 MiB dripped at 4 KiB/s, so that clients stay in its body.
head -c 1048576 /dev/zero | tr '\0' 'x' > "$DIR/www/slow.html"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
TLS_PORT=$(free_port)
PLAIN_PORT=$(free_port)
cat > "$DIR/tls.conf" <<CONF
server {
  listen 127.0.0.1:$TLS_PORT ssl backlog=4096;
  ssl_certificate $DIR/certs/site.pem;
  ssl_certificate_key $DIR/certs/site.key;
  ssl_protocols TLSv1.2 TLSv1.3;
  ssl_session_tickets off;
  root $DIR/www;
  location = /slow.html { limit_rate 4k; }
}
server {
  listen 127.0.0.1:$PLAIN_PORT backlog=4096;
  root $DIR/www;
  location = /slow.html { limit_rate 4k; }
}
CONF
start_nginx "$DIR" "$DIR/tls.conf"

echo "pages: $N of $(stat -c %s "$DIR/www/p/0.html") bytes (page 0), bots: $BOTS, nginx $("$NGINX" -v 2>&1 | sed 's/.*\///'), $(openssl version)"
"$BUILD/bench/tls_bench" --base "https://localhost:$TLS_PORT/p/" \
  --plain-base "http://127.0.0.1:$PLAIN_PORT/p/" \
  --slow "https://localhost:$TLS_PORT/slow.html" --plain-slow "http://127.0.0.1:$PLAIN_PORT/slow.html" \
  --sites "$N" --bots "$BOTS" --rounds "$ROUNDS" --ab "$(command -v ab)" --folder "$DIR/out"
