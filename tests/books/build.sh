#!/usr/bin/env bash
# Compiles every test book under tests/books/<name>/<name>.hhp with chmcmd
# (Debian package fp-utils). The .chm files are committed, so that the tests
# run without the compiler; run this after changing a book's sources.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v chmcmd >/dev/null || { echo "chmcmd not found (apt-get install fp-utils)" >&2; exit 1; }
for generator in "$here"/*/generate.sh; do
  [ -x "$generator" ] && "$generator"
done
for project in "$here"/*/*.hhp; do
  dir=$(dirname "$project")
  (cd "$dir" && chmcmd "$(basename "$project")" >/dev/null)
  echo "built $(ls "$dir"/*.chm)"
done
