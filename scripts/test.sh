#!/usr/bin/env bash
# Builds OVO and runs its tests.
#   scripts/test.sh              build into build/ and run every suite
#   scripts/test.sh --fast       only the suites of the rooms the change touches (against main)
#   scripts/test.sh --asan       every suite under AddressSanitizer + UBSan, in build-asan/
#   scripts/test.sh --tsan       the suites that run threads (tasking, film and render loop,
#                                shading and its caches) under ThreadSanitizer, in build-tsan/
#   scripts/test.sh --fuzz [S]   the libFuzzer targets with clang, each for S seconds (60)
#   scripts/test.sh --format     clang-format check of every C++ file git tracks
# Extra arguments after the mode go to ctest (for example -R Numeric, or -L render).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mode=plain
if [ $# -gt 0 ]; then
    case "$1" in
        --fast) mode=fast; shift ;;
        --asan) mode=asan; shift ;;
        --tsan) mode=tsan; shift ;;
        --fuzz) mode=fuzz; shift ;;
        --format) mode=format; shift ;;
        --help|-h) sed -n '2,10p' "$0"; exit 0 ;;
    esac
fi

# The suites (test labels, one per folder of tests/) that cover a changed path.
suites_for() {
    case "$1" in
        core/math/*) echo math geometry ;;
        core/params/*) echo params api ;;
        core/plugins/*) echo plugin_loading ;;
        core/api/*) echo api api_geometry api_render ;;
        core/render/*) echo render api_render ;;
        core/geometry/*) echo geometry shapes ;;
        core/shading/*) echo shading api_render ;;
        sys/*) echo sys render ;;
        plugins/shapes/*) echo shapes ;;
        plugins/accelerators/* | plugins/solids/*) echo geometry ;;
        plugins/cameras/* | plugins/filters/* | plugins/samplers/* | plugins/bucketorders/*)
            echo render ;;
        plugins/generators/*) echo rib ;;
        shaders/*) echo shading end_to_end project ;;
        apps/*) echo rib end_to_end ;;
        viewer/*) echo viewer rib ;;
        compiler/*) echo compiler ;;
        scenes/*) echo end_to_end ;;
        docs/* | *.md) echo project ;;
        python/* | tests/python/*) echo python ;;  # the Python module
        ri/*) echo ri ;;  # the C binding
        tests/install/*) echo ALL ;;  # the installed package holds everything
        tests/common/* | tests/plugins/* | tests/CMakeLists.txt) echo ALL ;;
        tests/farm/*) echo project ;;  # a script run after the suites, not a suite
        tests/*/*) echo "${1#tests/}" | cut -d/ -f1 ;;
        *) echo ALL ;;  # core/base, the build, the scripts
    esac
}

case "$mode" in
    format)
        ovo_install_missing clang-format || exit 1
        cd "$OVO_ROOT" || exit 1
        mapfile -t files < <(git ls-files '*.cpp' '*.h')
        if clang-format --dry-run -Werror "${files[@]}"; then
            echo "== ${#files[@]} files formatted as .clang-format says"
            exit 0
        fi
        echo "== FORMAT CHECK FAILED: run clang-format -i on the files above" >&2
        exit 1
        ;;
esac

ovo_install_missing || exit 1

# --- Python module: pybind11 and the interpreter's headers to build it, NumPy and pytest for
# its tests (ctest runs them as python.pytest), all from Debian.
case "$mode" in
    plain|fast)
        ovo_install_missing pybind11-dev python3-dev python3-numpy python3-pytest || exit 1 ;;
esac
# --- end of the Python module's block
# The viewer's page (ovo --view) is tested in a real headless browser.
if [ "$mode" = plain ] || [ "$mode" = fast ]; then
    ovo_install_missing chromium chromium-driver python3-selenium || exit 1
fi

labels=()
case "$mode" in
    plain) dir="$OVO_ROOT/build"; opts=() ;;
    fast)
        dir="$OVO_ROOT/build"; opts=()
        cd "$OVO_ROOT" || exit 1
        base=$(git merge-base HEAD main 2>/dev/null || git rev-parse HEAD)
        mapfile -t changed < <({ git diff --name-only "$base"; git ls-files --others --exclude-standard; } | sort -u)
        declare -A wanted=()
        for f in "${changed[@]}"; do
            for s in $(suites_for "$f"); do wanted[$s]=1; done
        done
        if [ ${#wanted[@]} -eq 0 ]; then
            echo "== nothing changed against main: no suite to run"
            exit 0
        fi
        if [ -z "${wanted[ALL]+x}" ]; then
            labels=("${!wanted[@]}")
            OVO_TARGETS=(ovo_all_plugins)
            for s in "${labels[@]}"; do
                if [ "$s" = python ]; then OVO_TARGETS+=(ovo_python); continue; fi
                [ -d "$OVO_ROOT/tests/$s" ] && OVO_TARGETS+=("test_$s")
            done
            [ -n "${wanted[end_to_end]+x}" ] && OVO_TARGETS+=(ovo_command)
            [ -n "${wanted[viewer]+x}" ] && OVO_TARGETS+=(ovo_command)
        fi
        ;;
    asan) dir="$OVO_ROOT/build-asan"; opts=(-DOVO_ASAN=ON) ;;
    tsan)
        dir="$OVO_ROOT/build-tsan"; opts=(-DOVO_TSAN=ON)
        labels=(sys render shading)
        OVO_TARGETS=(ovo_all_plugins test_sys test_render test_shading)
        ;;
    fuzz)
        ovo_install_missing clang libclang-rt-14-dev || exit 1
        dir="$OVO_ROOT/build-fuzz"
        opts=(-DOVO_FUZZ=ON -DOVO_TESTS=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
        # Only the fuzz targets (and the library they link): the suites are built by gcc.
        OVO_TARGETS=(fuzz_rib fuzz_slc)
        ;;
esac

echo "== building ($mode) in $dir"
ovo_build "$dir" "${opts[@]}" || { echo "== build failed" >&2; exit 1; }

if [ "$mode" = fuzz ]; then
    exec "$OVO_ROOT/tests/fuzz/run.sh" "$dir" "${1:-${FUZZ_SECONDS:-60}}"
fi

# intercept_tls_get_addr=0: the leak checker's scan of dynamically loaded modules' thread-local
# blocks reads a bogus range for Embree's worker threads with this glibc and crashes at exit
# ("Tracer caught signal 11 ... LeakSanitizer has encountered a fatal error") after the tests
# have passed; without the interception those blocks are not scanned, everything else is.
# new_delete_type_mismatch=0: OpenImageIO 2.4's TextureSystem::destroy deletes its own
# implementation object through the interface type with a sized delete; the mismatch is inside
# the library, and every other kind of heap error is still reported.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0:new_delete_type_mismatch=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$OVO_ROOT/tests/lsan.supp:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:${TSAN_OPTIONS:-}"
export TSAN_OPTIONS="suppressions=$OVO_ROOT/tests/tsan.supp:$TSAN_OPTIONS"

select=()
if [ ${#labels[@]} -gt 0 ]; then
    select=(-L "^($(IFS='|'; echo "${labels[*]}"))\$")
    echo "== suites: ${labels[*]}"
fi
echo "== running tests ($mode)"
cd "$dir" || exit 1
ctest --output-on-failure -j"$(nproc)" "${select[@]}" "$@"
status=$?

# --- render farm: ovo-farm against a one-node Slurm cluster (plain runs, as root) ---
if [ "$mode" = plain ] && [ $# -eq 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        ovo_install_missing slurmctld slurmd slurm-client || exit 1
    fi
    bash "$OVO_ROOT/tests/farm/run.sh" "$dir" || status=1
fi
# --- end of render farm ---
if [ $status -eq 0 ]; then
    echo "== all tests passed ($mode)"
else
    echo "== TESTS FAILED ($mode)" >&2
fi
exit $status
