#!/usr/bin/env bash
# Builds the report file loader fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) outside the normal build, seeds
# a corpus with report files of the page store (plain and compressed), and
# fuzzes for the given number of seconds (default 60).
#   bench/repfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" rep Qt6Gui "${1:-60}"

sources=("$root"/src/report/RepStore.cpp "$root"/src/platform/canvas/Graphics.cpp
         "$root"/src/platform/canvas/Metafile*.cpp "$root"/src/platform/rtl/*.cpp
         "$root"/src/platform/system/SysFiles.cpp "$root"/src/platform/system/SysEnv.cpp)
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fPIC -I"$root/src" $(pkg-config --cflags Qt6Gui))
libs=($(pkg-config --libs Qt6Gui) -luemf)
clang++ "${flags[@]}" -fsanitize=address,undefined -DREP_FUZZ_SEEDS -o "$work/rep_seeds" \
    "$here/RepLoadFuzz.cpp" "${sources[@]}" "${libs[@]}"
ASAN_OPTIONS=detect_leaks=0 "$work/rep_seeds" "$work/corpus"
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -o "$work/repload_fuzz" \
    "$here/RepLoadFuzz.cpp" "${sources[@]}" "${libs[@]}"

cd "$work"
# Qt's font database keeps fontconfig data to the end: not the loader's leaks.
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$work/repload_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=200000 -print_final_stats=1 "$work/corpus"
