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
. "$(dirname "$0")/display-server.sh"

display_server_start "with-xvfb: Xvfb" test -s "$work/display" -- \
  sh -c 'exec Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$1"' xvfb "$work/display"

export DISPLAY=":$(head -n1 "$work/display")"
display_server_export_test_environment
unset WAYLAND_DISPLAY
"$@"
