#!/usr/bin/env bash
# What building a book's page-text index costs against writing its page text
# (`text --jsonl` to /dev/null, the decoding and text extraction alone), on
# the two largest corpus books and on a generated book of many pages compiled with
# chmcmd: the median of several runs of each, side by side, and their ratio.
# The goal: the index build at most 1.5 times the text.
# Usage: bench/text_index_cost.sh CLI [RUNS] [PAGES]
set -euo pipefail
cli=$(realpath "$1")
runs=${2:-5}
pages=${3:-4000}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${TESSALY_CORPUS:-$root/../shared/corpus/files}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A generated book: $pages pages of seeded pseudo-words, linked from a start page.
generated() {
  local dir=$scratch/generated
  mkdir -p "$dir/pages"
  python3 - "$dir" "$pages" <<'PY'
import random, sys
dir, pages = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
syllables = ["ka", "lo", "mi", "ne", "ru", "sa", "to", "vi", "zu", "pe", "qua", "ri"]
words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(5000)]
with open(f"{dir}/index.htm", "w") as start, open(f"{dir}/book.hhp", "w") as project:
    project.write("[OPTIONS]\nCompiled file=book.chm\nDefault topic=index.htm\nTitle=Generated\n\n[FILES]\nindex.htm\n")
    start.write("<html><head><title>Start</title></head><body>\n")
    for p in range(pages):
        name = f"pages/p{p:06d}.htm"
        body = " ".join(rng.choice(words) for _ in range(rng.randint(100, 600)))
        with open(f"{dir}/{name}", "w") as page:
            page.write(f"<html><head><title>Page {p}</title></head><body><h1>{words[p % 5000]}</h1><p>{body}</p></body></html>\n")
        start.write(f'<a href="{name}">{p}</a>\n')
        project.write(name + "\n")
    start.write("</body></html>\n")
PY
  (cd "$dir" && chmcmd book.hhp >/dev/null 2>&1)
  echo "$dir/book.chm"
}

# Median wall time in milliseconds of running "$@" $runs times (after one
# run that warms the file cache); BEFORE_EACH is run untimed before each.
median_ms() {
  local times=()
  "$@" >/dev/null 2>&1 || true
  for ((i = 0; i < runs; i++)); do
    eval "$BEFORE_EACH"
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

books=()
# The two largest corpus books: one mostly pictures, one mostly pages.
while IFS= read -r book; do books+=("$book"); done < <(ls -S "$corpus"/*.chm 2>/dev/null | head -2)
command -v chmcmd >/dev/null && books+=("$(generated)")
printf '%-50s %10s %10s %7s\n' book text_ms index_ms ratio
for book in "${books[@]}"; do
  export XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache
  BEFORE_EACH=: text=$(median_ms "$cli" text --jsonl "$book")
  BEFORE_EACH='rm -rf "$XDG_DATA_HOME"' index=$(median_ms "$cli" search --text "$book" zzzz)
  printf '%-50s %10d %10d %7.2f\n' "$(basename "$book")" "$text" "$index" "$(echo "$index / $text" | bc -l)"
done
