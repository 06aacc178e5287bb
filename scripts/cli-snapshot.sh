#!/usr/bin/env bash
# Records what tessaly-cli prints for every test book, the reader's manual and
# every corpus book (when the corpus folder is there): one file per book and
# command, holding standard output (binary output as its SHA-256), standard
# error and the exit status. Two snapshots, made by two builds, compare with
#   diff -r OLD NEW
# which is how a refactoring shows that nothing observable changed.
#
# Usage: scripts/cli-snapshot.sh OUTDIR [TESSALY-CLI] [CORPUS-DIR]
#   TESSALY-CLI  defaults to build/tessaly-cli
#   CORPUS-DIR   defaults to $TESSALY_CORPUS, else ../shared/corpus beside the
#                repository; its .chm files may lie in a files/ subfolder
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 OUTDIR [TESSALY-CLI] [CORPUS-DIR]" >&2
  exit 2
fi
out=$1
cli=$(realpath "${2:-$root/build/tessaly-cli}")
corpus=${3:-${TESSALY_CORPUS:-$root/../shared/corpus}}
[ -x "$cli" ] || { echo "$0: no tessaly-cli at $cli" >&2; exit 2; }

mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Words searched in every book: common ones, one in capitals, one of no book.
words=(the The help function index zzqxv)

# The scratch folder's name varies between runs; snapshots show <DIR>.
hide_scratch() { sed "s|$scratch|<DIR>|g"; }

# run FILE ARGS...: the command's output, its errors and its status.
run() {
  local file=$1
  shift
  "$cli" "$@" >"$scratch/stdout" 2>"$scratch/stderr"
  local status=$?
  {
    hide_scratch <"$scratch/stdout"
    echo "--- stderr"
    hide_scratch <"$scratch/stderr"
    echo "--- exit $status"
  } >"$file"
}

# run_binary FILE ARGS...: the same with standard output as size and digest.
run_binary() {
  local file=$1
  shift
  "$cli" "$@" >"$scratch/stdout" 2>"$scratch/stderr"
  local status=$?
  {
    echo "$(wc -c <"$scratch/stdout") bytes, sha256 $(sha256sum <"$scratch/stdout" | cut -d' ' -f1)"
    echo "--- stderr"
    hide_scratch <"$scratch/stderr"
    echo "--- exit $status"
  } >"$file"
}

# The files a command wrote into a folder, each with its digest.
list_folder() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

snapshot_book() {
  local book=$1 name=$2
  local dir="$out/$name"
  mkdir -p "$dir"

  run "$dir/ls" ls "$book"
  run "$dir/dump" dump "$book"
  local command
  for command in info toc topics index; do
    run "$dir/$command" "$command" "$book"
    run "$dir/$command.json" "$command" --json "$book"
  done
  local word
  for word in "${words[@]}"; do
    run "$dir/search-$word" search "$book" "$word"
    run "$dir/search-$word.json" search --json "$book" "$word"
  done

  # cat: the system objects, the first few names of the directory, and a
  # name the book does not hold.
  local objects=("#SYSTEM" "#STRINGS" "/#WINDOWS" "missing.htm")
  local line n=0
  while IFS=$'\t' read -r _ _ _ line; do
    [ -n "$line" ] || continue
    case "$line" in */) continue ;; esac
    objects+=("$line")
    n=$((n + 1))
    [ $n -ge 6 ] && break
  done < <("$cli" ls "$book" 2>/dev/null | grep -av '^[0-9]*	[0-9]*	[0-9]*	::')
  local i=0 object
  for object in "${objects[@]}"; do
    run_binary "$dir/cat-$i" cat "$book" "$object"
    sed -i "1i object: $object" "$dir/cat-$i"
    i=$((i + 1))
  done

  # extract: every file written, with its digest.
  rm -rf "$scratch/extract"
  run "$dir/extract" extract "$book" "$scratch/extract"
  if [ -d "$scratch/extract" ]; then
    list_folder "$scratch/extract" >>"$dir/extract"
  fi

  # page: the default topic and a page the book does not hold, with every
  # file the page needed.
  local topic
  topic=$("$cli" info "$book" 2>/dev/null | sed -n 's/^default topic: //p')
  local page=0 path
  for path in "${topic:-index.htm}" "no/such/page.htm"; do
    rm -rf "$scratch/page"
    run "$dir/page-$page" page "$book" "$path" "$scratch/page"
    sed -i "1i path: $path" "$dir/page-$page"
    if [ -d "$scratch/page" ]; then
      list_folder "$scratch/page" >>"$dir/page-$page"
    fi
    page=$((page + 1))
  done
}

books=()
for book in "$root"/tests/books/*/*.chm "$root"/help/*.chm; do
  [ -f "$book" ] && books+=("$book")
done
if [ -d "$corpus" ]; then
  while IFS= read -r -d '' book; do books+=("$book"); done \
    < <(find "$corpus" -name '*.chm' -type f -print0 | sort -z)
else
  echo "$0: no corpus at $corpus; test books only" >&2
fi

for book in "${books[@]}"; do
  snapshot_book "$book" "$(basename "$book" .chm)"
done
echo "${#books[@]} books recorded in $out"
