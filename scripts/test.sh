#!/usr/bin/env bash
# Builds OVO and runs every test.
#   scripts/test.sh          build into build/ and run the suite
#   scripts/test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan   ThreadSanitizer, in build-tsan/
#   scripts/test.sh --fuzz   builds the libFuzzer targets with clang and runs each for 60 s
# Extra arguments after the mode go to ctest (for example -R Math).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mode=plain
if [ $# -gt 0 ]; then
    case "$1" in
        --asan) mode=asan; shift ;;
        --tsan) mode=tsan; shift ;;
        --fuzz) mode=fuzz; shift ;;
        --help|-h) sed -n '2,8p' "$0"; exit 0 ;;
    esac
fi

ovo_install_missing || exit 1

case "$mode" in
    plain) dir="$OVO_ROOT/build"; opts=() ;;
    asan)  dir="$OVO_ROOT/build-asan"; opts=(-DOVO_ASAN=ON) ;;
    tsan)  dir="$OVO_ROOT/build-tsan"; opts=(-DOVO_TSAN=ON) ;;
    fuzz)
        ovo_install_missing clang libclang-rt-14-dev || exit 1
        dir="$OVO_ROOT/build-fuzz"
        opts=(-DOVO_FUZZ=ON -DOVO_TESTS=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
        # Only the fuzz targets (and the library they link): the suites are built by gcc.
        OVO_TARGETS=(fuzz_rib)
        ;;
esac

echo "== building ($mode) in $dir"
ovo_build "$dir" "${opts[@]}" || { echo "== build failed" >&2; exit 1; }

if [ "$mode" = fuzz ]; then
    exec "$OVO_ROOT/tests/fuzz/run.sh" "$dir" "${FUZZ_SECONDS:-60}"
fi

# intercept_tls_get_addr=0: the leak checker's scan of dynamically loaded modules' thread-local
# blocks reads a bogus range for Embree's worker threads with this glibc and crashes at exit
# ("Tracer caught signal 11 ... LeakSanitizer has encountered a fatal error") after the tests
# have passed; without the interception those blocks are not scanned, everything else is.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:${TSAN_OPTIONS:-}"
export TSAN_OPTIONS="suppressions=$OVO_ROOT/tests/tsan.supp:$TSAN_OPTIONS"

echo "== running tests ($mode)"
cd "$dir" || exit 1
ctest --output-on-failure -j"$(nproc)" "$@"
status=$?
if [ $status -eq 0 ]; then
    echo "== all tests passed ($mode)"
else
    echo "== TESTS FAILED ($mode)" >&2
fi
exit $status
