#!/usr/bin/env bash
# Builds the rich text reader's fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) outside the normal build,
# seeds a corpus with typical and hostile documents, and fuzzes for the
# given number of seconds (default 60).
#   bench/rtffuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" rtf Qt6Gui "${1:-60}"
clang++ "${flags[@]}" -o "$work/rtf_fuzz" "$here/RtfFuzz.cpp" "$root/src/report/RepRtf.cpp" \
    "$root/src/platform/rtl/CodePages.cpp" $(pkg-config --libs Qt6Gui)

i=0
while IFS= read -r line; do
    printf '%s' "$line" > "$work/corpus/seed$i"
    i=$((i + 1))
done <<'SEEDS'
{\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fnil\fcharset204 Arial;}{\f1 Courier New;}}{\colortbl ;\red255\green0\blue0;}\pard\qc\f0\fs20 \'cf\'f0\'e8\b \'e2\'e5\'f2\b0\par\pard\qr\i\cf1 red\i0\ul u\ulnone\strike s\strike0\par}
{\rtf1\uc2\u1071??\u-3913 x\'\'41{\*\unknown {nested}}{\pict\wmetafile8 0102}\tab\line\~\_\-\{\}\\}
{\rtf1{\info{\title t}}{\stylesheet{\s0 Normal;}}\plain\pard\qj text\par\fs99999999 big\fs0 small}
{\rtf1{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{deep}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}
SEEDS

cd "$work"
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=8:detect_leaks=0}"
"$work/rtf_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 "$work/corpus"
