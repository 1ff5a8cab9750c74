# The common part of the fuzz scripts, sourced by them:
#   source "$here/../common/fuzz.sh" NAME SECONDS SEEDS... -- [libFuzzer options...]
# Builds the fuzzer fuzz_NAME from the project's own targets (bench/Fuzzers.cmake)
# in a clang build folder with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (ZORBEL_SANITIZE=fuzz): $ZORBEL_FUZZ_DIR or
# build-fuzz, its subfolder build. Then fuzzes for SECONDS on the corpus
# folder NAME/corpus, which starts from the committed SEEDS (folders, read
# and never written, or files, copied into the corpus) and keeps what the fuzzer adds. A
# finding is written to NAME/ (crash-*, leak-*, timeout-*); copy it into the
# harness's seeds folder once it is fixed, so the tests replay it.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
name="$1"
seconds="$2"
shift 2
base="${ZORBEL_FUZZ_DIR:-$root/build-fuzz}"
work="$base/$name"
mkdir -p "$work/corpus"
seeds=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    if [ -d "$1" ]; then
        seeds+=("$1")
    else
        cp "$1" "$work/corpus/"
    fi
    shift
done
[ $# -gt 0 ] && shift
options=("$@")
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ ZORBEL_BUILD_DIR="$base/build" ZORBEL_TARGET="fuzz_$name" ZORBEL_JOBS="${ZORBEL_JOBS:-3}" \
    "$root/scripts/build" -DZORBEL_SANITIZE=fuzz -DZORBEL_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
# Qt's font database keeps fontconfig data to the end: no leak of the
# harness's. A small quarantine and short allocation stacks keep ASan's own
# bookkeeping from growing towards the memory limit over long runs.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=8:detect_leaks=0}"
export QT_QPA_PLATFORM=offscreen
cd "$work"
"$base/build/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "${options[@]}" "$work/corpus" "${seeds[@]}"
