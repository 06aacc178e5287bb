#!/usr/bin/env bash
# Measures how tessaly-cli's steps grow with the size of a book: books of
# 2,000, 8,000, 32,000 and 128,000 pages are generated (bench/big_book.py)
# and compiled with chmcmd (package fp-utils) once, into a cache folder kept
# between runs (generating is not timed). For each book it times open
# (info), the contents (toc), the topics, the keyword index (index), the
# page text (text --jsonl), the page-text index build (the first search
# --text, with empty cache and data folders), a query, and extract, and
# prints each step's wall and processor time and peak memory, and the ratio
# of its processor time to that of the same step of the book before it in
# the list (4 times smaller by default; goal: at most 4.5).
#
#   bench/big_books.sh [-t TESSALY_CLI] [PAGES...]     (default: 2000 8000 32000 128000)
#
# The cache folder is $TESSALY_BIG_BOOKS, else ~/.cache/tessaly-big-books.
# Steps of less than a second of processor time are run three times and the
# cheapest is kept.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli="$here/../build/tessaly-cli"
if [ "${1:-}" = "-t" ]; then cli=$2; shift 2; fi
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(2000 8000 32000 128000)
cache=${TESSALY_BIG_BOOKS:-$HOME/.cache/tessaly-big-books}
for tool in chmcmd python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool not found (apt-get install fp-utils python3 time)" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "no tessaly-cli at $cli (build it, or name it with -t)" >&2; exit 1; }

book_of() {  # the compiled book of $1 pages, built when missing
  local dir="$cache/$1"
  if [ ! -s "$dir/big.chm" ]; then
    echo "generating the book of $1 pages in $dir (not timed)..." >&2
    rm -rf "$dir" && mkdir -p "$dir"
    python3 "$here/big_book.py" "$1" "$dir"
    (cd "$dir" && chmcmd big.hhp >chmcmd.log 2>&1) || { echo "chmcmd failed: $dir/chmcmd.log" >&2; exit 1; }
  fi
  echo "$dir/big.chm"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# measure COMMAND...: prints "wall-seconds cpu-seconds peak-KiB" of the run
# that took the least processor time (user and system: on a shared machine
# the wall time of a short step is mostly waiting).
measure() {
  local best="" runs=1 i wall cpu kib
  for ((i = 0; i < runs; i++)); do
    [ "${prepare:-}" ] && eval "$prepare"
    /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$@" >"$scratch/out" 2>"$scratch/err" ||
      { echo "failed: $* ($(head -c 300 "$scratch/err"))" >&2; exit 1; }
    read -r wall cpu kib <<<"$(tail -1 "$scratch/time" | awk '{ printf "%s %.2f %s", $1, $2 + $3, $4 }')"
    if [ -z "$best" ] || awk -v a="$cpu" -v b="${best#* }" 'BEGIN { exit !(a < b + 0) }'; then best="$wall $cpu $kib"; fi
    if [ $i -eq 0 ] && awk -v s="$cpu" 'BEGIN { exit !(s < 1) }'; then runs=3; fi
  done
  echo "$best"
}

steps=(info toc topics index text index-build query extract)
declare -A result
for pages in "${sizes[@]}"; do
  book=$(book_of "$pages")
  for step in "${steps[@]}"; do
    prepare=""
    case $step in
      text) args=(text --jsonl "$book") ;;
      index-build)
        prepare='rm -rf "$scratch/xdg"; mkdir -p "$scratch/xdg"'
        args=(env XDG_CACHE_HOME="$scratch/xdg" XDG_DATA_HOME="$scratch/xdg" "$cli" search --text "$book" quetzal) ;;
      query) args=(env XDG_CACHE_HOME="$scratch/xdg" XDG_DATA_HOME="$scratch/xdg" "$cli" search --text "$book" "marker quetzal") ;;
      extract)
        prepare='rm -rf "$scratch/extracted"'
        args=(extract "$book" "$scratch/extracted") ;;
      *) args=("$step" "$book") ;;
    esac
    [ "${args[0]}" = env ] || args=("$cli" "${args[@]}")
    result[$step,$pages]=$(measure "${args[@]}")
  done
  rm -rf "$scratch/extracted"
done

printf '%-12s %8s %9s %9s %9s %s\n' step pages "wall s" "cpu s" "peak MB" "cpu ratio to the size before"
for step in "${steps[@]}"; do
  previous=""
  for pages in "${sizes[@]}"; do
    read -r wall cpu kib <<<"${result[$step,$pages]}"
    ratio=""
    if [ -n "$previous" ]; then  # below 0.05 s the clock's 10 ms steps make no ratio
      ratio=$(awk -v a="$cpu" -v b="$previous" 'BEGIN { if (b < 0.05) print "-"; else printf "%.2fx", a / b }')
    fi
    printf '%-12s %8d %9.2f %9.2f %9.1f %s\n' "$step" "$pages" "$wall" "$cpu" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$ratio"
    previous=$cpu
  done
done
