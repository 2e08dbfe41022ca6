#!/usr/bin/env bash
# The render farm against a real one-node Slurm cluster started here (loopback, no munge, no
# systemd) and stopped on exit: a frame cut into 4x4 tiles and a 3-frame sequence must equal
# their one-machine renders bit for bit, and a task that keeps failing is submitted twice and
# then reported with its log.
#   tests/farm/run.sh BUILD-DIR
set -uo pipefail

build="$(cd "${1:?usage: run.sh BUILD-DIR}" && pwd)"
if [ "$(id -u)" -ne 0 ]; then
    echo "== farm test skipped: it starts Slurm's daemons, which needs root"
    exit 0
fi
for c in slurmctld slurmd sbatch squeue sinfo oiiotool idiff; do
    command -v $c >/dev/null || { echo "== farm test: $c is missing (slurmctld, slurmd, slurm-client, openimageio-tools)" >&2; exit 1; }
done

work="$(mktemp -d /tmp/ovo-farm-test.XXXXXX)"
pids=()
stop() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$p" 2>/dev/null
    done
    rm -rf "$work"
}
trap stop EXIT
fail() {
    echo "== FARM TEST FAILED: $*" >&2
    for f in "$work"/slurmctld.log "$work"/slurmd.log; do
        [ -s "$f" ] && { echo "-- $f:" >&2; tail -20 "$f" >&2; }
    done
    exit 1
}

# --- the cluster ---
host="$(hostname -s)"
node="$(slurmd -C | head -1)"
memory=$(sed -n 's/.*RealMemory=\([0-9]*\).*/\1/p' <<<"$node")
node="$(sed "s/RealMemory=[0-9]*/RealMemory=$((memory * 9 / 10))/" <<<"$node") NodeAddr=127.0.0.1 State=UNKNOWN"
port=$((20000 + ($$ % 5000) * 2))  # two runs on one machine keep out of each other's way
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=ovotest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/none
CredType=cred/none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0
DependencyParameters=kill_invalid_depend
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
MpiDefault=none
ReturnToService=2
MinJobAge=300
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
$node
PartitionName=ovo Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
setsid slurmctld -D -i >"$work/slurmctld.out" 2>&1 &
pids+=($!)
setsid slurmd -D >"$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && break
    sleep 0.2
done
[ "$(sinfo -h -o %T 2>/dev/null)" = idle ] || fail "the node did not come up"
echo "== farm test: one-node cluster on $host up"

ovo="$build/bin/ovo" farm="$build/bin/ovo-farm"
cd "$work" || exit 1
# Noise everywhere (jitter, occlusion rays at every shading point) in float pixels: any
# difference in a pixel's random numbers or its sums shows.
scene() {  # scene FRAME-NUMBER DISPLAY SHADER
    cat <<EOF
FrameBegin $1
Format 96 72 1
PixelSamples 2 2
Quantize "rgba" 0 0 0 0
Display "$2" "file" "rgba"
Projection "perspective" "fov" [40]
WorldBegin
Surface "$3" "float samples" [6] "float maxerror" [0]
AttributeBegin
Translate $(awk -v f="$1" 'BEGIN { print 0.3 * f - 0.6 }') 0.2 4
Sphere 1.2 -1.2 1.2 360
AttributeEnd
Polygon "P" [-9 -1.2 -9  9 -1.2 -9  9 -1.2 9  -9 -1.2 9]
WorldEnd
FrameEnd
EOF
}
same() { idiff -fail 0 -failpercent 0 -warn 0 "$1" "$2" >"$work/idiff.out" 2>&1 || { cat "$work/idiff.out"; fail "$2 differs from $1"; }; }

# --- a frame in 4x4 tiles ---
mkdir -p single farm
scene 1 frame.tif occlusion >frame.rib
(cd single && "$ovo" -q ../frame.rib) || fail "the single render failed"
start=$SECONDS
(cd farm && "$farm" --poll 0.2 -o frame.tif ../frame.rib >../tiles.out 2>&1) || { cat tiles.out; fail "the tiled render failed"; }
grep -q "16/16 tiles done" tiles.out && grep -q "stitched" tiles.out || { cat tiles.out; fail "no progress reported"; }
same single/frame.tif farm/frame.tif
echo "== farm test: 16 tiles stitched equal the single render ($((SECONDS - start)) s)"

# --- a sequence of three frames ---
for f in 1 2 3; do scene $f "seq.$f.tif" occlusion; done >seq.rib
(cd single && "$ovo" -q ../seq.rib) || fail "the single sequence render failed"
(cd farm && "$farm" --poll 0.2 ../seq.rib >../seq.out 2>&1) || { cat seq.out; fail "the sequence failed"; }
for f in 1 2 3; do same "single/seq.$f.tif" "farm/seq.$f.tif"; done
ls seq.farm-*.rib >/dev/null 2>&1 && fail "the sequence's pieces were left beside it"
echo "== farm test: 3 frames equal the single renders"

# --- a task that fails twice ---
{ scene 1 bad.1.tif occlusion; scene 2 bad.2.tif nosuchshader; } >bad.rib
(cd farm && "$farm" --poll 0.2 ../bad.rib >../bad.out 2>&1)
status=$?
[ $status -eq 1 ] || { cat bad.out; fail "a failing task gave exit status $status, not 1"; }
for want in "failed: tasks 1; submitting them again" "task 1 failed twice; its log:" \
    "nosuchshader" "1/2 frames done"; do
    grep -qF "$want" bad.out || { cat bad.out; fail "the report lacks \"$want\""; }
done
[ -e farm/bad.1.tif ] || fail "the frame that worked was not written"
echo "== farm test: a failing task was retried once, then reported"
echo "== farm test passed"
