#!/usr/bin/env bash
# Compiles every shading-language source under the given folders with the built ovoslc and
# reports, per file, whether it compiled, the front end's and the C++ compiler's times, or the
# first error; then the share that compiled. Files that define no shader (headers kept as .sl)
# are listed apart and not counted.
#   scripts/compile_shaders.sh [--build dir] folder...
# Each source is compiled with -I its own folder and -I every folder named "include" beside
# the sources. The plugins are written into a scratch folder and removed.
set -uo pipefail
build="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
if [ $# -gt 1 ] && [ "$1" = "--build" ]; then build="$2"; shift 2; fi
[ $# -gt 0 ] || { sed -n '2,8p' "$0"; exit 2; }
slc="$build/bin/ovoslc"
[ -x "$slc" ] || { echo "compile_shaders.sh: no $slc" >&2; exit 1; }

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
mapfile -t sources < <(find "$@" -name '*.sl' | sort)
includes=()
while IFS= read -r d; do includes+=(-I "$d"); done < <(find "$@" -type d -name include)

total=0 good=0 fe=0 cxx=0
for f in "${sources[@]}"; do
    if ! grep -qE '^[[:space:]]*(surface|displacement|light|volume|imager)([[:space:]]|$)' "$f"; then
        echo "not a shader  $f"
        continue
    fi
    total=$((total + 1))
    if log="$("$slc" -v -I "$(dirname "$f")" "${includes[@]}" -o "$out" "$f" 2>&1)"; then
        good=$((good + 1))
        times="$(echo "$log" | sed -n 's/.*: front end \([0-9.]*\) s, C++ compiler \([0-9.]*\) s.*/\1 \2/p' | tail -1)"
        read -r a b <<<"$times"
        fe="$(echo "$fe + ${a:-0}" | bc)"; cxx="$(echo "$cxx + ${b:-0}" | bc)"
        printf 'ok    %6.3f s %6.3f s  %s\n' "${a:-0}" "${b:-0}" "$f"
    else
        printf 'FAIL  %s\n      %s\n' "$f" "$(echo "$log" | grep -m1 -E 'error' || echo "$log" | head -1)"
    fi
done
echo "compiled $good of $total shaders ($(( total ? 100 * good / total : 0 ))%);" \
     "front end $fe s, C++ compiler $cxx s in all"
[ "$good" -eq "$total" ]
