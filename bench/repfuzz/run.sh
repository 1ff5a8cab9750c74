#!/usr/bin/env bash
# Fuzzes the report file loader and the page player for the given number of
# seconds (default 60), starting from report files of the page store (plain
# and compressed) and the damaged ones that once crashed (seeds/); see
# ../common/fuzz.sh.
#   bench/repfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$here/../common/fuzz.sh" rep "${1:-60}" "$here/seeds" "$root/tests/data/report/huge-glyph.rep" -- -max_len=200000
