#!/usr/bin/env bash
# Measures the reader window on the largest corpus book, under a private
# Xvfb through the end-to-end harness, seven runs each, medians, side by
# side in one run:
#  - launch to the first page on screen, against bench/minimal_view (a
#    minimal WebKitGTK program showing the same page from memory) and
#    against launching without a book;
#  - a contents entry tapped to its page shown, against a Refresh of the
#    page on screen.
# The longest gap between frames while that book opens is checked by the
# end-to-end test ReaderDesktop.TheWindowDrawsAndAnswersWhileTheLargestBookOpens.
#
# Each run also reports the memory of the reader and its web processes with
# the first page shown. Then ten corpus books (the largest with an HTML first
# page) are opened in tabs of one reader: its resident memory (web processes
# aside), anonymous and mapped from files, and the tabs switched round three
# times: each switch to the window's next paint, and to the page settled.
#
#   bench/window_bench.sh [BUILD_FOLDER [BOOK...]]   (a build with -DTESSALY_TEST_HOOKS=ON -DTESSALY_BENCH=ON)
#
# With books named (say the generated books of bench/big_books.sh), each of
# them is measured in turn instead, without the reference program.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target tessaly tessaly-cli tessaly_e2e minimal_view
if [ $# -gt 1 ]; then
  shift
  for book in "$@"; do
    echo "book: $book"
    TESSALY_WINDOW_BENCH=1 TESSALY_BENCH_BOOK="$(realpath "$book")" "$build/tests/e2e/tessaly_e2e" \
      --gtest_filter='ReaderDesktop.BenchFirstPageAndContentsSwitch' | grep -E '^\[ bench \]|OK|FAILED|SKIPPED'
  done
  exit 0
fi
corpus=../shared/corpus
# The largest books whose first page is an HTML page, largest first.
book= page= tabs=()
for name in $(sort -t$'\t' -k3 -n -r "$corpus/MANIFEST.tsv" | cut -f1); do
  topic=$("$build/tessaly-cli" info "$corpus/files/$name" 2>/dev/null | sed -n 's/^default topic: //p')
  [[ $topic =~ \.html?$ ]] || continue
  [[ -n $book ]] || { book=$(realpath "$corpus/files/$name"); page=$topic; }
  tabs+=("$(realpath "$corpus/files/$name")")
  [[ ${#tabs[@]} -lt 10 ]] || break
done
[[ -n $book ]] || { echo "no corpus book with an HTML first page" >&2; exit 1; }
objects=$(mktemp -d)
trap 'rm -rf "$objects"' EXIT
"$build/tessaly-cli" extract "$book" "$objects" >/dev/null
echo "book: $book; first page: $page"
TESSALY_WINDOW_BENCH=1 TESSALY_BENCH_BOOK="$book" TESSALY_BENCH_TABS="$(IFS='|'; echo "${tabs[*]}")" \
TESSALY_BENCH_MINIMAL="$(realpath "$build/minimal_view")|$objects|$page" \
  "$build/tests/e2e/tessaly_e2e" \
  --gtest_filter='ReaderDesktop.BenchFirstPageAndContentsSwitch:ReaderDesktop.BenchTenTabs:ReaderDesktop.TheWindowDrawsAndAnswersWhileTheLargestBookOpens' |
  grep -E '^\[ (bench|frames) \]|OK|FAILED|SKIPPED'
