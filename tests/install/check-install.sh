#!/usr/bin/env bash
# Installs the build into a scratch root (DESTDIR) and checks what a desktop
# reads: the desktop entry, the AppStream metainfo, the MIME package and the
# icon at every size, and that the desktop's own tools accept them together.
# usage: check-install.sh BUILD_DIR   (ZORBEL_APP_ID, ZORBEL_ICON_SIZES set by CTest)
set -euo pipefail
build=$1
id=${ZORBEL_APP_ID:?}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
share=$root/usr/share

[ -x "$root/usr/bin/zorbel" ] || fail "no program in bin/"

entry=$share/applications/$id.desktop
[ -f "$entry" ] || fail "no desktop entry $entry"
desktop-file-validate "$entry" || fail "desktop entry does not validate"
grep -qx 'Exec=zorbel %f' "$entry" || fail "Exec is not 'zorbel %f'"
grep -qx 'MimeType=application/x-zorbel;' "$entry" || fail "MimeType is not the program's own"
grep -qx 'Icon=zorbel' "$entry" || fail "Icon is not zorbel"
grep -q '^Comment\[ru\]=Учёт денег' "$entry" || fail "no Russian comment"
grep -q '^GenericName\[ru\]=Домашние финансы' "$entry" || fail "no Russian name"

meta=$share/metainfo/$id.metainfo.xml
[ -f "$meta" ] || fail "no metainfo $meta"
appstreamcli validate "$meta" || fail "metainfo does not validate"
# A link to a page the desktop cannot reach is worse than none.
grep -q 'https\?://' "$meta" && fail "metainfo names a web address: $(grep -o 'https\?://[^<"]*' "$meta")"
xmllint --noout --xpath '//summary[not(@xml:lang)]' "$meta" >/dev/null 2>&1 || fail "no English summary"
xmllint --noout --xpath '//summary[@xml:lang="ru"]' "$meta" >/dev/null 2>&1 || fail "no Russian summary"
[ "$(xmllint --xpath 'string(//launchable[@type="desktop-id"])' "$meta")" = "$id.desktop" ] ||
  fail "metainfo does not launch the desktop entry"

mime=$share/mime/packages/zorbel.xml
[ -f "$mime" ] || fail "no MIME package"
xmllint --noout "$mime" || fail "MIME package is not well-formed"
ns='declare namespace m="http://www.freedesktop.org/standards/shared-mime-info";'
q() { xmllint --xpath "$1" "$mime" 2>/dev/null; }
[ "$(q 'string(/*[local-name()="mime-info"]/*[local-name()="mime-type"]/@type)')" = application/x-zorbel ] ||
  fail "MIME type is not application/x-zorbel"
[ "$(q 'string(//*[local-name()="glob"]/@pattern)')" = '*.den' ] || fail "no glob *.den"

for size in $ZORBEL_ICON_SIZES; do
  png=$share/icons/hicolor/${size}x${size}/apps/zorbel.png
  [ -f "$png" ] || fail "no icon $png"
  python3 - "$png" "$size" <<'PY' || fail "icon $png is not a ${size}x${size} PNG"
import struct, sys
data = open(sys.argv[1], 'rb').read(24)
size = int(sys.argv[2])
assert data[:8] == b'\x89PNG\r\n\x1a\n' and data[12:16] == b'IHDR', 'not a PNG'
assert struct.unpack('>II', data[16:24]) == (size, size), struct.unpack('>II', data[16:24])
PY
done
xmllint --noout "$share/icons/hicolor/scalable/apps/zorbel.svg" || fail "no scalable icon"

# The desktop's tools together, as the package's triggers run them: the
# MIME database names the program's type for "*.den", and the program is the
# type's default application.
update-mime-database "$share/mime" >/dev/null 2>&1
update-desktop-database "$share/applications"
grep -qxF '50:application/x-zorbel:*.den' "$share/mime/globs2" || fail "the MIME database has no *.den"
scratch=$root/home
mkdir -p "$scratch/config" "$scratch/data"
run_xdg() { env XDG_DATA_DIRS="$share" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
  XDG_CONFIG_DIRS="$scratch/config" XDG_CURRENT_DESKTOP=X-Generic "$@"; }
[ "$(run_xdg xdg-mime query default application/x-zorbel)" = "$id.desktop" ] ||
  fail "the program is not the default for application/x-zorbel"

# What the desktop makes of a file by its name and contents (GLib, over the
# system's MIME database and ours): a data file is the program's with or
# without its extension; any other zip, and a text that merely starts with
# "PK", is not.
samples=$root/samples
mkdir -p "$samples"
python3 - "$samples" <<'PY'
import os, sys, zipfile
os.chdir(sys.argv[1])
def archive(name, entries):
    with zipfile.ZipFile(name, 'w', zipfile.ZIP_DEFLATED) as z:
        for entry in entries:
            z.writestr(entry, b'x' * 100)
archive('data', ['Zorbel.db'])                # a data file without its extension
archive('data.den', ['Zorbel.db'])
archive('notes', ['notes.txt'])
archive('longer-name', ['Zorbel.dbx'])
archive('second-entry', ['a.txt', 'Zorbel.db'])
zipfile.ZipFile('empty', 'w').close()
with open('pk-text', 'w') as f:
    f.write('PK is how this note starts\n')
PY
type_of() {
  env XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$scratch/data" gio info -a standard::content-type "$samples/$1" |
    sed -n 's/^ *standard::content-type: //p'
}
for sample in data data.den; do
  [ "$(type_of $sample)" = application/x-zorbel ] || fail "$sample is typed $(type_of $sample), not application/x-zorbel"
done
for sample in notes longer-name second-entry empty pk-text; do
  [ "$(type_of $sample)" != application/x-zorbel ] || fail "$sample is typed application/x-zorbel"
done
[ "$(type_of notes)" = application/zip ] || fail "a plain zip is typed $(type_of notes)"
echo "install: all checks passed"
