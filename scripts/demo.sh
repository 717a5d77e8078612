#!/usr/bin/env bash
# Runs the client against the local demo store.
#
# Installs what is missing, builds the client and the store, starts the store
# in the background with its own data folder ($VANTO_DEMO_DIR, default
# ~/.local/share/vanto-demo), and runs `vanto` pointed at it. Unless
# VANTO_DEMO_REAL_HOME=1, the client runs in a sandboxed home inside the data
# folder (its settings, registry hives and instance sockets), so the demo never
# touches the real ones nor hands over to a client you already run; the
# session's runtime folder (display, bus, notifications) stays the real one.
# Before the first start it runs the installer-side step (`vanto /makemachine`
# and the installed version, as the package's post-install step does).
#
# On a desktop (DISPLAY or WAYLAND_DISPLAY set) the client's windows appear;
# Ctrl-C ends the client the way closing its window does. Arguments of the
# script go to vanto (`scripts/demo.sh /uninstall` sends the uninstall report).
# Without a display the script walks the whole journey by itself under
# xvfb-run (start, login, download, open, delete, update, toolbox, logout,
# close) and saves a screenshot of each step in $VANTO_DEMO_DIR/screenshots.
# Either way it then shows the client's run log and what the store saw, and
# stops the store.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# VANTO_DEMO_PRESET picks another build (debug, say); release by default.
preset="${VANTO_DEMO_PRESET:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j 2 --target vanto vanto-crashbox wke_webkitgtk demo-store langpack language_files vanto-reg \
  notification-server >/dev/null

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
  export VANTO_RUNTIME_DIR="$home/runtime"
  where="a sandboxed home ($home)"
  # The installer-side step, as the package's post-install step runs it: the
  # machine code and installation id, and the installed version in the
  # machine hive (without it every server version would count as newer).
  version="$(sed -n 's/^project(vanto VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
  (cd "$home" && "$bin/vanto" /makemachine)
  "$bin/vanto-reg" set HKLM 'Software\vanto' Version REG_SZ "$version" >/dev/null
  code="$("$bin/vanto-reg" query HKLM 'Software\vanto' uid | awk '$1 == "uid" { print $3 }')"
  installed="installed: machine code $code, version $version"
else
  home="$HOME"
  where="your own home"
  installed="no installer-side step (your own home; the package's post-install step makes them)"
fi

# The run log goes to the folder the client is started from.
run="$data/run"
mkdir -p "$run"
rm -f "$run/log.txt"

status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
The demo store is running (data: $data, log: $log).
Starting vanto in $where; $installed.
Run log in $run/log.txt.

Its main window opens on your desktop with the store's pages. Log in with the
mobile number 13800138000 and the code the store prints (also at
http://$VANTO_DEMO_ADMIN/sms), download a template, open it. Press Ctrl-C or
close the window to end it; a second start while it runs only brings the
running one forward.
MSG
  # Ctrl-C reaches vanto, which closes its main window and tears down; the
  # script itself only waits for it and then goes on.
  trap ':' INT
  (cd "$run" && exec "$bin/vanto" "$@") || status=$?
  trap - INT
else
  shots="$data/screenshots"
  rm -rf "$shots"
  mkdir -p "$shots"
  cat <<MSG
The demo store is running (data: $data, log: $log).
No display: walking the whole journey with vanto on a private X server
($where; $installed).
MSG
  xvfb-run -a -s "-screen 0 1600x900x24 -nolisten tcp" \
    python3 tests/journey/journey.py --bin "$bin" --store-env "$data/ports.env" --home "$home" \
    --run-dir "$run" --artefacts "$shots" || status=$?
  echo
  echo "Screenshots of each step: $shots"
  ls "$shots" | sed 's/^/    /'
fi
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
