#!/usr/bin/env bash
# quaylet-cli unplug as a user made for the test, against real udisksd and polkitd on a system
# bus and in a mount namespace of the test's own, each loop device the dock's SSD in a copy of
# the docked laptop's tree. Checks: the user's udisks mount is unmounted and its loop deleted
# through udisks; root's mount is "not allowed", never "in use"; a file a root process holds
# open is "in use by a process of another user or of the system", naming no process.
# Usage: udisks_session_test.sh QUAYLET_CLI PLACE_DOCK_SSD
# Exits 77 (skipped) when not root or a program is missing, unless QUAYLET_REQUIRE_REAL=1.
set -euo pipefail

cli=$1
place_dock_ssd=$2

skip() {
    if [[ "${QUAYLET_REQUIRE_REAL:-}" == 1 ]]; then
        echo "FAIL: cannot run: $*" >&2
        exit 1
    fi
    echo "SKIP: $*" >&2
    exit 77
}

polkitd=/usr/lib/polkit-1/polkitd
udisksd=/usr/libexec/udisks2/udisksd
udevd=/lib/systemd/systemd-udevd
[[ $(id -u) -eq 0 ]] || skip "needs root"
for program in dbus-daemon "$polkitd" "$udisksd" "$udevd" udisksctl gdbus useradd userdel \
    setpriv unshare losetup mkfs.ext2 "$cli" "$place_dock_ssd"; do
    command -v "$program" >/dev/null || skip "$program is not installed (scripts/deps test)"
done

# Everything below runs in a private mount namespace, whose mounts end with it.
if [[ "${QUAYLET_UDISKS_NAMESPACE:-}" != 1 ]]; then
    exec env QUAYLET_UDISKS_NAMESPACE=1 unshare --mount --propagation private -- "$0" "$@"
fi

scratch=$(mktemp -d /tmp/quaylet-udisks.XXXXXX)
fail() { cat "$scratch"/*.log >&2; echo "FAIL: $*" >&2; exit 1; }
chmod 755 "$scratch"
user="qlt-udisks-$$"
pids=()
failures=0

cleanup() {
    local pid image
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    for image in "$scratch"/*.img; do
        [[ -e "$image" ]] || continue
        while read -r loop; do
            umount "${loop%%:*}" 2>/dev/null || true
            losetup -d "${loop%%:*}" 2>/dev/null || true
        done < <(losetup -j "$image" -O NAME -n 2>/dev/null || true)
    done
    userdel "$user" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' TERM INT HUP

check() { # check DESCRIPTION COMMAND...: counts a failure, showing the last unplug's output
    if "${@:2}"; then
        echo "ok: $1"
    else
        printf 'FAILED: %s\n%s\n%s\n' "$1" "$out" "$errors" >&2
        failures=$((failures + 1))
    fi
}

as_user() {
    setpriv --reuid="$user" --regid="$user" --init-groups -- \
        env DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" "$@"
}

# The test's own view of the daemons' state folders and of /media, and of /dev/disk, where udev
# would otherwise leave its links to the test's loop devices on the host's /dev.
for folder in /run/udev /run/udisks2 /media /dev/disk; do
    mkdir -p "$folder"
    mount -t tmpfs -o mode=755 tmpfs "$folder"
done
mkdir -p "$scratch/var-lib-udisks2" /var/lib/udisks2
mount --bind "$scratch/var-lib-udisks2" /var/lib/udisks2

useradd --system --no-create-home --home-dir / --shell /usr/sbin/nologin "$user"

# polkit: the test user may set up and mount loop devices without a password; everything else
# follows udisks' own policy (another user's mount needs an administrator).
mkdir "$scratch/rules.d"
cat >"$scratch/rules.d/50-quaylet-test.rules" <<EOF
polkit.addRule(function(action, subject) {
    if (subject.user == "$user" &&
        (action.id == "org.freedesktop.udisks2.loop-setup" ||
         action.id == "org.freedesktop.udisks2.filesystem-mount")) {
        return polkit.Result.YES;
    }
});
EOF
chown -R polkitd "$scratch/rules.d"
chmod 700 "$scratch/rules.d"
mount --bind "$scratch/rules.d" /etc/polkit-1/rules.d

# A system bus like the machine's, on a socket of the test's, with no service activation.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/system_bus_socket"
sed -e '/<pidfile>/d' -e '/<servicehelper>/d' -e '/standard_system_servicedirs/d' \
    -e "s#<listen>.*</listen>#<listen>$DBUS_SYSTEM_BUS_ADDRESS</listen>#" \
    -e 's#<includedir>system.d</includedir>#<includedir>/usr/share/dbus-1/system.d</includedir>#' \
    /usr/share/dbus-1/system.conf >"$scratch/system-bus.conf"
# Waits up to ten seconds for the bus name $1 (object $2) to answer; fails with the logs if not.
wait_for_name() {
    for _ in $(seq 50); do
        gdbus introspect --system --dest "$1" --object-path "$2" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    fail "$1 did not come up on the test's system bus"
}
dbus-daemon --config-file="$scratch/system-bus.conf" --nofork --nopidfile \
    2>"$scratch/dbus.log" &
pids+=($!)
wait_for_name org.freedesktop.DBus /org/freedesktop/DBus
"$polkitd" --no-debug >"$scratch/polkitd.log" 2>&1 &
pids+=($!)
wait_for_name org.freedesktop.PolicyKit1 /org/freedesktop/PolicyKit1/Authority
# udisks learns of new loop devices from udev's database.
"$udevd" >"$scratch/udevd.log" 2>&1 &
pids+=($!)
"$udisksd" >"$scratch/udisksd.log" 2>&1 &
pids+=($!)
wait_for_name org.freedesktop.UDisks2 /org/freedesktop/UDisks2/Manager

# An image with an ext2 file system labelled $2, the image file and the file system's root the
# test user's.
make_image() {
    truncate -s 16M "$scratch/$1.img"
    mkfs.ext2 -q -L "$2" -E "root_owner=$(id -u "$user"):$(id -g "$user")" "$scratch/$1.img"
    chown "$user" "$scratch/$1.img"
}

# The docked laptop's tree, in which loop device $1 (of image $2) is the dock's SSD.
make_tree() {
    rm -rf "$scratch/sys"
    "$place_dock_ssd" "$scratch/sys" "$1" "$2"
    chmod -R a+rX "$scratch/sys"
}

# Sets up image $1 as a loop device and mounts it, both through udisks as the test user;
# leaves the loop device in $loop and its mount point in $mounted.
udisks_mount() {
    loop=$(as_user udisksctl loop-setup --no-user-interaction -f "$scratch/$1.img" |
        sed -n 's/^Mapped file .* as \(\/dev\/loop[0-9]*\)\.$/\1/p')
    [[ -n "$loop" ]] || return 1
    mounted=$(as_user udisksctl mount --no-user-interaction -b "$loop" |
        sed -n 's/^Mounted .* at \(.*\)$/\1/p')
    mounted=${mounted%.}
    [[ -n "$mounted" ]] || return 1
}

# unplug [OPTION]: leaves the output in $out, the errors in $errors.
unplug() {
    as_user "$cli" --sysfs "$scratch/sys" unplug --everything "$@" >"$scratch/out" \
        2>"$scratch/errors" || true
    out=$(<"$scratch/out")
    errors=$(<"$scratch/errors")
}

is_mounted() { findmnt -rn -S "$1" >/dev/null; }
is_attached() { [[ -n "$(losetup -n -O BACK-FILE "$1" 2>/dev/null)" ]]; }
not() { ! "$@"; }

# 1. The user's own udisks mount: unmounted and its loop device deleted, through udisks.
make_image own OWN
udisks_mount own || fail "udisks setup"
make_tree "$loop" "$scratch/own.img"
routers="$scratch/sys/bus/thunderbolt/devices"
echo 1 >"$routers/domain0/deauthorization"
chmod a+r "$routers/domain0/deauthorization"
unplug --power-off
check "own mount: says safe" grep -q "It is safe to unplug the dock." <<<"$out"
check "own mount: unmounted" not is_mounted "$loop"
check "own mount: loop device deleted" not is_attached "$loop"
# A loop device is on no drive udisks could power off; a user may not de-authorize the dock.
check "power off: no drive" grep -q "“Samsung PSSD T7” was left on: it cannot be switched off" <<<"$out"
check "power off: dock not allowed" grep -q "“Dock Maker TB3 Dock” was left on: you are not allowed" <<<"$out"
check "power off: dock still authorized" grep -qx 1 "$routers/0-1/authorized"

# 2. A mount that root made: udisks lets no other user take it without an administrator.
make_image root ROOT
loop=$(losetup --find --show "$scratch/root.img")
mkdir -p "$scratch/root-mount"
mount "$loop" "$scratch/root-mount"
make_tree "$loop" "$scratch/root.img"
unplug
check "root's mount: not allowed" grep -q "You are not allowed to unmount" <<<"$out"
check "root's mount: never in use" not grep -q "in use" <<<"$out"
check "root's mount: points to --interactive" grep -q -- "--interactive" <<<"$errors"
check "root's mount: still mounted" is_mounted "$loop"
unplug --interactive # allowed to ask, with no agent to ask through: not allowed, at once
check "root's mount, interactive: not allowed" grep -q "You are not allowed to unmount" <<<"$out"
check "root's mount, interactive: no hint" not grep -q -- "--interactive" <<<"$errors"
umount "$scratch/root-mount"
losetup -d "$loop"

# 3. The user's mount with a file that a root process holds open: in use by someone the user
# cannot see, so no process is named.
make_image held HELD
udisks_mount held || fail "udisks setup"
as_user touch "$mounted/held"
sleep 600 <"$mounted/held" &
holder=$!
pids+=("$holder")
make_tree "$loop" "$scratch/held.img"
unplug
check "held open by root: another user's or the system's" \
    grep -q "in use by a process of another user or of the system" <<<"$out"
check "held open by root: names no process" not grep -q "sleep" <<<"$out"
check "held open by root: still mounted" is_mounted "$loop"

((failures == 0)) || fail "$failures checks failed"
echo "all checks passed"
