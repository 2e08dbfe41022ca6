#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a while, and exits non-zero when one crashes, leaks
# or hangs. A target with a corpus of its own (tests/fuzz/corpus-<name>) is seeded with it; the
# others with the RIB snippets in tests/fuzz/corpus, the example scenes in scenes/ and, when the
# checkout sits beside it, the public scene collection in ../shared/scenes (read in place: it is
# not ours to copy). The shading-language target is also seeded with the public shaders in
# $OVO_FUZZ_SHADERS (default ../shared/shaders beside the checkout), preprocessed.
#   tests/fuzz/run.sh <build-dir> <seconds>
# New inputs go to <build-dir>/fuzz/<target>.corpus (the seeds are never touched); a
# failing input is saved under <build-dir>/fuzz/artifacts/ for replay:
#   <build-dir>/fuzz/fuzz_rib <build-dir>/fuzz/artifacts/<file>
set -uo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 <build-dir> [seconds]" >&2
    exit 2
fi
build="$(cd "$1" && pwd)" || exit 2
seconds="${2:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
seeds=("$here/corpus" "$here/regressions" "$here/../../scenes")
public="$here/../../../shared/scenes"
[ -d "$public" ] && seeds+=("$public")

shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
status=0
ran=0
for target in "${targets[@]}"; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name="$(basename "$target")"
    work="$build/fuzz/$name.corpus"
    artifacts="$build/fuzz/artifacts"
    mkdir -p "$work" "$artifacts"
    dict=()
    [ -f "$here/${name#fuzz_}.dict" ] && dict=(-dict="$here/${name#fuzz_}.dict")
    targetSeeds=("${seeds[@]}")
    [ -d "$here/corpus-${name#fuzz_}" ] && targetSeeds=("$here/corpus-${name#fuzz_}")
    [ -d "$here/regressions-${name#fuzz_}" ] && targetSeeds+=("$here/regressions-${name#fuzz_}")
    shaders="${OVO_FUZZ_SHADERS:-$here/../../../shared/shaders}"
    if [ "$name" = fuzz_slc ] && [ -d "$shaders" ]; then
        while IFS= read -r sl; do
            cpp -C -undef -nostdinc -I"$(dirname "$sl")" -I"$shaders/aqsis/shaders/include" "$sl" \
                > "$work/shared-$(basename "$sl")" 2>/dev/null || true
        done < <(find "$shaders" -name '*.sl')
    fi
    echo "== $name for ${seconds}s"
    ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" \
        "$target" "$work" "${targetSeeds[@]}" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$name-"
    rc=$?
    ran=$((ran + 1))
    if [ $rc -ne 0 ]; then
        echo "== $name FAILED (exit $rc); the input is in $artifacts" >&2
        status=1
    else
        echo "== $name passed"
    fi
done
if [ $ran -eq 0 ]; then
    echo "no fuzz targets in $build/fuzz (configure with -DOVO_FUZZ=ON and clang)" >&2
    exit 1
fi
exit $status
