#!/usr/bin/env bash
# Times `quaylet-cli unplug` against the same work done with the plain tools, pair by pair.
#
# Usage, as root: bench/unplug_vs_plain_tools.sh [BUILD_DIR [PAIRS]]
#   BUILD_DIR  the build with bin/quaylet-cli and bin/quaylet-diskutil (default: build)
#   PAIRS      timed pairs per case (default: 10)
#
# Everything happens in a private mount namespace on a tmpfs of its own. Each run gets a fresh
# setup: a dock SSD (an ext2 image on a loop device) with four disk images on it, each on a loop
# device of its own and mounted, all synced; and a copy of the docked laptop's device tree
# (tests/fixtures/laptop-dock) in which the SSD's loop device is the dock's USB SSD and the
# images' loop devices are loop devices, so the five volumes are behind the dock.
#
#   unplug  `quaylet-cli unplug` against, per volume (images first), `umount` then `losetup -d`.
#   busy    a `sleep` works in image One: `quaylet-cli unplug` (which fails and names it)
#           against `umount` tried on each volume, then one `lsof` on those that stayed.
#
# The two sides of a pair run one after the other, their order alternating from pair to pair.
# Only the commands are timed: wall time, and the CPU time (user and system) of the programs
# they started, which a machine busy with other work disturbs far less. Prints each pair and
# the medians. Cleans up in every outcome.
set -euo pipefail

if [[ $EUID -ne 0 ]]; then
    echo "unplug_vs_plain_tools.sh: run as root (it mounts, and attaches loop devices)" >&2
    exit 2
fi
if [[ "${QUAYLET_BENCH_NAMESPACE:-}" != private ]]; then
    QUAYLET_BENCH_NAMESPACE=private exec unshare --mount --propagation private -- "$0" "$@"
fi

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
pairs=${2:-10}
cli=$build_dir/bin/quaylet-cli
for program in "$cli" "$build_dir/bin/quaylet-diskutil"; do
    [[ -x $program ]] || { echo "no $program: build it first" >&2; exit 2; }
done
# The plain tools were read into the page cache from disk, in large pieces; a program just
# written by the linker sits there in small ones, and starts measurably slower. Both sides start
# from a cache filled the same way: Quaylet's programs are dropped from it and read back.
for program in "$cli" "$build_dir/bin/quaylet-diskutil" "$build_dir/bin/quaylet-udisks.so"; do
    if [[ -f $program ]]; then
        dd if="$program" iflag=nocache count=0 status=none
        cat "$program" >/dev/null
    fi
done
for tool in mkfs.ext2 losetup umount lsof sleep; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

# The dock SSD's SCSI device in the docked laptop's tree.
dock_ssd="devices/pci0000:00/0000:00:07.0/0000:20:00.0/0000:21:01.0/0000:23:00.0/usb6/6-1/6-1.2"
dock_ssd+="/6-1.2:1.0/host0/target0:0:0/0:0:0:0"
images=(One Two Three Four)

work=$(mktemp -d /tmp/quaylet-bench.XXXXXX)
mount -t tmpfs -o size=512m quaylet-bench "$work"
mkdir "$work/mnt"

loops=()  # this setup's loop devices, the SSD's first
mounts=() # this setup's mount points, the SSD's first
busy_child=""
micros=0
cpu_micros=0

# Unmounts what this script mounted and detaches the loop devices of its images, however far a
# run got: images first, so that the SSD holding their files can go. Only devices attached to
# a file under this script's folder are touched.
teardown() {
    if [[ -n $busy_child ]]; then
        kill "$busy_child" 2>/dev/null || true
        wait "$busy_child" 2>/dev/null || true
        busy_child=""
    fi
    local pass target device file
    for pass in 1 2 3; do
        while read -r target; do
            umount "$target" 2>/dev/null || true
        done < <(findmnt -rn -o TARGET | grep "^$work/mnt/" | sort -r)
        while read -r device file; do
            [[ $file == "$work/"* ]] && { losetup -d "$device" 2>/dev/null || true; }
        done < <(losetup -l -n -O NAME,BACK-FILE)
    done
    if findmnt -rn -o TARGET | grep -q "^$work/mnt/"; then
        echo "could not unmount everything under $work/mnt" >&2
    fi
    loops=()
    mounts=()
    rm -rf "${work:?}/sys" "${work:?}/ssd.img" "${work:?}/mnt/"*
}

cleanup() {
    teardown
    umount "$work" 2>/dev/null || true
    rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A volume: an ext2 file system labelled NAME in IMAGE (MiB), on a new loop device, mounted.
add_volume() {
    local name=$1 image=$2 size=$3
    truncate -s "${size}M" "$image"
    mkfs.ext2 -q -F -L "$name" "$image"
    local loop
    loop=$(losetup --show -f "$image")
    loops+=("$loop")
    mkdir -p "$work/mnt/$name"
    mount "$loop" "$work/mnt/$name"
    mounts+=("$work/mnt/$name")
}

number_of() { stat -L -c '%t %T' "$1" | { read -r hex_major hex_minor; echo "$((16#$hex_major)):$((16#$hex_minor))"; }; }
sectors_of() { echo $(($(stat -c %s "$1") / 512)); }

# A block device directory as the kernel lays it out, with its class, block and dev links.
add_block_directory() {
    local tree=$1 path=$2 name=$3 number=$4 sectors=$5
    local directory=$tree/$path
    mkdir -p "$directory"
    echo "$number" >"$directory/dev"
    echo "$sectors" >"$directory/size"
    echo 0 >"$directory/ro"
    echo 0 >"$directory/removable"
    printf 'MAJOR=%s\nMINOR=%s\nDEVNAME=%s\nDEVTYPE=disk\n' "${number%:*}" "${number#*:}" \
        "$name" >"$directory/uevent"
    ln -sfr "$tree/class/block" "$directory/subsystem"
    ln -sfr "$directory" "$tree/class/block/$name"
    ln -sfr "$directory" "$tree/block/$name"
    ln -sfr "$directory" "$tree/dev/block/$number"
}

# The docked laptop's tree, with this run's loop devices in place of the fixture's.
make_tree() {
    local tree=$work/sys listing link
    cp -a "$source_dir/tests/fixtures/laptop-dock/sys" "$tree"
    for listing in class/block block dev/block; do
        for link in "$tree/$listing"/*; do
            if [[ $(readlink "$link") == */virtual/block/loop* ]]; then rm "$link"; fi
        done
    done
    rm -rf "$tree/devices/virtual/block"/loop*
    local ssd=${loops[0]#/dev/}
    add_block_directory "$tree" "$dock_ssd/block/$ssd" "$ssd" "$(number_of "${loops[0]}")" \
        "$(sectors_of "$work/ssd.img")"
    ln -sfr "$tree/$dock_ssd" "$tree/$dock_ssd/block/$ssd/device"
    local i name path
    for ((i = 1; i < ${#loops[@]}; i++)); do
        name=${loops[i]#/dev/}
        path=devices/virtual/block/$name
        add_block_directory "$tree" "$path" "$name" "$(number_of "${loops[i]}")" \
            "$(sectors_of "${mounts[0]}/${images[i - 1]}.img")"
        mkdir -p "$tree/$path/loop"
        echo "${mounts[0]}/${images[i - 1]}.img" >"$tree/$path/loop/backing_file"
        echo 0 >"$tree/$path/loop/autoclear"
    done
}

setup() {
    teardown
    add_volume DockSSD "$work/ssd.img" 64
    local name
    for name in "${images[@]}"; do
        add_volume "$name" "${mounts[0]}/$name.img" 8
    done
    make_tree
    sync
}

now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# The CPU time, in microseconds, that this shell's finished children had used when `times`
# wrote FILE (its second line: their user and system time, to the millisecond).
children_cpu_us() {
    awk 'NR == 2 {
        total = 0
        for (i = 1; i <= 2; i++) { split($i, p, "m"); total += p[1] * 60 + substr(p[2], 1, length(p[2]) - 1) }
        printf "%d", total * 1000000 }' "$1"
}

# Runs "$@" in this shell; sets `micros` to its wall time and `cpu_micros` to the CPU time of
# the programs it started, in microseconds. Its output goes to $work/out. `times` runs in this
# shell, before and after, so that only the command's programs fall between the two.
timed() {
    local start end
    times >"$work/cpu.before"
    start=$(now_us)
    "$@" >"$work/out" 2>&1 || true
    end=$(now_us)
    times >"$work/cpu.after"
    micros=$((end - start))
    cpu_micros=$(($(children_cpu_us "$work/cpu.after") - $(children_cpu_us "$work/cpu.before")))
}

quaylet_unplug() { "$cli" unplug --sysfs "$work/sys"; }
quaylet_busy() { quaylet_unplug; }

plain_unplug() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do # the images, then the SSD
        umount "${mounts[i]}"
        losetup -d "${loops[i]}"
    done
}

plain_busy() {
    local i still=()
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || still+=("${mounts[i]}")
    done
    lsof -Fn "${still[@]}" || true
}

start_busy_child() {
    (cd "$work/mnt/One" && exec sleep 600) &
    busy_child=$!
    while [[ $(readlink "/proc/$busy_child/cwd" 2>/dev/null) != "$work/mnt/One" ]]; do sleep 0.01; done
}

# run_side CASE SIDE: a fresh setup, then the timed side; sets `micros`. Runs in this shell,
# never a subshell, so that what it sets up is always known to the cleanup.
run_side() {
    local case=$1 side=$2
    setup
    if [[ $case == busy ]]; then start_busy_child; fi
    timed "${side}_${case}"
    check_outcome "$case" "$side"
    teardown
}

check_outcome() {
    local case=$1 side=$2 left=0 mount
    for mount in "${mounts[@]}"; do
        mountpoint -q "$mount" && left=$((left + 1))
    done
    local want=0
    [[ $case == busy ]] && want=2 # image One and the SSD that holds its file
    if [[ $left -ne $want ]]; then
        echo "unexpected outcome of $side $case: $left volumes left mounted, not $want" >&2
        cat "$work/out" >&2
        exit 1
    fi
    if [[ $side == quaylet && $case == busy ]] && ! grep -q "by sleep" "$work/out"; then
        echo "quaylet-cli did not name the busy process:" >&2
        cat "$work/out" >&2
        exit 1
    fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratio() { awk -v q="$1" -v p="$2" 'BEGIN { printf "%.3f", (p > 0) ? q / p : 0 }'; }
ms() { awk -v v="$1" 'BEGIN { printf "%7.2f", v / 1000 }'; }

run_case() {
    local case=$1 pair q p qc pc ratios=() cpu_ratios=() qs=() ps=() qcs=() pcs=()
    echo "== $case: quaylet-cli unplug against the plain tools, $pairs pairs (times in ms)"
    for ((pair = 1; pair <= pairs; pair++)); do
        if ((pair % 2)); then
            run_side "$case" quaylet; q=$micros; qc=$cpu_micros
            run_side "$case" plain; p=$micros; pc=$cpu_micros
        else
            run_side "$case" plain; p=$micros; pc=$cpu_micros
            run_side "$case" quaylet; q=$micros; qc=$cpu_micros
        fi
        qs+=("$q"); ps+=("$p"); qcs+=("$qc"); pcs+=("$pc")
        ratios+=("$(ratio "$q" "$p")")
        cpu_ratios+=("$(ratio "$qc" "$pc")")
        printf '  pair %2d  wall: quaylet %s  plain %s  ratio %s   CPU: quaylet %s  plain %s  ratio %s\n' \
            "$pair" "$(ms "$q")" "$(ms "$p")" "${ratios[-1]}" "$(ms "$qc")" "$(ms "$pc")" \
            "${cpu_ratios[-1]}"
    done
    printf '  median    wall: quaylet %s  plain %s  ratio %s   CPU: quaylet %s  plain %s  ratio %s\n' \
        "$(ms "$(printf '%s\n' "${qs[@]}" | median)")" "$(ms "$(printf '%s\n' "${ps[@]}" | median)")" \
        "$(printf '%s\n' "${ratios[@]}" | median)" \
        "$(ms "$(printf '%s\n' "${qcs[@]}" | median)")" "$(ms "$(printf '%s\n' "${pcs[@]}" | median)")" \
        "$(printf '%s\n' "${cpu_ratios[@]}" | median)"
    echo "  (ratios: medians of the pair ratios)"
}

run_case unplug
run_case busy
