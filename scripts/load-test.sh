#!/usr/bin/env bash
# Load figures for the pricing service: starts it in synthetic mode on a spare loopback port with
# a throw-away database, then runs wrk against /v1/prices and a 730-point /v1/history.
#   scripts/load-test.sh [path/to/mintlux-pricing]   (default: the release build)
# Environment: THREADS (2), CONNECTIONS (50), DURATION (10s).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-"$root/build/release/server/mintlux-pricing"}
threads=${THREADS:-2}
connections=${CONNECTIONS:-50}
duration=${DURATION:-10s}

if [ ! -x "$binary" ]; then
  echo "No service binary at $binary; build it first:" >&2
  echo "  cmake --preset release && cmake --build --preset release --target mintlux-pricing" >&2
  exit 1
fi
command -v wrk >/dev/null || { echo "wrk is missing: run scripts/install-deps.sh" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Port 0: the kernel picks a free port, and the service logs which.
"$binary" --source synthetic --db "$work/pricing.sqlite" --listen 127.0.0.1:0 2>"$work/log" &
pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/log")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The service did not start:" >&2
  cat "$work/log" >&2
  exit 1
fi
base="http://127.0.0.1:$port"
for _ in $(seq 50); do
  curl -sf "$base/v1/prices?currency=USD" >/dev/null 2>&1 && break
  sleep 0.1
done

points=$(curl -s "$base/v1/history?series=XAU&range=All&currency=USD&unit=gram" | grep -o '"t":' | wc -l)
echo "== /v1/prices ($threads threads, $connections connections, $duration)"
wrk -t"$threads" -c"$connections" -d"$duration" --latency "$base/v1/prices?currency=USD"
echo
echo "== /v1/history, range All: $points points"
wrk -t"$threads" -c"$connections" -d"$duration" --latency \
  "$base/v1/history?series=XAU&range=All&currency=USD&unit=gram"
