#!/usr/bin/env bash
# Measures the reader window on the largest corpus book, under a private
# Xvfb through the end-to-end harness, seven runs each, medians:
#  - launch to the first page on screen, against launching without a book;
#  - a contents entry tapped to its page shown, against a Refresh of the
#    page on screen.
# The longest gap between frames while that book opens is checked by the
# end-to-end test ReaderDesktop.TheWindowDrawsAndAnswersWhileTheLargestBookOpens.
#
#   bench/window_bench.sh [BUILD_FOLDER]   (a build with -DTESSALY_TEST_HOOKS=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target tessaly tessaly_e2e
TESSALY_WINDOW_BENCH=1 "$build/tests/e2e/tessaly_e2e" \
  --gtest_filter='ReaderDesktop.BenchFirstPageAndContentsSwitch:ReaderDesktop.TheWindowDrawsAndAnswersWhileTheLargestBookOpens' |
  grep -E '^\[ (bench|frames) \]|OK|FAILED|SKIPPED'
