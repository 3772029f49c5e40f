#!/usr/bin/env bash
# Download benchmark: a 1 GiB file from a local nginx with `sondrel-cli fetch -o /dev/null`
# against `curl -o /dev/null`, run alternately, over http and over https (a test CA made here
# with openssl; ours trusts it through SSL_CERT_FILE, curl through --cacert); then the CPU cost
# of waiting 5 s on a server that accepts and never answers.
#
# usage: bench/http_download.sh [path/to/sondrel-cli] [runs]
set -euo pipefail

CLI=${1:-build/sondrel-cli}
RUNS=${2:-5}
SIZE_MIB=${SIZE_MIB:-1024}
PYTHON=/usr/bin/python3
for tool in nginx curl openssl /usr/bin/time "$PYTHON"; do
  command -v "$tool" >/dev/null || { echo "http_download: $tool is missing" >&2; exit 1; }
done
[ -x "$CLI" ] || { echo "http_download: no sondrel-cli at $CLI" >&2; exit 1; }

T=$(mktemp -d /tmp/sondrel-http-bench.XXXXXX)
NGINX_PID=""
SILENT_PID=""
cleanup() {
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
  [ -n "$SILENT_PID" ] && kill "$SILENT_PID" 2>/dev/null && wait "$SILENT_PID" 2>/dev/null || true
  rm -rf "$T"
}
trap cleanup EXIT

free_port() {
  "$PYTHON" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

mkdir -p "$T/www"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$T/www/big.bin"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=bench-ca \
  -keyout "$T/ca.key" -out "$T/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=127.0.0.1 \
  -keyout "$T/server.key" -out "$T/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > "$T/san.ext"
openssl x509 -req -in "$T/server.csr" -CA "$T/ca.pem" -CAkey "$T/ca.key" -CAcreateserial \
  -days 2 -extfile "$T/san.ext" -out "$T/server.pem" 2>/dev/null
PORT=$(free_port)
TLS_PORT=$(free_port)
USER_LINE=""
[ "$(id -u)" -eq 0 ] && USER_LINE="user root;"
cat > "$T/nginx.conf" <<CONF
$USER_LINE
worker_processes 1;
pid $T/nginx.pid;
events { worker_connections 64; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  sendfile on;
  client_body_temp_path $T/client_body;
  proxy_temp_path $T/proxy;
  fastcgi_temp_path $T/fastcgi;
  uwsgi_temp_path $T/uwsgi;
  scgi_temp_path $T/scgi;
  server {
    listen 127.0.0.1:$PORT;
    listen 127.0.0.1:$TLS_PORT ssl;
    ssl_certificate $T/server.pem;
    ssl_certificate_key $T/server.key;
    root $T/www;
  }
}
CONF
nginx -p "$T" -e "$T/error.log" -c "$T/nginx.conf" -g 'daemon off;' &
NGINX_PID=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done

# Wall, user and system seconds of one command.
# (time puts a note before the figures when the command fails, so take the last line)
measure() { /usr/bin/time -f "%e %U %S" -o "$T/time" "$@" >/dev/null 2>&1 || true; tail -n 1 "$T/time"; }
median() { sort -n | awk '{a[NR]=$0} END {print a[int((NR+1)/2)]}'; }
col() { local n=$1; shift; printf '%s\n' "$@" | awk -v n="$n" '{print $n}'; }

cat "$T/www/big.bin" > /dev/null  # page cache warm for both
for scheme in http https; do
  if [ "$scheme" = http ]; then
    URL="http://127.0.0.1:$PORT/big.bin"; target="1.25"; curl_ca=()
  else
    URL="https://127.0.0.1:$TLS_PORT/big.bin"; target="1.10"; curl_ca=(--cacert "$T/ca.pem")
  fi
  ours=(); theirs=()
  for i in $(seq "$RUNS"); do
    ours+=("$(measure env SSL_CERT_FILE="$T/ca.pem" "$CLI" fetch --quiet -o /dev/null "$URL")")
    theirs+=("$(measure curl -s "${curl_ca[@]}" -o /dev/null "$URL")")
  done
  ow=$(col 1 "${ours[@]}" | median); ou=$(col 2 "${ours[@]}" | median); os=$(col 3 "${ours[@]}" | median)
  tw=$(col 1 "${theirs[@]}" | median); tu=$(col 2 "${theirs[@]}" | median); ts=$(col 3 "${theirs[@]}" | median)
  echo "download of ${SIZE_MIB} MiB over $scheme from nginx on loopback, median of $RUNS runs"
  printf '  %-12s wall %6.2f s  user %5.2f s  sys %5.2f s\n' sondrel-cli "$ow" "$ou" "$os"
  printf '  %-12s wall %6.2f s  user %5.2f s  sys %5.2f s\n' curl "$tw" "$tu" "$ts"
  awk -v a="$ow" -v b="$tw" -v t="$target" 'BEGIN { printf "  wall-time ratio ours/curl: %.2f (target <= %s)\n", a / b, t }'
done
rm -f "$T/www/big.bin"

# A server that accepts and never answers.
SILENT_PORT=$(free_port)
"$PYTHON" -c "
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $SILENT_PORT)); s.listen(8)
held = []
while True:
    c, _ = s.accept(); held.append(c)
" &
SILENT_PID=$!
sleep 0.3
echo "waiting on a silent server (timeout 5 s)"
w=$(measure "$CLI" fetch --quiet --timeout 5 "http://127.0.0.1:$SILENT_PORT/")
c=$(measure curl -s -o /dev/null --max-time 5 "http://127.0.0.1:$SILENT_PORT/")
awk -v l="$w" 'BEGIN { split(l, f, " "); printf "  %-12s wall %5.2f s  cpu %5.3f s  (%.2f %% of one core)\n", "sondrel-cli", f[1], f[2] + f[3], 100 * (f[2] + f[3]) / f[1] }'
awk -v l="$c" 'BEGIN { split(l, f, " "); printf "  %-12s wall %5.2f s  cpu %5.3f s  (%.2f %% of one core)\n", "curl", f[1], f[2] + f[3], 100 * (f[2] + f[3]) / f[1] }'
