#!/usr/bin/env bash
# Compiles Tessaly's own manual (help/src/*.htm, tessaly.hhp, .hhc, .hhk) into
# help/tessaly.chm with chmcmd (Debian package fp-utils). The .chm is
# committed, so building and installing the reader never needs the compiler:
# run this after changing the sources, and commit both.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v chmcmd >/dev/null 2>&1; then
  echo "help/build.sh: chmcmd not found; install it (apt-get install fp-utils) and run again" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# chmcmd writes its output beside the project file: compile a copy, so that
# the source folder only ever holds sources.
cp -R "$here/src/." "$work/"
(cd "$work" && chmcmd tessaly.hhp >"$work/chmcmd.log" 2>&1) || {
  cat "$work/chmcmd.log" >&2
  echo "help/build.sh: chmcmd failed" >&2
  exit 1
}
if [ ! -s "$work/tessaly.chm" ]; then
  cat "$work/chmcmd.log" >&2
  echo "help/build.sh: chmcmd wrote no tessaly.chm" >&2
  exit 1
fi
# chmcmd checks the links between pages but still writes the book: a link
# to a missing page or anchor fails the build here, and the committed book
# stays as it was. Warnings are shown.
grep -i -E '^(warning|hint)' "$work/chmcmd.log" >&2 || true
if grep -i -q -E '^error' "$work/chmcmd.log"; then
  grep -i -E '^error' "$work/chmcmd.log" >&2
  echo "help/build.sh: chmcmd reported errors; help/tessaly.chm left unchanged" >&2
  exit 1
fi
mv "$work/tessaly.chm" "$here/tessaly.chm"
echo "built $here/tessaly.chm"
