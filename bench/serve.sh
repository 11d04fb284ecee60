#!/usr/bin/env bash
# Serving figures for the pricing service against nginx in the same run: the service straight,
# nginx serving the same bytes from files, and nginx's cache in front of the service (the
# deployment in packaging/nginx/mintlux-pricing.conf), at 50 and 1,500 connections.
#   bench/serve.sh [path/to/mintlux-pricing]   (default: the release build)
# Environment: THREADS (2), DURATION (10s), CONNECTIONS ("50 1500").
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-"$root/build/release/server/mintlux-pricing"}
threads=${THREADS:-2}
duration=${DURATION:-10s}
connections=${CONNECTIONS:-50 1500}
nginx=$(command -v nginx || echo /usr/sbin/nginx)

[ -x "$binary" ] || { echo "No service binary at $binary: cmake --build --preset release --target mintlux-pricing" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is missing: run scripts/install-deps.sh" >&2; exit 1; }
[ -x "$nginx" ] || { echo "nginx is missing: run scripts/install-deps.sh" >&2; exit 1; }
# Each connection is a descriptor in wrk and in the server.
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

"$binary" --source synthetic --db "$work/pricing.sqlite" --listen 127.0.0.1:0 2>"$work/service.log" &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/service.log" >&2; exit 1; }
service="http://127.0.0.1:$port"
prices="/v1/prices?currency=USD"
history="/v1/history?series=XAU&range=1Y&currency=USD&unit=troyOunce"
for _ in $(seq 50); do curl -sf "$service$prices" >/dev/null 2>&1 && break; sleep 0.1; done

# The same bytes as files, for nginx's static serving.
mkdir -p "$work/www" "$work/cache" "$work/tmp"
curl -s "$service$prices" >"$work/www/prices.json"
curl -s "$service$history" >"$work/www/history.json"
gzipped=$(curl -s -H 'Accept-Encoding: gzip' "$service$history" | wc -c)
plain=$(wc -c <"$work/www/history.json")

static_port=$(free_port)
cache_port=$(free_port)
sed -e "s|/var/cache/nginx/mintlux|$work/cache|" -e "s|127.0.0.1:47190|127.0.0.1:$port|" \
  -e "s|listen 80;|listen 127.0.0.1:$cache_port backlog=4096;|" \
  "$root/packaging/nginx/mintlux-pricing.conf" >"$work/deployment.conf"
cat >"$work/nginx.conf" <<EOF
$( [ "$(id -u)" = 0 ] && echo "user root;" )
worker_processes auto;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 8192; }
http {
    access_log off;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:$static_port backlog=4096;
        default_type application/json;
        location = /v1/prices { alias $work/www/prices.json; }
        location = /v1/history { alias $work/www/history.json; }
    }
    include $work/deployment.conf;
}
EOF
"$nginx" -e "$work/error.log" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' &
pids+=($!)
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$static_port$prices" >/dev/null 2>&1 && break; sleep 0.1; done

# The cache filled first: its first misses wait on proxy_cache_lock in half-second steps.
for doc in "$prices" "$history"; do
  curl -s -H 'Accept-Encoding: gzip' "http://127.0.0.1:$cache_port$doc" >/dev/null
done

# "requests/s p99 errors" for one wrk run; further arguments go to wrk.
measure() {
  local c=$1 url=$2
  shift 2
  wrk -t"$threads" -c"$c" -d"$duration" --latency "$@" "$url" >"$work/wrk.out" 2>&1 || true
  local rps p99 errors
  rps=$(awk '/Requests\/sec/ { print $2 }' "$work/wrk.out")
  p99=$(awk '$1 == "99%" { print $2 }' "$work/wrk.out")
  errors=$(awk '/Socket errors/ { print $0 }' "$work/wrk.out")
  errors=${errors:-none}
  [ -z "$(grep 'Non-2xx' "$work/wrk.out")" ] || errors="$errors; $(grep 'Non-2xx' "$work/wrk.out")"
  printf '%10s %9s  %s\n' "$rps" "$p99" "$errors"
}

echo "1Y history: $plain bytes, $gzipped gzip-compressed ($(awk "BEGIN { printf \"%.1f\", $plain / $gzipped }")x)"
for doc in "$prices" "$history"; do
  for c in $connections; do
    echo "== $doc, $c connections, $duration"
    printf '%-22s %10s %9s  %s\n' "" "req/s" "p99" "socket errors"
    printf '%-22s ' "mintlux-pricing"; measure "$c" "$service$doc"
    printf '%-22s ' "nginx, same bytes"; measure "$c" "http://127.0.0.1:$static_port$doc"
    # As the app asks: gzip (without it nginx inflates each answer).
    printf '%-22s ' "nginx cache, gzip"
    measure "$c" "http://127.0.0.1:$cache_port$doc" -H 'Accept-Encoding: gzip'
  done
done
