#!/usr/bin/env bash
# Measures how many seeded faults the test suites catch (a mutation score per room).
#   scripts/mutate.sh                     10 mutants in each room, seed 2026, build in build-mutate/
#   scripts/mutate.sh --list              only list the mutants that would be tried
#   scripts/mutate.sh --per-room 12 --seed 7 --rooms math,render
#   scripts/mutate.sh --from tests/mutants.txt [--rooms r,…]   the recorded mutants (--save FILE records a choice)
#   scripts/mutate.sh --from tests/mutants.txt --which   also names the tests that catch each mutant
# Each mutant changes one line of a source file, rebuilds what depends on it, runs the suites of
# its room and puts the file back (also when interrupted). Run it on a clean checkout: it edits
# files in place while it works.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
case "${1:-}" in
    --help|-h) sed -n '2,9p' "$0"; exit 0 ;;
esac
ovo_install_missing python3 || exit 1
if [ "${1:-}" != "--list" ]; then
    echo "== configuring build-mutate"
    OVO_TARGETS=(ovo)
    ovo_build "$OVO_ROOT/build-mutate" >/dev/null || { echo "== build failed" >&2; exit 1; }
fi
exec python3 "$OVO_ROOT/scripts/mutate.py" --build "$OVO_ROOT/build-mutate" "$@"
