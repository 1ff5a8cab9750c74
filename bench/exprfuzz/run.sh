#!/usr/bin/env bash
# Builds the report expression fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) outside the normal build,
# seeds a corpus with typical and hostile expressions, and fuzzes for the
# given number of seconds (default 60).
#   bench/exprfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" expr Qt6Core "${1:-60}"
clang++ "${flags[@]}" -o "$work/expr_fuzz" "$here/ExprFuzz.cpp" \
    "$root"/src/report/RepExpr*.cpp "$root"/src/memtable/*.cpp "$root"/src/platform/dataset/*.cpp \
    "$root"/src/platform/rtl/*.cpp "$root"/src/platform/system/SysEnv.cpp $(pkg-config --libs Qt6Core)

i=0
while IFS= read -r line; do
    printf '%s' "$line" > "$work/corpus/seed$i"
    i=$((i + 1))
done <<'SEEDS'
Sum(amt)
IF(qty > 0, 'yes', nm + ' ' + STR(amt))
((a + 1) * 2 - b / 4 + 3) * 5 - (6 - 2) / 8 + 7
10-4+3 = 12/3*2
not (ok and TRUE) or FALSE
COPY(UPPER(nm), 2, 3) + PRETTY('иВАН')
FORMATNUMERIC('#,##0.00;(0)', AVERAGE(amt) - MIN(qty) * MAX(amt))
DIV(INT(7.5), FRAC(2.25) + 1) + SQRT(ARCCOS(0.5)) / COTAN(1)
'Страница ' + PAGENUMBER + REPORTTITLE + APPNAME + [Q.nm] + Q.amt
TYPEOF(LOOP) + TOTAL + TIME + DATE + d + big
'it''s' <> '[x]' and [nm] >= 'a'
1e5 + 2147483647 * 2147483647 - 1.5e308 * 10
SEEDS

cd "$work"
# A small quarantine and short allocation stacks keep ASan's own bookkeeping
# from growing towards the memory limit over long runs.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=8}"
"$work/expr_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 "$work/corpus"
