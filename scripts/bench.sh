#!/usr/bin/env bash
# Builds the benchmarks and runs them. Benchmarks report figures; they are not tests.
#   scripts/bench.sh                  every benchmark (bench_<name> for each bench/<name>.cpp)
#   scripts/bench.sh bvh frame        only these
#   scripts/bench.sh bvh -- --benchmark_filter=Ratio   pass options on to each benchmark
# Installs what is missing (Debian 12) and builds into build/ with -DOVO_BENCH=ON. Run it on a
# quiet machine and repeat: figures of one run on a shared machine drift.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

names=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    case "$1" in
        --help|-h) sed -n '2,7p' "$0"; exit 0 ;;
    esac
    names+=("$1"); shift
done
[ $# -gt 0 ] && shift
if [ ${#names[@]} -eq 0 ]; then
    for src in "$OVO_ROOT"/bench/*.cpp; do names+=("$(basename "$src" .cpp)"); done
fi

ovo_install_missing || exit 1
OVO_TARGETS=()
for n in "${names[@]}"; do OVO_TARGETS+=("bench_$n"); done
echo "== building benchmarks in $OVO_ROOT/build"
ovo_build "$OVO_ROOT/build" -DOVO_BENCH=ON || { echo "== build failed" >&2; exit 1; }

export OVO_HOME="$OVO_ROOT/build"
status=0
for n in "${names[@]}"; do
    echo "== bench_$n"
    "$OVO_ROOT/build/bin/bench_$n" "$@" || status=1
done
exit $status
