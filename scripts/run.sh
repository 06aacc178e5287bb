#!/usr/bin/env bash
# Builds Tessaly and opens a book: the one given, or the test book that ships
# with the project. Until the reader window exists this runs the
# command-line tool on the book.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target tessaly-cli
book=${1:-$root/tests/books/basic/basic.chm}
"$root/build/tessaly-cli" ls "$book"
