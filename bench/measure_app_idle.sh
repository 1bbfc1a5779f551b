#!/usr/bin/env bash
# Measures the tray application at rest on a private desktop (Xvfb, a session bus, dunst,
# trayer): its wake-ups over a period (every thread's context switches, from
# /proc/PID/task/*/status), its CPU time, and its memory (VmRSS and the proportional Pss).
# The program runs as on a later launch (no first-run window) and nothing is chosen from its
# menu, so it only watches the system; with --snapshot FILE it watches a machine snapshot.
# Usage: bench/measure_app_idle.sh [--seconds N] QUAYLET [QUAYLET ARGUMENTS...]
set -uo pipefail

seconds=10
if [[ "${1:-}" == --seconds ]]; then
    seconds=$2
    shift 2
fi
(($# >= 1)) || {
    echo "usage: $0 [--seconds N] QUAYLET [QUAYLET ARGUMENTS...]" >&2
    exit 2
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quaylet-idle.XXXXXX")
log_name="idle"
source "$(dirname "$0")/../tests/app/private_desktop.bash"
missing=$(desktop_tools_missing)
[[ -z "$missing" ]] || fail "missing ${missing% } (Debian: $desktop_packages)"

# switches: the context switches of every thread of quaylet so far, "TID COUNT NAME" a line.
switches() {
    local task
    for task in /proc/"$quaylet_pid"/task/*; do
        printf '%s %s %s\n' "${task##*/}" \
            "$(awk '/ctxt_switches/ { n += $2 } END { print n }' "$task/status")" "$(cat "$task/comm")"
    done
}
# cpu_ticks: user plus system time of quaylet so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$quaylet_pid/stat"; }
memory_kib() { awk -v key="$1:" '$1 == key { print $2 }' "$2"; }

start_private_desktop
mkdir -p "$work/config/Pemrix"
printf '[General]\nhasEverRun=true\n' >"$work/config/Pemrix/Quaylet.conf"
start_quaylet "$@"
# Let the start-up settle: the tray's first paint, the first mount table and device reads.
sleep 3
before=$(switches)
ticks_before=$(cpu_ticks)
sleep "$seconds"
after=$(switches)
ticks_after=$(cpu_ticks)
running "$quaylet_pid" || fail "quaylet ended while measured"

echo "quaylet $*"
echo "over $seconds s at rest: context switches per thread (each one a wake-up)"
# A thread that started meanwhile counts from zero.
awk 'NR == FNR { before[$1] = $2; next }
     { d = $2 - before[$1]; total += d; name = $0; sub(/^[^ ]+ [^ ]+ /, "", name)
       printf "  %-20s %d\n", name, d }
     END { printf "  %-20s %d\n", "all threads", total }' <(echo "$before") <(echo "$after")
echo "CPU time: $(((ticks_after - ticks_before) * 1000 / $(getconf CLK_TCK))) ms"
echo "memory at rest: VmRSS $(memory_kib VmRSS "/proc/$quaylet_pid/status") KiB," \
    "Pss $(memory_kib Pss "/proc/$quaylet_pid/smaps_rollup") KiB," \
    "threads $(ls /proc/"$quaylet_pid"/task | wc -l)"
