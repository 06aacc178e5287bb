#!/usr/bin/env bash
# Installs a build into a scratch prefix, as `cmake --install` does for a
# user, and runs what was installed from there.
#   install_test.sh CMAKE BUILD_DIR VERSION READER(ON|OFF) TEST_HOOKS(ON|OFF)
set -euo pipefail
cmake=$1 build=$2 version=$3 reader=$4 hooks=$5
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/tessaly-cli share/tessaly/help.chm share/man/man1/tessaly-cli.1.gz)
[ "$reader" = ON ] && expected+=(bin/tessaly share/man/man1/tessaly.1.gz share/applications/tessaly.desktop
                                 share/icons/hicolor/scalable/apps/tessaly.svg)
for file in "${expected[@]}"; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/tessaly-cli" ] || fail "bin/tessaly-cli is not executable"

# The installed tool knows its version and reads the installed manual.
out=$("$prefix/bin/tessaly-cli" --version) || fail "tessaly-cli --version failed"
[ "$out" = "tessaly-cli $version" ] || fail "tessaly-cli --version printed '$out'"
help="$prefix/share/tessaly/help.chm"
info=$("$prefix/bin/tessaly-cli" info "$help") || fail "tessaly-cli info on the installed manual failed"
grep -q '^title: Tessaly' <<<"$info" || fail "the installed manual has no Tessaly title: $info"
topics=$("$prefix/bin/tessaly-cli" search "$help" extract) || fail "search in the installed manual failed"
[ -n "$topics" ] || fail "the installed manual's full-text search finds no page on extract"
json=$("$prefix/bin/tessaly-cli" toc --json "$help") || fail "tessaly-cli toc --json failed"
[ "${json:0:1}" = "{" ] || fail "toc --json did not print a JSON object"

if [ "$reader" = ON ]; then
  out=$("$prefix/bin/tessaly" --version) || fail "tessaly --version failed"
  [ "$out" = "tessaly $version" ] || fail "tessaly --version printed '$out'"
  "$prefix/bin/tessaly" --help | grep -q '^Usage: tessaly' || fail "tessaly --help printed no usage"
  if "$prefix/bin/tessaly" --no-such-option 2>/dev/null; then fail "tessaly accepted a bad option"; fi

  # A reader built for users carries none of the test verbs, and asking for
  # the test channel changes nothing.
  if [ "$hooks" = OFF ]; then
    for verb in eval-async tree-expand dialog-respond list-activate TESSALY_TEST_CHANNEL; do
      if grep -q -a -- "$verb" "$prefix/bin/tessaly"; then fail "the installed tessaly holds the test verb $verb"; fi
    done
    if command -v xvfb-run >/dev/null; then
      said=$(TESSALY_TEST_CHANNEL=1 XDG_RUNTIME_DIR="$prefix" XDG_CONFIG_HOME="$prefix" XDG_CACHE_HOME="$prefix" \
             timeout 8 xvfb-run -a "$prefix/bin/tessaly" "$help" 2>/dev/null || true)
      if grep -q '^ready' <<<"$said"; then fail "the installed tessaly answered the test channel"; fi
    fi
  else
    echo "a test build (TESSALY_TEST_HOOKS=ON): the check for test verbs runs in the release build"
  fi

  desktop="$prefix/share/applications/tessaly.desktop"
  grep -qx 'MimeType=application/vnd.ms-htmlhelp;application/x-chm;' "$desktop" || fail "desktop entry MimeType"
  grep -qx 'Exec=tessaly %u' "$desktop" || fail "desktop entry Exec"
  if command -v desktop-file-validate >/dev/null; then
    problems=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $problems"
  else
    echo "desktop-file-validate is not installed: the desktop entry is checked by its lines only"
  fi
fi

# Man pages that groff formats without a warning.
if command -v groff >/dev/null; then
  for page in "$prefix"/share/man/man1/*.1.gz; do
    warnings=$(gzip -dc "$page" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    gzip -dc "$page" | grep -q "$version" || fail "$(basename "$page") does not carry the version"
  done
else
  echo "groff is not installed: the man pages are not formatted"
fi

[ "$failures" -eq 0 ] || exit 1
echo "installed and ran from $prefix"
