# Sourced by the GUI tests: a private Xvfb on a display it chooses itself,
# checked to answer before it is used, started again (up to three times)
# when it does not. Without -noreset the server resets whenever its last
# client leaves, and a program connecting just then is refused. Sets
# DISPLAY and xvfb; xvfb_stop ends it.
xvfb=
xvfb_dispfile=
xvfb_start() {
    local try
    for try in 1 2 3; do
        xvfb_dispfile=$(mktemp /tmp/zyr-xvfb.XXXXXX)
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$xvfb_dispfile" >/dev/null 2>&1 &
        xvfb=$!
        for _ in $(seq 100); do [ -s "$xvfb_dispfile" ] && break; sleep 0.1; done
        if [ -s "$xvfb_dispfile" ]; then
            export DISPLAY=:$(head -1 "$xvfb_dispfile")
            for _ in $(seq 50); do
                xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
                sleep 0.1
            done
        fi
        xvfb_stop
    done
    return 1
}
xvfb_stop() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    [ -n "$xvfb_dispfile" ] && rm -f "$xvfb_dispfile"
    xvfb=
}
# Waits until a window with this title is mapped (up to $2 tenths of a
# second, default 300); prints its id. A window that exists but is not yet
# mapped refuses the input focus, and keys sent to it would go nowhere.
wait_window() {
    local id
    for _ in $(seq "${2:-300}"); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# Waits until no mapped window has this title (up to ten seconds).
wait_gone() {
    for _ in $(seq 100); do
        [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    return 1
}
