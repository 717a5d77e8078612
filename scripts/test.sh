#!/usr/bin/env bash
# Builds and runs every test: the debug build (AddressSanitizer and
# UndefinedBehaviorSanitizer) runs all of them, the ThreadSanitizer build runs
# the tests of threaded code. Exits non-zero on any failure.
#
#   scripts/test.sh                 everything
#   scripts/test.sh -R Registry     only tests whose name matches (debug build)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

jobs=$(nproc)
status=0

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs" "$@" || status=1

if [ $# -eq 0 ]; then
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  ctest --preset tsan -j "$jobs" || status=1
fi

exit $status
