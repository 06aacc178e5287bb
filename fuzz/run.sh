#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each for SECONDS on its corpus: the
# seeds gathered by fuzz/gather-seeds.sh plus whatever earlier runs kept in
# build-fuzz/corpus/<target>. Exits non-zero when a target finds a crash, a
# leak, a timeout or a sanitizer report; the input is left in
# build-fuzz/artifacts/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]   (default 60 seconds, all targets)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_book fuzz_lzx fuzz_sitemap fuzz_fulltext fuzz_textindex)
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_FUZZ=ON -DTESSALY_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" tessaly-cli -j "$(nproc)"
fuzz/gather-seeds.sh "$build/tessaly-cli" "$build/seeds"

declare -A maxLen=([fuzz_book]=65536 [fuzz_lzx]=65536 [fuzz_sitemap]=16384 [fuzz_fulltext]=65536 [fuzz_textindex]=131072)
declare -A dict=([fuzz_book]=fuzz/book.dict [fuzz_sitemap]=fuzz/sitemap.dict)
failed=()
for target in "${targets[@]}"; do
  kind=${target#fuzz_}
  corpus="$build/corpus/$kind"
  mkdir -p "$corpus" "$build/artifacts"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len="${maxLen[$target]}"
           -artifact_prefix="$build/artifacts/$kind-" -print_final_stats=1)
  [ -n "${dict[$target]:-}" ] && options+=(-dict="${dict[$target]}")
  echo "== $target: $seconds s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$build/$target" "${options[@]}" "$corpus" "$build/seeds/$kind" >"$build/$kind.log" 2>&1; then
    failed+=("$target")
    tail -n 60 "$build/$kind.log"
  fi
  grep -E "^stat::number_of_executed_units|^Done|^#[0-9]+.*DONE" "$build/$kind.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi
echo "fuzzing: no faults"
