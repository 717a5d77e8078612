#!/usr/bin/env bash
# Runs the client against the local demo store.
#
# Installs what is missing, builds the client and the store, starts the store
# in the background with its own data folder ($VANTO_DEMO_DIR, default
# ~/.local/share/vanto-demo), and runs `vanto` pointed at it (arguments of
# the script go to vanto: `scripts/demo.sh /uninstall` sends the uninstall
# report). Unless
# VANTO_DEMO_REAL_HOME=1, the client runs in a sandboxed home inside the data
# folder (its settings, registry hives and runtime folder), so the demo never
# touches the real ones. Ctrl-C ends the client the way closing its window
# does; the script then shows the client's run log and what the store saw,
# and stops the store.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# VANTO_DEMO_PRESET picks another build (debug, say); release by default.
preset="${VANTO_DEMO_PRESET:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j 2 --target vanto demo-store langpack language_files vanto-reg >/dev/null

bin="$PWD/build/$preset/bin"
data="${VANTO_DEMO_DIR:-$HOME/.local/share/vanto-demo}"
mkdir -p "$data"
data="$(cd "$data" && pwd)"
log="$data/store.log"
rm -f "$data/ports.env"
# In a session of its own, so that Ctrl-C reaches the client but not the store.
setsid "$bin/demo-store" --data "$data" >"$log" 2>&1 &
store=$!
stop_store() {
  kill "$store" 2>/dev/null || true
  wait "$store" 2>/dev/null || true
}
trap stop_store EXIT

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

if [ "${VANTO_DEMO_REAL_HOME:-0}" != "1" ]; then
  home="$data/home"
  mkdir -p "$home/.config" "$home/machine" "$home/runtime"
  chmod 700 "$home/runtime"
  export HOME="$home" XDG_CONFIG_HOME="$home/.config" VANTO_MACHINE_DIR="$home/machine"
  export XDG_RUNTIME_DIR="$home/runtime"
  where="a sandboxed home ($home)"
else
  where="your own home"
fi

# The run log goes to the folder the client is started from.
run="$data/run"
mkdir -p "$run"
rm -f "$run/log.txt"

cat <<MSG
The demo store is running (data: $data, log: $log).
Starting vanto in $where, run log in $run/log.txt.

The client has no display back end yet: its main window runs headless (no
window appears) until the GTK back end lands. Press Ctrl-C to close it; a
second start while it runs only brings the running one forward.
MSG

# Ctrl-C reaches vanto, which closes its main window and tears down; the
# script itself only waits for it and then goes on.
trap ':' INT
status=0
(cd "$run" && exec "$bin/vanto" "$@") || status=$?
trap - INT

echo
echo "vanto exited with code $status."
echo "Run log ($run/log.txt):"
sed 's/^/    /' "$run/log.txt" 2>/dev/null || echo "    (none)"
echo
echo
echo "What the store saw from the client (requests, then decoded reports):"
summarise='
import json, sys
kind = sys.argv[1]
items = json.load(sys.stdin)
if not items:
    print("    (no %s)" % kind)
for item in items:
    if kind == "requests":
        print("    %s %s %s" % (item.get("service"), item.get("method"), item.get("target")))
    else:
        print("    report %s: %s" % ("accepted" if item.get("accepted") else "refused",
                                     json.dumps(item.get("members"), ensure_ascii=False, sort_keys=True)))
'
curl -s "http://$VANTO_DEMO_ADMIN/requests" | python3 -c "$summarise" requests
curl -s "http://$VANTO_DEMO_ADMIN/reports" | python3 -c "$summarise" reports
