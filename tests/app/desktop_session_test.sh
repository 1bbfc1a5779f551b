#!/usr/bin/env bash
# End-to-end test of the tray application on a private desktop (private_desktop.bash), with
# quaylet on a machine snapshot (never the host's mounts): the icon docks into the tray, the
# unplug item delivers the expected notification to dunst, a second launch hands over to the
# first and ends, UnplugDock on the session bus delivers the same notification in place of the
# first, Details opens the window of holders, and Quit ends the program, leaving the user's configuration untouched.
# Usage: desktop_session_test.sh QUAYLET SNAPSHOT ARTIFACTS (screenshots and logs go there)
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing; a failure instead when
# QUAYLET_REQUIRE_REAL=1).
set -uo pipefail
quaylet=$1 snapshot=$2 artifacts=$3
# What the snapshot's unplug command must report: cp keeps a file open on the dock's SSD.
expected=("Thunderbolt Dock" "Do not unplug the dock yet." "“Dock SSD” is still in use by cp.")

work=$(mktemp -d "${TMPDIR:-/tmp}/quaylet-desktop.XXXXXX")
log_name="desktop test"
on_exit() { mkdir -p "$artifacts" && cp "$work"/*.log "$artifacts/" 2>/dev/null; }
source "$(dirname "$0")/private_desktop.bash"

missing=$(desktop_tools_missing)
command -v jq >/dev/null || missing+="jq "
if [[ -n "$missing" ]]; then
    [[ "${QUAYLET_REQUIRE_REAL:-}" == 1 ]] && fail "missing ${missing% } (QUAYLET_REQUIRE_REAL=1)"
    log "SKIPPED: missing ${missing% } (Debian: $desktop_packages jq)"
    exit 77
fi
[[ -x "$quaylet" ]] || fail "no program at $quaylet"
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png "$artifacts"/*.log "$artifacts"/*.json

start_private_desktop
# A fresh home: the first run also shows the preferences.
start_quaylet "$quaylet" --snapshot "$snapshot"
log "icon $icon docked in tray panel $panel on display $DISPLAY"
timeout 10 xdotool search --sync --onlyvisible --name '^Quaylet Preferences$' >/dev/null ||
    fail "no first-run preferences window within 10 s"

# menu_id: the open status menu, an override-redirect window of quaylet outside the tray.
menu_id() {
    for window in $(xdotool search --onlyvisible --classname '^quaylet$' 2>/dev/null); do
        ((window != icon)) && xwininfo -id "$window" | grep -q 'Override Redirect State: yes' &&
            echo "$window" && return
    done
}
open_menu() {
    local x y w h
    read -r x y w h <<<"$(xwininfo -id "$icon" | awk '/Absolute upper-left X/ { x = $NF }
        /Absolute upper-left Y/ { y = $NF } /Width:/ { w = $NF } /Height:/ { h = $NF }
        END { print x, y, w, h }')"
    # A click that comes before the icon takes input is lost, so an unanswered click is repeated.
    for _ in 1 2 3 4 5; do
        xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
        for _ in $(seq 20); do
            [[ -n "$(menu_id)" ]] && return 0
            sleep 0.1
        done
    done
    fail "the status menu did not open after five clicks on the icon"
}

# read_back COUNT WHAT: once dunst shows a notification, takes a screenshot and closes it; once
# COUNT are in dunst's history, writes the history to notifications.json.
at_least() { (($(dunstctl count "$1" 2>/dev/null || echo 0) >= $2)); }
json=$artifacts/notifications.json
read_back() {
    wait_for 30 "$2 shown by dunst" at_least displayed 1
    import -window root "$artifacts/notification-$1.png" || fail "no screenshot of $2"
    dunstctl close-all
    wait_for 10 "$2 in dunst's history" at_least history "$1"
    dunstctl history >"$json"
}

open_menu
import -window root "$artifacts/tray-menu.png" || fail "no screenshot of the open menu"
xdotool key Down Return # the first item: "Unplug Dock"
read_back 1 "the menu's notification"
at_least history 2 && fail "more than one notification; see $json"
for text in "${expected[@]}"; do
    grep -qF "$text" "$json" || fail "\"$text\" not delivered; see $json"
done
log "notification read back from dunst"

# A second launch hands over to the running tray and ends, without a second icon.
timeout 20 env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$quaylet" --snapshot "$snapshot" \
    >"$work/second-launch.log" 2>&1 || fail "second launch failed; see $artifacts/second-launch.log"
sleep 1 # a second icon would have docked by now
icons=$(xwininfo -tree -id "$panel" | grep -c '("quaylet" "Quaylet")')
((icons == 1)) || fail "expected one icon in the tray, found $icons"

# UnplugDock on the session bus: the menu's notification again, in every field shown and under
# the same id (the second replaced the first); critical, device.removed and quaylet's entry.
gdbus call --session --dest com.pemrix.Quaylet --object-path /com/pemrix/Quaylet \
    --method com.pemrix.Quaylet.UnplugDock >/dev/null || fail "UnplugDock call failed"
read_back 2 "the notification of UnplugDock"
jq -e '(.data[0] | map({id: .id.data, appname: .appname.data, summary: .summary.data,
    body: .body.data, message: .message.data}) | unique | length == 1) and
    (.data[0][0].message.data | startswith("critical outcome of quaylet:"))' "$json" >/dev/null ||
    fail "UnplugDock's notification differs from the menu's or lacks its hints; see $json"

# After the unsafe outcome the menu offers Details (the third item): the window of holders opens.
open_menu
xdotool key Down Down Down Return
timeout 10 xdotool search --sync --onlyvisible --name '^What Holds the Dock$' >/dev/null ||
    fail "no Details window within 10 s of choosing Details"
import -window root "$artifacts/details-window.png" || fail "no screenshot of the Details window"

# Quit from the menu: the last item. The program must end by itself, successfully.
open_menu
xdotool key Up Return
watched_pid=
ended() { ! running "$quaylet_pid"; }
wait_for 20 "quaylet to quit" ended
wait "$quaylet_pid" || fail "quaylet quit with status $?; see $artifacts/quaylet.log"
[[ -z "$(ls -A "$work/config" 2>/dev/null)" ]] ||
    fail "the snapshot run wrote into the user's configuration: $(ls -A "$work/config")"
log "passed: icon docked, menu opened, notification delivered, one instance, bus call, details, quit cleanly"
