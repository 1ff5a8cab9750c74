#!/usr/bin/env bash
# Fuzzes the decoders (raw inflate, the legacy methods shrink, reduce and
# implode, decryption, the header reader) for the given number of seconds
# (default 300), starting from zip archives and raw streams made by zip and
# Python's zlib (seeds/: the first byte picks the path); see
# ../../common/fuzz.sh.
#   bench/inflate/fuzz/fuzz.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../common/fuzz.sh" inflate "${1:-300}" "$here/seeds" -- -max_len=8192
