#!/usr/bin/env bash
# Renders the public scenes that have a reference picture and compares each with it.
#   scripts/public_scenes.sh                   every scene listed in ../shared/scenes/reference
#   scripts/public_scenes.sh bike creases      only the pictures whose names contain these words
# Each scene is rendered from its own folder with the built ovo into out/public/<picture>; a
# picture matches when the mean absolute difference of its colour channels is at most a tenth
# of the reference's mean brightness (sampling noise and small shading differences pass, a
# missing object or a wrong colour does not). Prints one row per scene and a summary; the exit
# status is the number of scenes that do not match (0 when all do).
# The scenes and the shaders they came with live in two trees (../shared/scenes/aqsis and
# ../shared/shaders/aqsis): each scene folder is staged in out/public/stage with links to both,
# so the scene's relative shader paths and its own .sl files (compiled on demand) are found,
# and files a scene makes (textures, shadow maps) have a writable home.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

shared="${OVO_SHARED:-$OVO_ROOT/../shared}"
table="$shared/scenes/reference/README.md"
[ -r "$table" ] || { echo "no reference table at $table (set OVO_SHARED)" >&2; exit 2; }
command -v oiiotool >/dev/null || ovo_install_missing || exit 2
[ -x "$OVO_ROOT/build/bin/ovo" ] || { ovo_build "$OVO_ROOT/build" || exit 2; }
ovo="$OVO_ROOT/build/bin/ovo"
out="$OVO_ROOT/out/public"
mkdir -p "$out"

# avg <oiiotool arguments>: the mean of the three colour channels of the resulting image, 0..1.
# Integer images report their statistics in their own units ("(of 255)"): those are scaled.
avg() {
    oiiotool "$@" --printstats 2>/dev/null |
        awk '/Stats Avg:/ {
            scale = 1
            if (match($0, /\(of [0-9]+\)/)) scale = substr($0, RSTART + 4, RLENGTH - 5)
            printf "%.4f", ($3 + $4 + $5) / 3 / scale; exit }'
}

stage="$out/stage"
# stage_folder <folder below aqsis/>: links to the scene files and the shader sources of it.
stage_folder() {
    local dir="$stage/aqsis/$1" tree f
    mkdir -p "$dir"
    # The scene's own files first; then the collection's standard shader sources, which the
    # other renderer had on its default shader path.
    for tree in "$shared/scenes/aqsis/$1" "$shared/shaders/aqsis/$1" \
        "$shared"/shaders/aqsis/shaders/{surface,displacement,light,volume,imager}; do
        [ -d "$tree" ] || continue
        for f in "$tree"/*; do
            [ -f "$f" ] && [ ! -e "$dir/$(basename "$f")" ] && ln -s "$f" "$dir/"
        done
    done
    # A scene's own procedural objects ("DynamicLoad") are built against OVO's ri.h; the
    # collection's sources want their renderer's export macro, which needs nothing here.
    for f in "$shared/scenes/aqsis/$1"/*.cpp; do
        [ -f "$f" ] && grep -q ConvertParameters "$f" || continue
        local object="$dir/$(basename "${f%.cpp}").so"
        [ "$object" -nt "$f" ] && [ "$object" -nt "$OVO_ROOT/ri/ri.h" ] && continue
        c++ -O2 -fPIC -shared -DAQSIS_EXPORT= -I "$OVO_ROOT/ri" "$f" -o "$object" >&2 ||
            echo "cannot build $f" >&2
    done
    # The collection's texture preparation made X.tex from each picture X.tif, repeating
    # in s and t.
    for f in "$shared/scenes/aqsis/$1"/*.tif; do
        [ -f "$f" ] || continue
        local tex="$dir/$(basename "${f%.tif}").tex"
        # Made again unless it is newer than this script, so that a texture an older version of
        # the preparation left behind (without the repeat) is not used.
        [ "$tex" -nt "$OVO_ROOT/scripts/public_scenes.sh" ] && [ "$tex" -nt "$f" ] && continue
        oiiotool "$f" -otex:fileformatname=tiff:wrap=periodic "$tex" >/dev/null 2>&1
    done
    echo "$dir"
}
mkdir -p "$stage/aqsis"
[ -e "$stage/aqsis/shaders" ] || ln -s "$shared/shaders/aqsis/shaders" "$stage/aqsis/shaders"

# Pictures whose reference shows another frame than the scene's last: the display it shows.
declare -A shownDisplay=([fisheye_envmap.png]=rpx.tif)

matched=0; total=0; failed=0
printf '%-28s %-8s %8s %8s %5s %7s\n' picture result diff limit exit seconds
while IFS='|' read -r _ picture scene _; do
    picture="$(echo "$picture" | xargs)"; scene="$(echo "$scene" | xargs)"
    case "$picture" in *.png) ;; *) continue ;; esac
    if [ $# -gt 0 ]; then
        keep=0
        for w in "$@"; do case "$picture" in *"$w"*) keep=1 ;; esac; done
        [ $keep -eq 1 ] || continue
    fi
    total=$((total + 1))
    ref="$shared/scenes/reference/$picture"
    image="$out/$picture"
    rm -f "$image"
    start=$SECONDS
    folder=$(stage_folder "$(dirname "${scene#aqsis/}")")
    # The picture is the last frame's file display (earlier frames of a file often make its
    # shadow maps, which -o would replace); a scene without one is written with -o.
    file="$(basename "$scene")"
    last=$(grep -hoE '^[[:space:]]*Display[[:space:]]+"[^"+][^"]*"[[:space:]]+"(file|tiff)"' \
        "$folder/$file" | tail -n 1 | sed -E 's/.*Display[[:space:]]+"([^"]+)".*/\1/')
    last="${shownDisplay[$picture]:-$last}"
    if [ -n "$last" ]; then
        rm -f "$folder/$last"
        (cd "$folder" && timeout 600 "$ovo" -q "$file" >"$out/${picture%.png}.log" 2>&1)
        code=$?
        [ -s "$folder/$last" ] && oiiotool "$folder/$last" -o "$image" >/dev/null 2>&1
    else
        (cd "$folder" &&
            timeout 600 "$ovo" -q -o "$image" "$file" >"$out/${picture%.png}.log" 2>&1)
        code=$?
    fi
    seconds=$((SECONDS - start))
    result=differs; diff=-; limit=-
    if [ ! -s "$image" ]; then
        result=missing
    else
        # The reference sets the size: a picture of another size is resized before comparing.
        size=$(oiiotool --info "$ref" | sed -E 's/.*: *([0-9]+) x *([0-9]+),.*/\1x\2/')
        diff=$(avg "$image" --ch 0,1,2 --resize "$size" "$ref" --ch 0,1,2 --absdiff)
        limit=$(awk -v m="$(avg "$ref" --ch 0,1,2)" 'BEGIN { printf "%.4f", m / 10 }')
        if [ -n "$diff" ] && awk -v d="$diff" -v l="$limit" 'BEGIN { exit !(d <= l) }'; then
            result=matches; matched=$((matched + 1))
        fi
        diff=$(awk -v d="${diff:-1}" 'BEGIN { printf "%.4f", d }')
    fi
    [ "$result" = matches ] || failed=$((failed + 1))
    printf '%-28s %-8s %8s %8s %5s %7s\n' "$picture" "$result" "$diff" "$limit" "$code" "$seconds"
done <"$table"
echo "== $matched of $total match their reference; pictures and logs in $out"
exit $failed
