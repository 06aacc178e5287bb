#!/usr/bin/env bash
# Builds Tessaly the ways it is built and runs every test (this is what CI
# runs, on a clean clone):
#  1. the README's install build, verbatim, with GCC: what users and
#     packagers build (warnings stay warnings); its tests, including the
#     install and the Debian package, which must carry no test verbs;
#  2. a test build with clang, warnings as errors, the reader's test verbs
#     and the benchmarks (built, not run, so that none rots): every test,
#     with the end-to-end tests of the reader window (real readers with
#     WebKit under a private Xvfb);
#  3. GCC with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
#     errors (no e2e: WebKit's helper processes and the sanitizers do not
#     mix);
#  4. the tests that read one book from several threads, under
#     ThreadSanitizer;
#  5. each fuzz target for a minute on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs

step() { printf '\n=== %s\n' "$*"; }

step "release build (the README's command, GCC)"
CXX=g++ CC=gcc bash -c 'cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build'
# epubcheck over the corpus and the layer check take minutes and check what
# the test build checks again below.
ctest --test-dir build --output-on-failure -j "$jobs" -E 'EveryCorpusBookPassesEpubcheck|^Layers\.'

step "test build (clang, warnings as errors, test verbs, end-to-end tests)"
cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSALY_WERROR=ON -DTESSALY_TEST_HOOKS=ON -DTESSALY_BENCH=ON
cmake --build build-clang
ctest --test-dir build-clang --output-on-failure -j "$jobs"

step "sanitizer build (GCC, AddressSanitizer and UndefinedBehaviorSanitizer)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
  -DTESSALY_SANITIZE=ON -DTESSALY_WERROR=ON
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE e2e

# One book read from several threads, the book's own tests, the reader on its
# own threads (opening, pages, searches), and the tool working on several
# books at once and writing beside its decoding, under ThreadSanitizer.
step "thread sanitizer build (reading a book from several threads)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TSAN=ON
cmake --build build-tsan --target tessaly_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -R '(^|/)(Concurrency|BookOpen|CompiledBook|CompressedRead[A-Za-z]*|Container[A-Za-z]*|DirectRead|Dump|Lookup|SectionList|StoredObjects|CliText|ThreadWorkersTest|ThreadedReaderTest)\.|^Cli(Objects)?\.Extract|^HostileBooks\.Extract'

# Each fuzz target for about a minute on its seeds, under the sanitizers, so
# that a reader that lost a check shows here (fuzz/run.sh fails on a finding).
step "fuzz targets"
fuzz/run.sh "${TESSALY_FUZZ_SECONDS:-60}"
