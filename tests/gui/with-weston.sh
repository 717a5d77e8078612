#!/usr/bin/env bash
# Runs a command against a private headless Wayland compositor (weston) with
# the GTK back end, as with-xvfb.sh does on X11:
#
#   tests/gui/with-weston.sh <program> [arguments...]
#
# The compositor gets a runtime folder of its own (0700, as Wayland wants),
# so its socket never meets another run's or the user's session; it ends
# with the command. Its output is larger than any test screen. `--debug`
# lets weston-screenshooter grab it.
set -uo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/vanto-weston.XXXXXX")
chmod 0700 "$work"
cleanup() {
  if [ -n "${server:-}" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

socket="wayland-vanto-$$"
# No animations: a closed window's fade would otherwise linger in the next
# screenshot as a ghost.
printf '[shell]\nclose-animation=none\nstartup-animation=none\nfocus-animation=none\n' >"$work/weston.ini"
# The compositor also ends when this script is killed without its trap (a
# test timeout): an orphaned one would keep the script's inherited files open.
XDG_RUNTIME_DIR="$work" setpriv --pdeathsig TERM weston --backend=headless-backend.so --socket="$socket" \
  --width=2560 --height=1600 --use-pixman --config="$work/weston.ini" --idle-time=0 --debug >"$work/weston.log" 2>&1 &
server=$!
# Up to 10 s for the socket: weston loads its shell before it listens.
for _ in $(seq 1 200); do
  [ -S "$work/$socket" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    echo "with-weston: weston did not start:" >&2
    cat "$work/weston.log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -S "$work/$socket" ]; then
  echo "with-weston: weston did not open its socket" >&2
  cat "$work/weston.log" >&2
  exit 1
fi

export XDG_RUNTIME_DIR="$work"
# An absolute path: the tests' sandboxes give each test a runtime folder of
# its own, where a bare socket name would no longer be found.
export WAYLAND_DISPLAY="$work/$socket"
export VANTO_BACKEND=gtk
export NO_AT_BRIDGE=1
# The toolkit's settings stay in memory (no session bus to store them).
export GSETTINGS_BACKEND=memory
# The toolkit's process-long caches are no leaks of ours.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export TSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
unset DISPLAY
"$@"
