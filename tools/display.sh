# Sourced by the scripts here: gives the script an X display for Wine's windows.
# A usable $DISPLAY is kept; otherwise a private Xvfb is started, and
# stop_own_display stops it again (that one only).

quarnet_own_xvfb_pid=""

display_usable() {
    local number="${DISPLAY:-}"
    number="${number#*:}"
    number="${number%%.*}"
    [ -n "${DISPLAY:-}" ] && [ -S "/tmp/.X11-unix/X${number}" ]
}

start_own_display() {
    if display_usable; then
        return 0
    fi
    local number
    for number in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
        Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        quarnet_own_xvfb_pid=$!
        local waited
        for waited in $(seq 1 50); do
            [ -S "/tmp/.X11-unix/X$number" ] && break
            sleep 0.1
        done
        export DISPLAY=":$number"
        return 0
    done
    echo "no free X display number for Xvfb" >&2
    return 1
}

stop_own_display() {
    if [ -n "$quarnet_own_xvfb_pid" ]; then
        kill "$quarnet_own_xvfb_pid" 2>/dev/null || true
        wait "$quarnet_own_xvfb_pid" 2>/dev/null || true
        quarnet_own_xvfb_pid=""
    fi
}
