#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format
# says, and prints clang-format's first complaints. `clang-format -i <file>`
# mends a file.
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  list() { git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc'; }
else
  list() { find platform src tools tests bench skin -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc'; }
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
list | while IFS= read -r f; do [ -f "$f" ] && printf '%s\0' "$f"; done |
  xargs -0 -r clang-format --dry-run --Werror 2>"$report" || true
if [ -s "$report" ]; then
  sed -n '1,40p' "$report"
  echo "format: $(grep -c 'error:' "$report") place(s) differ from .clang-format (clang-format -i <file> mends them)"
  exit 1
fi
