#!/usr/bin/env bash
# Builds and runs every test: the source checks (layering, formatting), the
# debug build (AddressSanitizer and UndefinedBehaviorSanitizer) runs all
# tests but the window suites' second run on the display, the ThreadSanitizer build runs the tests of
# threaded code, the release build runs the window suites on the GTK back end
# under Xvfb and a headless Wayland compositor (ctest label "gui") and builds and checks the Debian package
# (label "packaging"). Exits non-zero on any failure.
#
#   scripts/test.sh                 everything
#   scripts/test.sh -R Registry     only tests whose name matches (debug build)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

jobs=$(nproc)
status=0

# CMake's target graph lets the layering check compare what each library
# links with what it includes.
cmake --preset debug --graphviz=build/debug/graph/deps.dot >/dev/null
if [ $# -eq 0 ]; then
  scripts/check_layering.py --cmake-graph build/debug/graph/deps.dot || status=1
  scripts/check_format.sh || status=1
fi

cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs" -E '^gui(-wayland)?\.' "$@" || status=1

if [ $# -eq 0 ]; then
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs" --target threaded_tests
  ctest --preset tsan -j "$jobs" || status=1

  # The windows on a display: each gui entry runs its program under a
  # private Xvfb (tests/gui/with-xvfb.sh), each gui-wayland entry under a
  # private headless Wayland compositor (tests/gui/with-weston.sh).
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$jobs" --target gui_tests packaging_test
  ctest --preset release -j "$jobs" -L gui -R '^gui(-wayland)?\.' || status=1
  # The Debian package built from this build, unpacked, checked and run.
  ctest --preset release -j "$jobs" -L packaging || status=1
fi

exit $status
