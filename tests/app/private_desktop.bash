# A private desktop for the tray application, sourced by its end-to-end test and by the
# footprint measurement: Xvfb on a free display, a session bus without service activation, the
# dunst notification daemon and the trayer tray host. Every program started here is stopped
# again when the sourcing script exits, whatever its outcome.
# The sourcing script sets `work` (a temporary directory, removed at exit), `log_name` (the
# prefix of its log lines) and may define on_exit (run before the programs are stopped).

pids=()
started_at=$(date +%s%N)
log() { printf '%s %6.2f s: %s\n' "$log_name" "$((($(date +%s%N) - started_at) / 1000000))e-3" "$*" >&2; }

fail() {
    log "FAILED: $*"
    exit 1
}

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
    declare -F on_exit >/dev/null && on_exit
    stop_all
    log "stopped"
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM

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

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails after SECONDS, or
# at once when the program $watched_pid (if set) has ended meanwhile.
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

# desktop_tools_missing: prints the programs of the private desktop that are not installed.
desktop_tools_missing() {
    local tool
    for tool in Xvfb dbus-daemon gdbus dunst dunstctl trayer xdotool xwininfo import; do
        command -v "$tool" >/dev/null || printf '%s ' "$tool"
    done
}
desktop_packages="xvfb dbus-daemon libglib2.0-bin dunst trayer xdotool x11-utils imagemagick"

# start_private_desktop: starts the desktop; sets DISPLAY, DBUS_SESSION_BUS_ADDRESS and
# `panel`, the tray's window.
start_private_desktop() {
    mkdir -p "$work/runtime"
    chmod 700 "$work/runtime"
    # Xvfb writes its display number once it accepts connections, and the session bus its
    # address once it listens: each is read from a pipe.
    start_reporting xvfb Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp
    local display
    read -r -t 20 display <"$work/xvfb.fd3" || fail "no X display within 20 s"
    export DISPLAY=":$display"
    unset WAYLAND_DISPLAY DBUS_SESSION_BUS_PID
    export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb

    # No service activation, so that no program starts on the bus but those started here.
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
    start_reporting dbus dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile \
        --print-address=3
    read -r -t 20 DBUS_SESSION_BUS_ADDRESS <"$work/dbus.fd3" || fail "no session bus within 20 s"
    export DBUS_SESSION_BUS_ADDRESS

    # The notification daemon keeps every notification until closed; the tray host docks icons.
    # The rule marks the message of a critical notification that names quaylet's desktop entry
    # and the device.removed category: history does not show those hints themselves.
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
    # The panel is trayer's only mapped window.
    panel=$(timeout 20 xdotool search --sync --onlyvisible --class '^trayer$' | head -n1)
    [[ -n "$panel" ]] || fail "no tray panel within 20 s"
}

# start_quaylet QUAYLET ARGUMENTS...: starts quaylet with a fresh home and configuration,
# waits until its icon docks in the tray, and sets `icon`, its window there.
start_quaylet() {
    mkdir -p "$work/home" "$work/config"
    start quaylet env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$@"
    watched_pid=$quaylet_pid
    wait_for 30 "Quaylet icon docked in the tray" quaylet_icon_docked
    icon=$(quaylet_icon)
}
quaylet_icon() { xwininfo -tree -id "$panel" | awk '/\("quaylet" "Quaylet"\)/ { print $1; exit }'; }
quaylet_icon_docked() { [[ -n "$(quaylet_icon)" ]]; }
