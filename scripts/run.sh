#!/usr/bin/env bash
# Starts the pricing service (live or synthetic prices) unless something already answers on
# its port, then the app.
# A service started here is stopped when the app ends.
set -euo pipefail
build=${1:-build/dev}
source=${2:-live}
port=47190
log="$build/mintlux-pricing.log"

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

if ! listening; then
  "$build/server/mintlux-pricing" --listen "127.0.0.1:$port" --source "$source" >>"$log" 2>&1 &
  service=$!
  trap 'kill "$service" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    listening && break
    kill -0 "$service" 2>/dev/null || { echo "The pricing service did not start:"; tail -n 20 "$log"; exit 1; }
    sleep 0.1
  done
  echo "Pricing service on 127.0.0.1:$port; its log, with any upstream failures: $log"
  if [ "$source" = live ]; then
    echo "No internet? Demo prices instead: make run SOURCE=synthetic"
  fi
fi
"$build/Mintlux/mintlux"
