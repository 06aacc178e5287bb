#!/usr/bin/env bash
# Builds Tessaly and opens a book in the reader window: the one given, or the
# reader's own manual, which ships with the project.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target tessaly
book=${1:-$root/help/tessaly.chm}
exec "$root/build/tessaly" "$book"
