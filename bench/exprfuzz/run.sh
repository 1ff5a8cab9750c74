#!/usr/bin/env bash
# Fuzzes the report expression compiler and evaluator for the given number
# of seconds (default 60), starting from typical and hostile expressions
# (seeds/); see ../common/fuzz.sh.
#   bench/exprfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" expr "${1:-60}" "$here/seeds" -- -max_len=4096
