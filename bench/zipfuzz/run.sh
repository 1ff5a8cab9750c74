#!/usr/bin/env bash
# Builds the zip reader fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) outside the normal build, seeds a corpus with
# archives made by Info-ZIP zip and Python's zipfile, and fuzzes for the given
# number of seconds (default 60).
#   bench/zipfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="${ZORBEL_FUZZ_DIR:-$root/build-fuzz}"
seconds="${1:-60}"
mkdir -p "$work/corpus" "$work/seed"

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer -fPIC
       -I"$root/src" $(pkg-config --cflags Qt6Core))
clang++ "${flags[@]}" -o "$work/zipread_fuzz" "$here/ZipReadFuzz.cpp" \
    "$root"/src/archive/*.cpp "$root"/src/platform/rtl/*.cpp "$root"/src/platform/system/SysEnv.cpp \
    $(pkg-config --libs Qt6Core)

# Seeds: stored, deflated, encrypted, commented, nested folders.
cd "$work/seed"
rm -rf ./*
printf 'hello hello hello hello\n' > a.txt
head -c 3000 /dev/urandom > r.bin
mkdir -p d/e && printf 'inner' > d/e/i.txt
zip -q -0 "$work/corpus/stored.zip" a.txt
zip -q -9 -r "$work/corpus/deflated.zip" a.txt d
zip -q -P pw "$work/corpus/encrypted.zip" a.txt r.bin
python3 - "$work/corpus" <<'PY'
import sys, zipfile
d = sys.argv[1]
with zipfile.ZipFile(d + '/py.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('x/y.txt', b'abc' * 100)
    z.writestr('empty', b'')
    z.comment = b'note'
PY

cd "$work"
"$work/zipread_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 "$work/corpus"
