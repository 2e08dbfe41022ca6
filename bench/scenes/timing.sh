# Whole-process timings of OVO beside POV-Ray, sourced by scripts/bench.sh (which has built
# build/bin/ovo and set OVO_HOME). Each function prints a Markdown table for the closing note.
# shellcheck shell=bash

export LC_ALL=C  # decimal points in EPOCHREALTIME and awk
BenchScenes="$OVO_ROOT/bench/scenes"
BenchOvo="$OVO_ROOT/build/bin/ovo"
# POV-Ray's method 1 with threshold 0 casts a jittered n x n grid in every pixel: the same
# samples per pixel as OVO's PixelSamples n n. Linear output, as OVO writes it.
BenchPovOptions=(+FN -D +AM1 +A0.0 File_Gamma=1.0)
bench_scratch=""

# Large generated scenes go here, never into the tree.
bench_scratch_dir() {
    if [ -z "$bench_scratch" ]; then
        bench_scratch=$(mktemp -d "${TMPDIR:-/tmp}/ovo-bench.XXXXXX") || return 1
        trap 'rm -rf "$bench_scratch"' EXIT
    fi
    cd "$bench_scratch" || return 1
}

# bench_time RUNS COMMAND...: runs COMMAND RUNS times and keeps the fastest run's wall seconds
# (bench_wall, from the shell's clock), CPU seconds (bench_cpu, user + system) and peak resident
# megabytes (bench_mb; bench_kb in kilobytes). A failed run shows the end of its output and
# returns 1.
bench_time() {
    local runs=$1 r start end wall user sys kb
    shift
    bench_wall=""
    for ((r = 0; r < runs; r++)); do
        start=$EPOCHREALTIME
        if ! /usr/bin/time -f "%U %S %M" -o "$bench_scratch/time" "$@" >"$bench_scratch/log" 2>&1; then
            echo "== failed: $*" >&2
            tail -n 5 "$bench_scratch/log" >&2
            return 1
        fi
        end=$EPOCHREALTIME
        wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
        if [ -z "$bench_wall" ] || awk -v a="$wall" -v b="$bench_wall" 'BEGIN { exit !(a < b) }'; then
            read -r user sys kb < <(tail -n 1 "$bench_scratch/time")
            bench_wall=$wall
            bench_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
            bench_kb=$kb
            bench_mb=$((kb / 1024))
        fi
    done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
seconds() { awk -v a="$1" 'BEGIN { printf "%.2f", a }'; }

# bench_pair RUNS RIB POV WIDTH HEIGHT SAMPLES [1]: times OVO on RIB and POV-Ray on POV with
# the same resolution and samples, with default threads or (a last argument of 1) one thread.
# Leaves ovo_wall ovo_cpu ovo_mb pov_wall pov_cpu pov_mb.
bench_pair() {
    local runs=$1 rib=$2 pov=$3 w=$4 h=$5 n=$6 one=${7:-}
    local ovoThreads=() povThreads=()
    if [ "$one" = 1 ]; then ovoThreads=(-t 1); povThreads=(+WT1); fi
    bench_time "$runs" "$BenchOvo" -q "${ovoThreads[@]}" --res "$w" "$h" --samples "$n" \
        -o "$bench_scratch/ovo.png" "$rib" || return 1
    ovo_wall=$bench_wall ovo_cpu=$bench_cpu ovo_mb=$bench_mb ovo_kb=$bench_kb
    bench_time "$runs" povray +I"$pov" +O"$bench_scratch/pov.png" +W"$w" +H"$h" +R"$n" \
        "${BenchPovOptions[@]}" "${povThreads[@]}" || return 1
    pov_wall=$bench_wall pov_cpu=$bench_cpu pov_mb=$bench_mb
}

bench_peers() {
    bench_scratch_dir || return 1
    echo "== generating the mesh scene in $bench_scratch"
    local triangles
    triangles=$(/usr/bin/python3 "$BenchScenes/generate.py" mesh 2000000 "$bench_scratch/mesh") || return 1
    echo "== OVO against POV-Ray 3.7: 640x480, 4x4 samples per pixel, traced shadows; whole process,"
    echo "   best of 3; ratio = OVO s / POV-Ray s (below 1: OVO is faster)"
    echo
    echo "| scene | threads | OVO s | OVO CPU s | POV-Ray s | POV-Ray CPU s | ratio | OVO peak MB | POV-Ray peak MB |"
    echo "|---|---|---|---|---|---|---|---|---|"
    # The three spheres once more with no shadows traced (the lights' attribute and POV-Ray's
    # shadowless lights), at default threads only.
    sed '/"string shadows"/d' "$BenchScenes/three_spheres.rib" >"$bench_scratch/no_shadows.rib"
    sed 's/^\(light_source {.*\) }$/\1 shadowless }/' "$BenchScenes/three_spheres.pov" >"$bench_scratch/no_shadows.pov"
    local scene rib pov threads label mesh_kb
    for scene in three_spheres no_shadows thousand_spheres mesh; do
        rib="$BenchScenes/$scene.rib" pov="$BenchScenes/$scene.pov" label=$scene
        if [ "$scene" = mesh ]; then
            rib="$bench_scratch/mesh.rib" pov="$bench_scratch/mesh.pov" label="mesh ($triangles triangles)"
        elif [ "$scene" = no_shadows ]; then
            rib="$bench_scratch/$scene.rib" pov="$bench_scratch/$scene.pov" label="three_spheres, no shadows"
        fi
        for threads in default 1; do
            [ "$scene" = no_shadows ] && [ $threads = 1 ] && continue
            bench_pair 3 "$rib" "$pov" 640 480 4 "$([ $threads = 1 ] && echo 1)" || return 1
            echo "| $label | $threads | $(seconds "$ovo_wall") | $ovo_cpu | $(seconds "$pov_wall") | $pov_cpu |" \
                "$(ratio "$ovo_wall" "$pov_wall") | $ovo_mb | $pov_mb |"
        done
        [ "$scene" = mesh ] && mesh_kb=$ovo_kb
    done
    echo
    # What the mesh costs in memory: its peak beyond an empty frame's of the same size, per
    # triangle, and that less its input arrays: 12 bytes per vertex and 16 per triangle (a count
    # and three indices). The generated wall is a grid of (q + 1)² vertices for 2q² triangles.
    bench_time 1 "$BenchOvo" -q --res 640 480 --samples 4 -o "$bench_scratch/empty.png" \
        "$BenchScenes/empty.rib" || return 1
    awk -v m="$mesh_kb" -v e="$bench_kb" -v t="$triangles" 'BEGIN {
        q = int(sqrt(t / 2) + 0.5); v = (q + 1) * (q + 1)
        all = (m - e) * 1024 / t
        printf "mesh: OVO peak beyond an empty frame, per triangle: %.0f bytes\n", all
        printf "mesh: the same beyond its input arrays (%.1f bytes per triangle): %.0f bytes\n",
            (12 * v + 16 * t) / t, all - (12 * v + 16 * t) / t }'
    echo
}

bench_startup() {
    bench_scratch_dir || return 1
    echo "== start-up: best of 5, wall time of the whole process"
    echo
    echo "| run | wall ms | CPU ms | peak MB |"
    echo "|---|---|---|---|"
    local what label empty bare
    for what in version help empty bare; do
        case $what in
            version) label="ovo --version"; bench_time 5 "$BenchOvo" --version ;;
            help) label="ovo --help"; bench_time 5 "$BenchOvo" --help ;;
            empty)
                label="empty frame, written"
                bench_time 5 "$BenchOvo" -q -o "$bench_scratch/empty.png" "$BenchScenes/empty.rib"
                ;;
            bare)
                label="bare program: OpenImageIO, a TextureSystem"
                bench_time 5 "$OVO_ROOT/build/bin/startup_texture_system"
                ;;
        esac || return 1
        [ $what = empty ] && empty=$bench_wall
        [ $what = bare ] && bare=$bench_wall
        echo "| $label | $(awk -v s="$bench_wall" 'BEGIN { printf "%.1f", s * 1000 }') |" \
            "$(awk -v s="$bench_cpu" 'BEGIN { printf "%.0f", s * 1000 }') | $bench_mb |"
    done
    echo
    echo "empty frame beyond the bare OpenImageIO program: $(awk -v a="$empty" -v b="$bare" \
        'BEGIN { printf "%.1f", (a - b) * 1000 }') ms"
    echo
}

# bench_scaling LARGE: seconds against the number of primitives (320x240, 2x2 samples) and
# against resolution (three spheres, 4x4 samples), default threads. LARGE=1 adds 1M spheres
# and 10M triangles, which take minutes to write, read and render; those run once.
bench_scaling() {
    local large=$1
    bench_scratch_dir || return 1
    local spheres=(1 1000 100000) triangles=(10000 100000 1000000)
    if [ "$large" = 1 ]; then spheres+=(1000000); triangles+=(10000000); fi
    echo "== scaling with primitives: 320x240, 2x2 samples per pixel, default threads, whole process"
    echo "   (scene writing not counted), best of 3 (1 for 1M spheres and 10M triangles)"
    echo
    echo "| primitives | count | OVO s | POV-Ray s | ratio | OVO peak MB | POV-Ray peak MB | OVO bytes each |"
    echo "|---|---|---|---|---|---|---|---|"
    # Bytes each: OVO's peak beyond an empty frame's at the same size, per primitive.
    local kind count made runs empty_kb
    bench_time 3 "$BenchOvo" -q --res 320 240 --samples 2 -o "$bench_scratch/empty.png" \
        "$BenchScenes/empty.rib" || return 1
    empty_kb=$bench_kb
    for kind in spheres mesh; do
        local sizes=("${spheres[@]}")
        [ $kind = mesh ] && sizes=("${triangles[@]}")
        for count in "${sizes[@]}"; do
            made=$(/usr/bin/python3 "$BenchScenes/generate.py" $kind "$count" "$bench_scratch/scale") || return 1
            runs=3
            [ "$made" -ge 1000000 ] && [ $kind = spheres ] && runs=1
            [ "$made" -ge 5000000 ] && runs=1
            bench_pair $runs "$bench_scratch/scale.rib" "$bench_scratch/scale.pov" 320 240 2 || return 1
            echo "| $([ $kind = mesh ] && echo triangles || echo spheres) | $made |" \
                "$(seconds "$ovo_wall") | $(seconds "$pov_wall") | $(ratio "$ovo_wall" "$pov_wall") | $ovo_mb | $pov_mb |" \
                "$(awk -v m="$ovo_kb" -v e="$empty_kb" -v n="$made" 'BEGIN { printf "%.0f", (m - e) * 1024 / n }') |"
        done
    done
    rm -f "$bench_scratch"/scale.*
    echo
    echo "== scaling with resolution: three spheres, 4x4 samples per pixel, default threads, best of 3"
    echo
    echo "| resolution | pixels | OVO s | POV-Ray s | ratio | OVO peak MB | POV-Ray peak MB |"
    echo "|---|---|---|---|---|---|---|"
    local size w h
    for size in 160x120 320x240 640x480 1280x960; do
        w=${size%x*} h=${size#*x}
        bench_pair 3 "$BenchScenes/three_spheres.rib" "$BenchScenes/three_spheres.pov" "$w" "$h" 4 || return 1
        echo "| $size | $((w * h)) | $(seconds "$ovo_wall") | $(seconds "$pov_wall") | $(ratio "$ovo_wall" "$pov_wall") |" \
            "$ovo_mb | $pov_mb |"
    done
    echo
}

# bench_cycles: three spheres in Blender's Cycles (three_spheres_cycles.py, the same frame with
# direct light only) beside OVO, 640x480, 16 samples a pixel, each at default threads and one
# thread. Blender takes about a second to start, so its own render time (scene sync to the last
# sample, as its log reports it) is shown beside its whole process, and OVO's render time (its
# --stats "Rendering time": the buckets of the built scene) beside its own; each is the best of 3.
bench_cycles() {
    bench_scratch_dir || return 1
    echo "== OVO against Blender $(blender -b --factory-startup -noaudio --version 2>/dev/null |
        awk '/^Blender/ { print $2; exit }') Cycles (CPU, direct light): three spheres, 640x480,"
    echo "   4x4 samples per pixel, traced shadows; best of 3; ratios to Cycles' render time"
    echo
    echo "| threads | OVO s | OVO CPU s | OVO render s | Cycles render s | Cycles process s | Cycles CPU s |" \
        "ratio, OVO process | ratio, OVO render |"
    echo "|---|---|---|---|---|---|---|---|---|"
    local threads r ovoThreads blenderThreads
    local ovoRender ovoWall ovoCpu cyclesRender cyclesWall cyclesCpu
    # best_of NAME VALUE: NAME becomes VALUE when it is empty or VALUE is smaller.
    best_of() {
        if [ -z "${!1}" ] || awk -v a="$2" -v b="${!1}" 'BEGIN { exit !(a < b) }'; then
            printf -v "$1" '%s' "$2"
        fi
    }
    for threads in default 1; do
        ovoThreads=() blenderThreads=(-t 0)
        [ $threads = 1 ] && ovoThreads=(-t 1) blenderThreads=(-t 1)
        ovoRender="" ovoWall="" ovoCpu="" cyclesRender="" cyclesWall="" cyclesCpu=""
        for ((r = 0; r < 3; r++)); do
            bench_time 1 "$BenchOvo" --stats "${ovoThreads[@]}" --res 640 480 --samples 4 \
                -o "$bench_scratch/ovo.png" "$BenchScenes/three_spheres.rib" || return 1
            best_of ovoRender "$(awk '/^Rendering time/ { print $3 }' "$bench_scratch/log")"
            [ -n "$ovoRender" ] || { echo "== no rendering time in OVO's statistics" >&2; return 1; }
            if [ -z "$ovoWall" ] || awk -v a="$bench_wall" -v b="$ovoWall" 'BEGIN { exit !(a < b) }'; then
                ovoWall=$bench_wall ovoCpu=$bench_cpu
            fi
            bench_time 1 blender -b --factory-startup -noaudio "${blenderThreads[@]}" \
                -P "$BenchScenes/three_spheres_cycles.py" -- "$bench_scratch/cycles.png" 640 480 4 ||
                return 1
            # "Fra:1 ... | Time:00:02.88 | ... | Finished": minutes and seconds.
            best_of cyclesRender "$(awk -F'Time:' '/\| Finished/ { split($2, t, /[: |]/); s = t[1] * 60 + t[2] }
                END { print s }' "$bench_scratch/log")"
            [ -n "$cyclesRender" ] || { echo "== no render time in Blender's log" >&2; return 1; }
            if [ -z "$cyclesWall" ] || awk -v a="$bench_wall" -v b="$cyclesWall" 'BEGIN { exit !(a < b) }'; then
                cyclesWall=$bench_wall cyclesCpu=$bench_cpu
            fi
        done
        echo "| $threads | $(seconds "$ovoWall") | $ovoCpu | $(seconds "$ovoRender") | $(seconds "$cyclesRender") |" \
            "$(seconds "$cyclesWall") | $cyclesCpu | $(ratio "$ovoWall" "$cyclesRender") |" \
            "$(ratio "$ovoRender" "$cyclesRender") |"
    done
    echo
}
