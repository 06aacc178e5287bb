#!/usr/bin/env bash
# Builds Tessaly twice (optimised, then with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds; then the
# tests of reading a book from several threads under ThreadSanitizer. The
# end-to-end tests of the reader window (label e2e: real readers with WebKit
# under a private Xvfb) run in the optimised build only; WebKit's helper
# processes and the sanitizers do not mix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE e2e

# One book read from several threads, and the book's own tests, under
# ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TSAN=ON
cmake --build build-tsan -j "$jobs" --target tessaly_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -R '(^|/)(Concurrency|BookOpen|CompiledBook|CompressedRead[A-Za-z]*|Container[A-Za-z]*|DirectRead|Dump|Lookup|SectionList|StoredObjects)\.'

# Each fuzz target for about a minute on its seeds, under the sanitizers, so
# that a reader that lost a check shows here (fuzz/run.sh fails on a finding).
fuzz/run.sh "${TESSALY_FUZZ_SECONDS:-60}"
