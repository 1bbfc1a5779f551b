# A private desktop for the tray application, sourced by its end-to-end test and the footprint
# measurement: Xvfb, a session bus without service activation, dunst and trayer, all stopped
# again at exit. The sourcing script sets `work` (a temporary directory, removed at exit) and
# `log_name` (its log prefix), and may define on_exit (run before the programs are stopped).
pids=()
started_at=$(date +%s%N)
log() { printf '%s %6.2f s: %s\n' "$log_name" "$((($(date +%s%N) - started_at) / 1000000))e-3" "$*" >&2; }
fail() {
    log "FAILED: $*"
    exit 1
}
# running PID: whether the process runs (a child that ended stays a zombie until waited for).
running() { local state && state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]; }

finish() {
    local status=$? index pid
    declare -F on_exit >/dev/null && on_exit
    # Newest first: quaylet before the tray and the daemons it talks to, the X server last.
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        pid=${pids[index]}
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 50); do running "$pid" || break && sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    log "stopped"
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM

# start NAME COMMAND...: starts a program in the background, its output in NAME.log, its
# descriptor 3 to the pipe NAME.fd3 if made (opened in the child, so the test never blocks);
# sets NAME_pid.
start() {
    local name=$1 fd3=/dev/null
    shift
    [[ -p $work/$name.fd3 ]] && fd3=$work/$name.fd3
    "$@" >"$work/$name.log" 2>&1 3>"$fd3" &
    pids+=($!)
    eval "${name}_pid=$!"
}

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails after SECONDS, or
# at once when the program $watched_pid (if set) has ended meanwhile.
wait_for() {
    local deadline=$(($(date +%s%N) + $1 * 1000000000)) seconds=$1 what=$2
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

desktop_tools_missing() {
    for tool in Xvfb dbus-daemon gdbus dunst dunstctl trayer xdotool xwininfo import; do
        command -v "$tool" >/dev/null || printf '%s ' "$tool"
    done
}
desktop_packages="xvfb dbus-daemon libglib2.0-bin dunst trayer xdotool x11-utils imagemagick"

# start_private_desktop: sets DISPLAY, DBUS_SESSION_BUS_ADDRESS and `panel`, the tray's window.
start_private_desktop() {
    mkdir -p -m 700 "$work/runtime"
    # Xvfb writes its display number once it accepts connections, the bus its address once it
    # listens: each is read from the pipe.
    mkfifo "$work/xvfb.fd3" "$work/dbus.fd3"
    start xvfb Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp
    local display
    read -r -t 20 display <"$work/xvfb.fd3" || fail "no X display within 20 s"
    export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY DBUS_SESSION_BUS_PID
    # No service activation: no program starts on the bus but those started here.
    cat >"$work/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:path=$work/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
CONF
    start dbus dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile --print-address=3
    read -r -t 20 DBUS_SESSION_BUS_ADDRESS <"$work/dbus.fd3" || fail "no session bus within 20 s"
    export DBUS_SESSION_BUS_ADDRESS
    # dunst keeps every notification until closed. History does not show hints, so the rule
    # marks the message of a critical one naming quaylet's desktop entry and device.removed.
    cat >"$work/dunstrc" <<'RC'
[global]
    markup = full
[urgency_normal]
    timeout = 0
[quaylet_outcome]
    desktop_entry = quaylet
    category = device.removed
    msg_urgency = critical
    format = "critical outcome of quaylet: %s\n%b"
RC
    start dunst dunst -config "$work/dunstrc"
    gdbus wait --session --timeout 20 org.freedesktop.Notifications ||
        fail "no notification daemon on the bus within 20 s"
    start trayer trayer --edge top --align right --widthtype request --height 32 \
        --SetDockType true --transparent false --expand false
    panel=$(timeout 20 xdotool search --sync --onlyvisible --class '^trayer$' | head -n1)
    [[ -n "$panel" ]] || fail "no tray panel within 20 s"
}

# start_quaylet QUAYLET ARGUMENTS...: starts quaylet with a fresh home and configuration, waits
# until its icon docks in the tray, and sets `icon`, its window there.
start_quaylet() {
    mkdir -p "$work/home" "$work/config"
    start quaylet env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$@"
    watched_pid=$quaylet_pid
    wait_for 30 "Quaylet icon docked in the tray" quaylet_icon_docked
    icon=$(quaylet_icon)
}
quaylet_icon() { xwininfo -tree -id "$panel" | awk '/\("quaylet" "Quaylet"\)/ { print $1; exit }'; }
quaylet_icon_docked() { [[ -n "$(quaylet_icon)" ]]; }
