#!/usr/bin/env bash
# Builds the dBASE reader fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) outside the normal build, seeds the corpus with
# the test tables (LibreOffice Calc's export), and fuzzes for the given number
# of seconds (default 60).
#   bench/dbffuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" dbf Qt6Core "${1:-60}"
clang++ "${flags[@]}" -o "$work/dbfread_fuzz" "$here/DbfReadFuzz.cpp" \
    "$root"/src/platform/rtl/*.cpp "$root"/src/platform/system/SysEnv.cpp $(pkg-config --libs Qt6Core)
cp "$root"/tests/data/dbase/*.dbf "$work/corpus/"
cd "$work"
"$work/dbfread_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 "$work/corpus"
