# The common start of the fuzz scripts, sourced by them:
#   source "$here/../common/fuzz.sh" NAME QT_MODULE SECONDS
# Sets root (the source tree), work (ZORBEL_FUZZ_DIR or build-fuzz, then
# NAME; created with its corpus folder), seconds, and flags: clang's flags
# for a libFuzzer target under AddressSanitizer and UndefinedBehaviorSanitizer
# that includes the sources and QT_MODULE's headers.
root="$(cd "$here/../.." && pwd)"
work="${ZORBEL_FUZZ_DIR:-$root/build-fuzz}/$1"
seconds="$3"
mkdir -p "$work/corpus"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer -fPIC
       -I"$root/src" $(pkg-config --cflags "$2"))
