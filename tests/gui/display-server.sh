# Sourced by with-xvfb.sh and with-weston.sh: what starting a private display
# server for one command has in common.
#
#   display_server_start <name> <ready-test...> -- <server command...>
#
# makes the work folder $work (0700, removed at exit), starts the server in
# the background with its output in $work/server.log, waits up to 10 s for
# <ready-test> to succeed and leaves the server's pid in $server. The server
# ends with the script, also when the script is killed without its trap (a
# test timeout): an orphaned server would keep the script's inherited files
# open. A server that dies or never becomes ready ends the script with its log.

work=$(mktemp -d "${TMPDIR:-/tmp}/vanto-display.XXXXXX")
chmod 0700 "$work"
server=""
display_server_cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap display_server_cleanup EXIT

display_server_start() {
  local name=$1
  shift
  local ready=()
  while [ "$1" != "--" ]; do
    ready+=("$1")
    shift
  done
  shift
  setpriv --pdeathsig TERM "$@" >"$work/server.log" 2>&1 &
  server=$!
  for _ in $(seq 1 200); do
    "${ready[@]}" && return 0
    if ! kill -0 "$server" 2>/dev/null; then
      echo "$name did not start:" >&2
      cat "$work/server.log" >&2
      exit 1
    fi
    sleep 0.05
  done
  echo "$name did not become ready" >&2
  cat "$work/server.log" >&2
  exit 1
}

# What every window test runs with besides its display.
display_server_export_test_environment() {
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  export VANTO_BACKEND=gtk
  export NO_AT_BRIDGE=1
  # The toolkit's settings stay in memory (no session bus to store them).
  export GSETTINGS_BACKEND=memory
  # The toolkit's process-long caches are no leaks of ours.
  export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
  export TSAN_OPTIONS="suppressions=$here/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
}
