#!/usr/bin/env bash
# Fuzzes the dBASE reader for the given number of seconds (default 60),
# starting from the test tables (LibreOffice Calc's export) and seeds/; see
# ../common/fuzz.sh.
#   bench/dbffuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$here/../common/fuzz.sh" dbf "${1:-60}" "$root/tests/data/dbase/rates.dbf" "$here/seeds" -- -max_len=4096
