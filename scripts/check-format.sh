#!/usr/bin/env bash
# Names every source file whose layout differs from .clang-format's; fails
# when there is one. Reformat with: scripts/check-format.sh --fix
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format}
if [ "${1:-}" = "--fix" ]; then
  git ls-files -z '*.cpp' '*.h' | xargs -0 "$format" -i
else
  git ls-files -z '*.cpp' '*.h' | xargs -0 "$format" --dry-run -Werror
fi
