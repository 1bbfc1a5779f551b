#!/usr/bin/env bash
# End-to-end test of the tray application on a private desktop that the test starts itself:
# Xvfb, a private D-Bus session bus, the dunst notification daemon and the trayer tray host,
# then quaylet on a machine snapshot (never the host's mounts). The icon must dock into the
# tray, the unplug item must deliver the expected notification to dunst, and the Quit item
# must end the program. Screenshots and logs go to ARTIFACTS.
# Usage: desktop_session_test.sh QUAYLET SNAPSHOT ARTIFACTS
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing; a failure instead when
# QUAYLET_REQUIRE_REAL=1).
set -uo pipefail

quaylet=$1
snapshot=$2
artifacts=$3

# What the snapshot's unplug command must report: cp keeps a file open on the dock's SSD.
expected_summary="Thunderbolt Dock"
expected_body=("Do not unplug the dock yet." "“Dock SSD” is still in use by cp.")

work=$(mktemp -d "${TMPDIR:-/tmp}/quaylet-desktop.XXXXXX")
pids=()

started_at=$(date +%s%N)
log() { printf 'desktop test %6.2f s: %s\n' "$((($(date +%s%N) - started_at) / 1000000))e-3" "$*" >&2; }

# running PID: whether the process runs (a child that ended stays a zombie until waited for).
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

stop_all() {
    # Newest first: quaylet before the tray and the daemons it talks to, the X server last.
    local index pid
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        pid=${pids[index]}
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 50); do
            running "$pid" || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    pids=()
}

finish() {
    local status=$?
    log "stopping"
    stop_all
    log "stopped"
    mkdir -p "$artifacts"
    cp "$work"/*.log "$artifacts/" 2>/dev/null
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM

fail() {
    log "FAILED: $*"
    exit 1
}

skip() {
    if [[ "${QUAYLET_REQUIRE_REAL:-}" == 1 ]]; then
        fail "$* (QUAYLET_REQUIRE_REAL=1, so this cannot be skipped)"
    fi
    log "SKIPPED: $*"
    exit 77
}

# started NAME: records the program just started in the background, for stop_all and $NAME_pid.
started() {
    pids+=($!)
    eval "${1}_pid=$!"
}

# start NAME COMMAND...: starts a program of the test's own, its output in NAME.log.
start() {
    local name=$1
    shift
    "$@" >"$work/$name.log" 2>&1 &
    started "$name"
}

# start_reporting NAME COMMAND...: like start, for a program that reports readiness on its
# descriptor 3, which goes to the pipe NAME.fd3 (opened in the child, so the test never blocks).
start_reporting() {
    local name=$1
    shift
    mkfifo "$work/$name.fd3"
    "$@" >"$work/$name.log" 2>&1 3>"$work/$name.fd3" &
    started "$name"
}

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails after SECONDS.
# COMMAND is run afresh each time, so conditions on programs' output are functions below.
wait_for() {
    local seconds=$1 what=$2
    local deadline=$(($(date +%s%N) + seconds * 1000000000))
    shift 2
    until "$@"; do
        if [[ -n "${watched_pid:-}" ]] && ! running "$watched_pid"; then
            cat "$work/quaylet.log" >&2
            fail "quaylet ended while waiting for $what"
        fi
        (($(date +%s%N) < deadline)) || fail "no $what within $seconds s"
        sleep 0.1
    done
}

missing=()
for tool in Xvfb dbus-daemon gdbus dunst dunstctl trayer xdotool xwininfo import; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
((${#missing[@]} == 0)) || skip "missing ${missing[*]} (Debian: xvfb dbus-daemon libglib2.0-bin dunst trayer xdotool x11-utils imagemagick)"
[[ -x "$quaylet" ]] || fail "no program at $quaylet"
mkdir -p "$artifacts" "$work/home" "$work/config" "$work/runtime"
rm -f "$artifacts"/*.png "$artifacts"/*.log "$artifacts"/*.json
chmod 700 "$work/runtime"

# A private X server on a free display. Xvfb writes its display number once it accepts
# connections, and the session bus its address once it listens: each is read from a pipe.
start_reporting xvfb Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp
read -r -t 20 display <"$work/xvfb.fd3" || fail "no X display within 20 s"
export DISPLAY=":$display"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_PID
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb

# A private session bus without service activation, so that no program starts on the bus but
# those the test starts and stops itself.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
start_reporting dbus dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile --print-address=3
read -r -t 20 DBUS_SESSION_BUS_ADDRESS <"$work/dbus.fd3" || fail "no session bus within 20 s"
export DBUS_SESSION_BUS_ADDRESS

# The notification daemon keeps every notification until closed; the tray host docks icons.
printf '[global]\n    markup = full\n[urgency_normal]\n    timeout = 0\n' >"$work/dunstrc"
start dunst dunst -config "$work/dunstrc"
gdbus wait --session --timeout 20 org.freedesktop.Notifications ||
    fail "no notification daemon on the bus within 20 s"
start trayer trayer --edge top --align right --widthtype request --height 32 \
    --SetDockType true --transparent false --expand false
# The panel is trayer's only mapped window.
panel=$(timeout 20 xdotool search --sync --onlyvisible --class '^trayer$' | head -n1)
[[ -n "$panel" ]] || fail "no tray panel within 20 s"

# Quaylet on the snapshot, with a fresh home: its first run also shows the preferences.
start quaylet env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$quaylet" --snapshot "$snapshot"
watched_pid=$quaylet_pid
icon_id() { xwininfo -tree -id "$panel" | awk '/\("quaylet" "Quaylet"\)/ { print $1; exit }'; }
icon_docked() { [[ -n "$(icon_id)" ]]; }
wait_for 30 "Quaylet icon docked in the tray" icon_docked
icon=$(icon_id)
log "icon $icon docked in tray panel $panel on display $DISPLAY"
wait_for 10 "first-run login item" test -f "$work/config/autostart/quaylet.desktop"
timeout 10 xdotool search --sync --onlyvisible --name '^Quaylet Preferences$' >/dev/null ||
    fail "no first-run preferences window within 10 s"
log "first run: login item written, preferences shown"

# geometry WINDOW: prints "X Y WIDTH HEIGHT" of a window, in root coordinates.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'
}
# menu_id: the open status menu, an override-redirect window of quaylet outside the tray.
menu_id() {
    local window
    for window in $(xdotool search --onlyvisible --classname '^quaylet$' 2>/dev/null); do
        [[ $window -eq $((icon)) ]] && continue
        xwininfo -id "$window" | grep -q 'Override Redirect State: yes' && {
            echo "$window"
            return
        }
    done
}
menu_open() { [[ -n "$(menu_id)" ]]; }
open_menu() {
    local x y w h
    read -r x y w h <<<"$(geometry "$icon")"
    # A click that comes before the icon takes input is lost, so an unanswered click is repeated.
    for _ in 1 2 3 4 5; do
        xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
        for _ in $(seq 20); do
            menu_open && return 0
            sleep 0.1
        done
    done
    fail "the status menu did not open after five clicks on the icon"
}

open_menu
log "menu open"
import -window root "$artifacts/tray-menu.png" || fail "no screenshot of the open menu"
xdotool key Down Return # the first item: "Unplug Dock"
notifications() { dunstctl count "$1" 2>/dev/null || echo 0; }
shown() { (($(notifications displayed) >= 1)); }
in_history() { (($(notifications history) >= 1)); }
wait_for 30 "notification shown by dunst" shown
log "notification shown"
import -window root "$artifacts/notification.png" || fail "no screenshot of the notification"

# Read the notification back from the daemon: closed, it moves into dunst's history.
dunstctl close-all
wait_for 10 "notification in dunst's history" in_history
dunstctl history >"$artifacts/notifications.json"
[[ "$(notifications history)" -eq 1 ]] || fail "expected one notification, dunst has $(notifications history)"
grep -qF "\"data\" : \"$expected_summary\"" "$artifacts/notifications.json" ||
    fail "summary \"$expected_summary\" not delivered; see $artifacts/notifications.json"
for text in "${expected_body[@]}"; do
    grep -qF "$text" "$artifacts/notifications.json" ||
        fail "body lacks \"$text\"; see $artifacts/notifications.json"
done

log "notification read back from dunst"

# Quit from the menu: the last item. The program must end by itself, successfully.
open_menu
xdotool key Up Return
log "quit chosen"
watched_pid=
ended() { ! running "$quaylet_pid"; }
wait_for 20 "quaylet to quit" ended
wait "$quaylet_pid"
status=$?
((status == 0)) || {
    cat "$work/quaylet.log" >&2
    fail "quaylet quit with status $status"
}
log "passed: icon docked, menu opened, notification delivered, quit cleanly"
