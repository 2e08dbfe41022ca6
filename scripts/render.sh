#!/usr/bin/env bash
# Renders a scene with the ovo command.
#   scripts/render.sh                 render scenes/example.rib
#   scripts/render.sh scene.rib       render the given RIB file
#   scripts/render.sh scene.rib -- --progress --samples 4   pass options on to ovo
# Installs what is missing (Debian 12), builds into build/ and writes the image into out/,
# named after the scene, then prints where it is.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

scene="$OVO_ROOT/scenes/example.rib"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    case "$1" in
        --help|-h) sed -n '2,7p' "$0"; exit 0 ;;
    esac
    scene="$1"; shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift
[ -r "$scene" ] || { echo "render.sh: cannot read $scene" >&2; exit 1; }
scene="$(cd "$(dirname "$scene")" && pwd)/$(basename "$scene")"

ovo_install_missing || exit 1
echo "== building in $OVO_ROOT/build"
ovo_build "$OVO_ROOT/build" || { echo "== build failed" >&2; exit 1; }

mkdir -p "$OVO_ROOT/out"
name="$(basename "$scene")"; name="${name%.gz}"; name="${name%.rib}"
image="$OVO_ROOT/out/$name.png"
echo "== rendering $scene"
# Relative paths in the scene (archives, textures) are read from the scene's folder.
cd "$(dirname "$scene")" || exit 1
"$OVO_ROOT/build/bin/ovo" -o "$image" "$@" "$scene"
status=$?
if [ $status -eq 0 ] && [ -f "$image" ]; then
    echo "== image: $image"
else
    echo "== render failed (status $status)" >&2
    [ $status -eq 0 ] && status=1
fi
exit $status
