#!/usr/bin/env bash
# Each layer builds on its own: every header of a layer compiles alone on
# that layer's include path (its own folder and the public headers of the
# layers below it, as src/CMakeLists.txt makes it), and on that path no
# header of a layer it must not use (one above it, or beside it) can be
# found, nor any header that a layer below keeps to itself. A layer that
# another builds on shows it one header, unless it is named OPEN.
#
# Usage: check_layers.sh CXX LAYER-ROOT SYSTEM OPEN LAYER=SEEN,SEEN,... ...
#   LAYER-ROOT  the build tree's folder of per-layer include directories:
#               LAYER holds links to all of the layer's headers as they are
#               named (base/log.h, app/gtk/page_view.h), LAYER.public to
#               those the layers above it may include
#   SYSTEM      folders of other libraries' headers (SQLite, libxml2, GTK),
#               by commas
#   OPEN        the layers that may show several headers, by commas
set -uo pipefail
cxx=$1 root=$2 system=$3 open=",$4,"
shift 4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

layers=()
declare -A seen
for arg in "$@"; do
  layer=${arg%%=*}
  layers+=("$layer")
  seen[$layer]=" ${arg#*=} "
  seen[$layer]=${seen[$layer]//,/ }
  {
    echo "-I$root/$layer"
    for dir in ${seen[$layer]}; do
      [ "$dir" != "$layer" ] && echo "-I$root/$dir.public"
    done
    for dir in ${system//,/ }; do echo "-isystem$dir"; done
  } >"$work/$layer.flags"
done

# The headers of a layer as included: all of them, and those it shows.
headers() { (cd "$root/$1" && find . -name '*.h' | sed 's|^\./||' | sort); }
shown() { (cd "$root/$1.public" && find . -name '*.h' | sed 's|^\./||' | sort); }

# One public header for each layer that another builds on.
shows=$(for layer in "${layers[@]}"; do
  [[ $open == *",$layer,"* ]] && continue
  count=$(shown "$layer" | wc -l)
  [ "$count" -le 1 ] && continue
  for other in "${layers[@]}"; do
    if [ "$other" != "$layer" ] && [[ ${seen[$other]} == *" $layer "* ]]; then
      echo "FAIL: layer $layer shows $count headers to $other:" $(shown "$layer")
      break
    fi
  done
done)

# One line per check: what is expected ("ok" or "refused"), the layer, and
# the header included.
for layer in "${layers[@]}"; do
  headers "$layer" | sed "s|^|ok $layer |"
  for other in "${layers[@]}"; do
    [ "$other" = "$layer" ] && continue
    if [[ ${seen[$layer]} == *" $other "* ]]; then
      # One that the layer below keeps to itself.
      first=$(comm -23 <(headers "$other") <(shown "$other") | head -1)
    else
      first=$(headers "$other" | head -1)
    fi
    [ -n "$first" ] && echo "refused $layer $first"
  done
done >"$work/checks"

cat >"$work/check.sh" <<'CHECK'
expect=$1 layer=$2 header=$3
mapfile -t flags <"$WORK/$layer.flags"
if printf '#include "%s"\n' "$header" |
  "$CXX" -std=c++20 -fsyntax-only -Wall -Wextra -Werror "${flags[@]}" -x c++ - 2>"$WORK/err.$$"; then
  [ "$expect" = ok ] && exit 0
  echo "FAIL: layer $layer can include $header"
else
  # Refused means not found on the path (gcc and clang word it differently).
  [ "$expect" = refused ] && grep -qiE "no such file|file not found" "$WORK/err.$$" && exit 0
  echo "FAIL: $header does not compile alone in layer $layer:"
  head -20 "$WORK/err.$$"
fi
CHECK

compiled=$(WORK=$work CXX=$cxx xargs -P 2 -L 1 bash "$work/check.sh" <"$work/checks")
report=$(printf '%s\n' "$shows" "$compiled" | sed '/^$/d')
[ -n "$report" ] && echo "$report"
failures=$(grep -c '^FAIL' <<<"$report")
echo "$(($(wc -l <"$work/checks") + ${#layers[@]})) checks, $failures failed"
[ "$failures" -eq 0 ]
