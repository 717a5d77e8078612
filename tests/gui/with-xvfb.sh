#!/usr/bin/env bash
# Runs a command against a private Xvfb screen with the GTK back end:
#
#   tests/gui/with-xvfb.sh <program> [arguments...]
#
# The server picks a free display itself (-displayfd), so parallel runs and
# other users' servers on the machine never collide; it ends with the
# command. The screen is larger than any test screen, so the pointer can
# wait in a corner where no window lies.
set -uo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/vanto-xvfb.XXXXXX")
cleanup() {
  if [ -n "${server:-}" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server also ends when this script is killed without its trap (a test
# timeout): an orphaned server would keep the script's inherited files open.
setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.log" &
server=$!
for _ in $(seq 1 200); do
  [ -s "$work/display" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    echo "with-xvfb: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "with-xvfb: Xvfb did not report its display" >&2
  exit 1
fi

export DISPLAY=":$(head -n1 "$work/display")"
export VANTO_BACKEND=gtk
export NO_AT_BRIDGE=1
# The toolkit's settings stay in memory (no session bus to store them).
export GSETTINGS_BACKEND=memory
# The toolkit's process-long caches are no leaks of ours.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export TSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
unset WAYLAND_DISPLAY
"$@"
