#!/usr/bin/env bash
# Builds the Debian package of a build with cpack and checks what it holds
# and declares, then runs the tool from the unpacked package.
#   package_test.sh CPACK BUILD_DIR VERSION READER(ON|OFF)
set -euo pipefail
cpack=$1 build=$2 version=$3 reader=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

(cd "$work" && "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
arch=$(dpkg --print-architecture)
deb="$work/out/tessaly_${version}_${arch}.deb"
[ -f "$deb" ] || { ls -R "$work/out" >&2; fail "no $deb"; exit 1; }

fields=$(dpkg-deb --field "$deb" Package Version Architecture Depends Maintainer Section)
echo "$fields"
grep -qx "Package: tessaly" <<<"$fields" || fail "package name"
grep -qx "Version: $version" <<<"$fields" || fail "package version"
depends=$(dpkg-deb --field "$deb" Depends)
grep -q 'libstdc++6' <<<"$depends" || fail "libstdc++6 is not declared: $depends"
if [ "$reader" = ON ]; then
  for library in libgtk-3-0 libwebkit2gtk-4.1-0 libglib2.0-0; do
    grep -q "$library" <<<"$depends" || fail "$library is not declared: $depends"
  done
fi

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
expected=(./usr/bin/tessaly-cli ./usr/share/tessaly/help.chm ./usr/share/man/man1/tessaly-cli.1.gz
          ./usr/share/doc/tessaly/copyright ./usr/share/doc/tessaly/changelog.gz)
[ "$reader" = ON ] && expected+=(./usr/bin/tessaly ./usr/share/applications/tessaly.desktop
                                 ./usr/share/icons/hicolor/scalable/apps/tessaly.svg
                                 ./usr/share/man/man1/tessaly.1.gz
                                 ./usr/share/metainfo/example.varnhold.tessaly.metainfo.xml)
for file in "${expected[@]}"; do
  grep -qx -- "$file" <<<"$contents" || fail "$file is not in the package"
done
# Nothing outside /usr, nothing from the build or source folders.
if grep -v '^\./usr/\|^\./$\|^\./usr$' <<<"$contents" | grep -q .; then fail "files outside /usr"; fi

dpkg-deb --extract "$deb" "$work/root"
out=$("$work/root/usr/bin/tessaly-cli" --version) || fail "packaged tessaly-cli does not run"
[ "$out" = "tessaly-cli $version" ] || fail "packaged tessaly-cli --version printed '$out'"
"$work/root/usr/bin/tessaly-cli" info "$work/root/usr/share/tessaly/help.chm" >/dev/null ||
  fail "packaged tessaly-cli cannot read the packaged manual"
if [ "$reader" = ON ]; then
  out=$("$work/root/usr/bin/tessaly" --version) || fail "packaged tessaly does not run"
  [ "$out" = "tessaly $version" ] || fail "packaged tessaly --version printed '$out'"
fi

# Debian's own checks: the package (no lintian error), the desktop entry and
# the AppStream metadata, where the tools are installed.
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
else
  echo "lintian is not installed: the package's lintian check is skipped" >&2
fi
if [ "$reader" = ON ]; then
  desktop-file-validate "$work/root/usr/share/applications/tessaly.desktop" || fail "desktop entry"
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/"*.metainfo.xml >&2 || fail "AppStream metadata"
  else
    echo "appstreamcli is not installed: the AppStream check is skipped" >&2
  fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "package $deb checked"
