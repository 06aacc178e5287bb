#!/usr/bin/env bash
# tessaly-cli extract of a 4,000-page book against tar -xzf of the same
# files, as a user would unpack them otherwise: paired runs (A B A B ...),
# each into a fresh folder that is removed after the pair, outside the
# timing. Prints each run and the medians of A, B and A/B.
#
#   bench/extract_vs_tar.sh TESSALY_CLI [RUNS] [FOLDER]
#
# FOLDER (default: a new one under $TMPDIR) holds the book, the archive and
# the runs; put it on the file system to measure (tmpfs measures the
# programs, a disk the programs and the disk). Needs python3 and chmcmd
# (package fp-utils) to build the book.
set -euo pipefail
cli=$(realpath "$1")
runs=${2:-15}
work=${3:-$(mktemp -d)}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work"

if [ ! -f "$work/book/large.chm" ]; then
  python3 "$here/tests/books/large/generate.py" 4000 "$work/book"
  (cd "$work/book" && chmcmd large.hhp >/dev/null)
fi
book="$work/book/large.chm"
rm -rf "$work/files" && "$cli" extract "$book" "$work/files" 2>/dev/null
tar -czf "$work/files.tgz" -C "$work/files" .
echo "book: $(stat -c %s "$book") bytes, $(find "$work/files" -type f | wc -l) files," \
     "$(du -sb "$work/files" | cut -f1) bytes unpacked; archive $(stat -c %s "$work/files.tgz") bytes"

now() { date +%s%N; }
a=() b=() r=()
for ((i = 1; i <= runs; i++)); do
  t0=$(now); "$cli" extract "$book" "$work/run-a" 2>/dev/null; t1=$(now)
  mkdir "$work/run-b"; tar -xzf "$work/files.tgz" -C "$work/run-b"; t2=$(now)
  rm -rf "$work/run-a" "$work/run-b"; sync
  a+=($(( (t1 - t0) / 1000 ))) b+=($(( (t2 - t1) / 1000 )))
  r+=("$(awk -v x=$(( t1 - t0 )) -v y=$(( t2 - t1 )) 'BEGIN { printf "%.3f", x / y }')")
  echo "run $i: extract ${a[-1]} us, tar ${b[-1]} us, ratio ${r[-1]}"
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "median: extract $(median "${a[@]}") us, tar -xzf $(median "${b[@]}") us, extract/tar $(median "${r[@]}")"
