#!/usr/bin/env bash
# Builds the client's pieces and starts the local demo store, which stands in
# for every server the client talks to.
#
# The client executable itself arrives with the start-up work; until then this
# script starts the store alone, prints the environment that points a client
# (or curl) at it, shows a short tour of what it serves, and keeps the store
# running until Ctrl-C. Its data folder is $VANTO_DEMO_DIR (default
# ~/.local/share/vanto-demo), so a demo never touches the client's real settings.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target demo-store langpack language_files vanto-reg >/dev/null

data="${VANTO_DEMO_DIR:-$HOME/.local/share/vanto-demo}"
mkdir -p "$data"
log="$data/store.log"
build/release/bin/demo-store --data "$data" >"$log" 2>&1 &
store=$!
trap 'kill "$store" 2>/dev/null; wait "$store" 2>/dev/null || true' EXIT INT TERM

for _ in $(seq 1 100); do
  [ -f "$data/ports.env" ] && break
  if ! kill -0 "$store" 2>/dev/null; then
    echo "demo: the store did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done
[ -f "$data/ports.env" ] || { echo "demo: the store did not become ready" >&2; exit 1; }

set -a
# shellcheck disable=SC1091
. "$data/ports.env"
set +a

cat <<MSG
The demo store is running (data: $data, log: $log).
Point a client at it with:

$(sed 's/^/  export /' "$data/ports.env")

A short tour:
MSG
echo "  help page over HTTPS with the store's CA:"
curl -s --cacert "$VANTO_CA_FILE" "https://$VANTO_STORE_HOST/help/8.html" | head -c 200 | sed 's/^/    /'
echo
echo "  language texts built for the client (langpack dump):"
build/release/bin/langpack dump build/release/bin/language/cn.dat | head -5 | sed 's/^/    /'
echo
echo "The client window itself comes with the start-up work. Ctrl-C stops the store."
wait "$store"
