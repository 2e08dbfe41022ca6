#!/usr/bin/env bash
# Builds the benchmarks and runs them. Benchmarks report figures; they are not tests.
#   scripts/bench.sh                  everything below but the --large sizes and --cycles
#   scripts/bench.sh bvh frame        only these micro-benchmarks (bench_<name>, bench/<name>.cpp)
#   scripts/bench.sh bvh -- --benchmark_filter=Ratio   pass options on to each micro-benchmark
#   scripts/bench.sh --micro          every micro-benchmark
#   scripts/bench.sh --peers          OVO against POV-Ray on the scenes of bench/scenes (best of 3)
#   scripts/bench.sh --startup        ovo --version, --help, an empty frame, bare OpenImageIO (best of 5)
#   scripts/bench.sh --scaling        seconds against primitives and against resolution
#   scripts/bench.sh --large          --scaling with 1M spheres and 10M triangles too (minutes)
#   scripts/bench.sh --cycles         three spheres in Blender's Cycles beside OVO (installs Blender)
# Parts combine (--peers --startup). Installs what is missing (Debian 12: the build's packages,
# povray and time), builds into build/ with -DOVO_BENCH=ON and writes the large generated
# scenes into a scratch folder that is removed at the end. Run it on a quiet machine and repeat:
# figures of one run on a shared machine drift.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

names=()
parts=()
large=0
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    case "$1" in
        --help|-h) sed -n '2,15p' "$0"; exit 0 ;;
        --micro|--peers|--startup|--scaling) parts+=("${1#--}") ;;
        --large) large=1; parts+=(scaling) ;;
        --cycles) parts+=(cycles) ;;
        -*) echo "bench.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
        *) names+=("$1"); parts+=(micro) ;;
    esac
    shift
done
[ $# -gt 0 ] && shift
[ ${#parts[@]} -eq 0 ] && parts=(micro peers startup scaling)
wants() { [[ " ${parts[*]} " == *" $1 "* ]]; }

if wants micro && [ ${#names[@]} -eq 0 ]; then
    for src in "$OVO_ROOT"/bench/*.cpp; do names+=("$(basename "$src" .cpp)"); done
fi

ovo_install_missing povray time || exit 1
# Blender is large (about 50 packages): only a run that asks for Cycles installs it.
if wants cycles; then ovo_install_missing blender || exit 1; fi
OVO_TARGETS=()
if wants micro; then
    for n in "${names[@]}"; do OVO_TARGETS+=("bench_$n"); done
fi
if wants peers || wants startup || wants scaling || wants cycles; then
    OVO_TARGETS+=(ovo_command ovo_all_plugins)
fi
wants startup && OVO_TARGETS+=(startup_texture_system)
echo "== building benchmarks in $OVO_ROOT/build"
ovo_build "$OVO_ROOT/build" -DOVO_BENCH=ON || { echo "== build failed" >&2; exit 1; }

export OVO_HOME="$OVO_ROOT/build"
status=0
if wants micro; then
    for n in "${names[@]}"; do
        echo "== bench_$n"
        "$OVO_ROOT/build/bin/bench_$n" "$@" || status=1
    done
fi

source "$OVO_ROOT/bench/scenes/timing.sh"
wants peers && { bench_peers || status=1; }
wants startup && { bench_startup || status=1; }
wants scaling && { bench_scaling "$large" || status=1; }
wants cycles && { bench_cycles || status=1; }
exit $status
