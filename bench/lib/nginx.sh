# Shared by the bench scripts: a private nginx on a free loopback port.
#
#   source bench/lib/nginx.sh
#   ensure_packages nginx-light apache2-utils   # installs what is missing
#   start_nginx "$DIR"                          # serves $DIR/www; sets PORT
#   start_nginx "$DIR" "$DIR/more.conf"         # the same, plus server blocks of its own
#   judge_proxy_conf FILE PROXY_PORT JUDGE_PORT  # a fast proxy in front of a judge page
# nginx is stopped and $DIR removed when the script exits.

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
}

start_nginx() {
  local dir="$1" include=""
  [ -n "${2:-}" ] && include="include $2;"
  NGINX_DIR="$dir"
  NGINX=$(command -v nginx || echo /usr/sbin/nginx)
  PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  mkdir -p "$dir/www" "$dir/tmp"
  # nginx's workers run as an unprivileged user: let them read the pages.
  chmod 755 "$dir"
  chmod -R a+rX "$dir/www"
  cat > "$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $dir/tmp; proxy_temp_path $dir/tmp; fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp; scgi_temp_path $dir/tmp;
  default_type text/html;
  server {
    listen 127.0.0.1:$PORT backlog=4096;
    root $dir/www;
  }
  $include
}
CONF
  trap stop_nginx EXIT
  "$NGINX" -c "$dir/nginx.conf" -p "$dir" 2>/dev/null
  for _ in $(seq 50); do [ -f "$dir/nginx.pid" ] && break; sleep 0.1; done
}

stop_nginx() {
  [ -f "$NGINX_DIR/nginx.pid" ] && kill "$(cat "$NGINX_DIR/nginx.pid")" 2>/dev/null || true
  sleep 0.2
  rm -rf "$NGINX_DIR"
}

# Server blocks for start_nginx: a judge page on JUDGE_PORT (the request's
# environment, the address in a 15-character field padded with blanks, the
# level after a ">"), and a proxy on PROXY_PORT (and any further ports given)
# that takes absolute-form requests and hands them to that judge.
judge_proxy_conf() {
  local file="$1" proxy_port="$2" judge_port="$3" listen="" p
  shift 3
  for p in "$proxy_port" "$@"; do listen+="  listen 127.0.0.1:$p backlog=4096;"$'\n'; done
  cat > "$file" <<CONF
upstream judge { server 127.0.0.1:$judge_port; keepalive 128; }
server {
$listen
  location / {
    proxy_pass http://judge;
    proxy_http_version 1.1;
    proxy_set_header Connection "";
    proxy_set_header Host \$host;
    proxy_set_header Via "1.1 bench-proxy";
  }
}
server {
  listen 127.0.0.1:$judge_port backlog=4096;
  location / {
    default_type text/html;
    return 200 "<html><head><title>Proxy judge</title></head><body><pre>
REMOTE_ADDR=\$remote_addr               
REQUEST_METHOD=\$request_method
REQUEST_URI=\$request_uri
HTTP_HOST=\$http_host
HTTP_USER_AGENT=\$http_user_agent
HTTP_VIA=\$http_via
</pre>
<p>AnonyLevel: <b>2</b></p></body></html>
";
  }
}
CONF
}
