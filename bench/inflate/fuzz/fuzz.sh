#!/usr/bin/env bash
# Builds the decoder fuzzer with clang (libFuzzer, ASan, UBSan) and runs it.
#   bench/inflate/fuzz/fuzz.sh [seconds]        (default 300)
# Not part of the build or the tests. Corpus and crashes go to build-fuzz/.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="$root/build-fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I "$root/src" $(pkg-config --cflags Qt6Core) \
    "$root"/src/archive/*.cpp "$root"/src/platform/rtl/*.cpp "$root"/src/platform/system/SysEnv.cpp \
    "$root/bench/inflate/fuzz/FuzzDecode.cpp" \
    $(pkg-config --libs Qt6Core) -o "$out/fuzz_decode"
# Seeds: zip archives and raw deflate streams made by zip and python's zlib.
seeds="$out/seeds"
if [ ! -d "$seeds" ]; then
    mkdir -p "$seeds/in"
    head -c 3000 "$root/README.md" > "$seeds/in/readme.txt"
    (cd "$seeds" && zip -q -9 a.zip in/readme.txt && zip -q -P pw b.zip in/readme.txt)
    printf '\002' | cat - "$seeds/a.zip" > "$out/corpus/seed-zip"
    printf '\002' | cat - "$seeds/b.zip" > "$out/corpus/seed-zip-pw"
    python3 -c "import zlib,sys; d=open('$seeds/in/readme.txt','rb').read(); c=zlib.compressobj(9,8,-15); sys.stdout.buffer.write(b'\0'+c.compress(d)+c.flush())" > "$out/corpus/seed-deflate"
    # Legacy methods: mode 1, method index, flags, then data. Implode with
    # two complete trees (64 codes of 6 bits each), shrink and reduce.
    head -c 600 /dev/urandom > "$seeds/noise"
    { printf '\001\005\000\003\365\365\365\365\003\365\365\365\365'; cat "$seeds/noise"; } > "$out/corpus/seed-implode"
    { printf '\001\000\000'; cat "$seeds/noise"; } > "$out/corpus/seed-shrink"
    { printf '\001\001\000'; head -c 192 /dev/zero; cat "$seeds/noise"; } > "$out/corpus/seed-reduce"
fi
cd "$out"
exec ./fuzz_decode -max_total_time="${1:-300}" -max_len=8192 -timeout=10 -rss_limit_mb=2048 corpus
