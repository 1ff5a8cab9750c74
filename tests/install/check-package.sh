#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks that it holds
# the installed files, its manual page, copyright and changelog, and depends
# on the libraries, fonts and translations the program needs, with no
# maintainer scripts of its own; and that lintian finds nothing to say (in a
# hardened build not even a note; any build without errors or warnings).
# usage: check-package.sh BUILD_DIR   (ZORBEL_APP_ID, ZORBEL_HARDENED set by CTest)
set -euo pipefail
build=$1
id=${ZORBEL_APP_ID:?}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$(dirname "$0")/../../scripts/package" "$build" "$out" >/dev/null
debs=("$out"/zorbel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no package in $out"
deb=${debs[0]}

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/zorbel ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
         ./usr/share/mime/packages/zorbel.xml ./usr/share/icons/hicolor/scalable/apps/zorbel.svg \
         ./usr/share/icons/hicolor/48x48/apps/zorbel.png ./usr/share/icons/hicolor/256x256/apps/zorbel.png \
         ./usr/share/man/man1/zorbel.1.gz ./usr/share/doc/zorbel/copyright ./usr/share/doc/zorbel/changelog.gz; do
  grep -qxF "$f" <<<"$files" || fail "package lacks $f"
done
grep -q '^./usr/local\|^./home\|^./root' <<<"$files" && fail "package holds files outside /usr"

info=$(dpkg-deb -I "$deb")
grep -q '^ Package: zorbel$' <<<"$info" || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6charts6 libqt6printsupport6 libsqlite3-0 libjpeg62-turbo libqt6core6 \
         libuemf0 libc6 libstdc++6 qt6-qpa-plugins fonts-liberation2 qt6-translations-l10n; do
  tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$d" || fail "Depends lacks $d: $depends"
done
for script in preinst postinst prerm postrm; do
  grep -qE "^ +[0-9]+ bytes, +[0-9]+ lines +\*? *$script( |$)" <<<"$info" && fail "package carries a $script"
done
# The program inside is stripped: no debugging sections.
dpkg-deb -x "$deb" "$out/root"
if readelf -S "$out/root/usr/bin/zorbel" | grep -q '\.debug_info'; then fail "program not stripped"; fi

# One version everywhere: the package's, its changelog's newest entry, the
# metainfo's newest release.
version=$(dpkg-deb -f "$deb" Version)
logged=$(gzip -dc "$out/root/usr/share/doc/zorbel/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$logged" = "$version" ] || fail "the changelog's newest entry is $logged, the package $version"
released=$(xmllint --xpath 'string(//releases/release[1]/@version)' "$out/root/usr/share/metainfo/$id.metainfo.xml")
[ "$released" = "$version" ] || fail "the metainfo's newest release is $released, the package $version"

levels=error,warning
if [ "${ZORBEL_HARDENED:-}" = ON ]; then levels=error,warning,info,pedantic; fi
lintian --info --display-info --pedantic --fail-on "$levels" "$deb" >"$out/lintian.txt" 2>&1 || {
  cat "$out/lintian.txt" >&2
  fail "lintian (failing on $levels)"
}
cat "$out/lintian.txt"
echo "package: all checks passed"
