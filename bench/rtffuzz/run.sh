#!/usr/bin/env bash
# Fuzzes the rich text reader for the given number of seconds (default 60),
# starting from typical and hostile documents (seeds/); see
# ../common/fuzz.sh.
#   bench/rtffuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" rtf "${1:-60}" "$here/seeds" -- -max_len=8192
