#!/usr/bin/env bash
# Fuzzes the zip reader on whole archives (listing, comments, extraction)
# for the given number of seconds (default 60), starting from archives made
# by Info-ZIP zip and Python's zipfile (seeds/); see ../common/fuzz.sh.
#   bench/zipfuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../common/fuzz.sh" zip "${1:-60}" "$here/seeds" -- -max_len=65536
