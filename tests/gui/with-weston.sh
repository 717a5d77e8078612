#!/usr/bin/env bash
# Runs a command against a private headless Wayland compositor (weston) with
# the GTK back end, as with-xvfb.sh does on X11:
#
#   tests/gui/with-weston.sh <program> [arguments...]
#
# The compositor gets the private work folder (0700, as Wayland wants) as its
# runtime folder, so its socket never meets another run's or the user's
# session; it ends with the command. Its output is larger than any test
# screen. `--debug` lets weston-screenshooter grab it.
set -uo pipefail
. "$(dirname "$0")/display-server.sh"

socket="wayland-vanto-$$"
# No animations: a closed window's fade would otherwise linger in the next
# screenshot as a ghost.
printf '[shell]\nclose-animation=none\nstartup-animation=none\nfocus-animation=none\n' >"$work/weston.ini"
# weston loads its shell before it listens.
XDG_RUNTIME_DIR="$work" display_server_start "with-weston: weston" test -S "$work/$socket" -- \
  weston --backend=headless-backend.so --socket="$socket" --width=2560 --height=1600 --use-pixman \
  --config="$work/weston.ini" --idle-time=0 --debug

export XDG_RUNTIME_DIR="$work"
# An absolute path: the tests' sandboxes give each test a runtime folder of
# its own, where a bare socket name would no longer be found.
export WAYLAND_DISPLAY="$work/$socket"
display_server_export_test_environment
unset DISPLAY
"$@"
