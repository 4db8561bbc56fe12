# Sourced by the end-to-end tests that run vantor more than once: start it
# past the Welcome box (sets pid and main) and end it through the exit
# question, answering the settings question, and check the exit code and
# the leak report. The caller defines fail and vantor.
start_vantor() {
    "$vantor" 10 >>out.txt 2>&1 &
    pid=$!
    local id
    id=$(wait_window "^Welcome$") || fail "no Welcome box"
    xdotool windowfocus --sync "$id" key Return
    main=$(wait_window "ZYR for Linux") || fail "no main window"
    sleep 1
}

# Exit; $1 the answer to the settings question ("": No, if it is asked).
stop_vantor() {
    xdotool windowfocus --sync "$main" key alt+q
    local id
    id=$(wait_window "^ZYR Exit$") || fail "no exit question"
    xdotool windowfocus --sync "$id" key y
    if [ -n "$1" ]; then
        id=$(wait_window "^System Settings$") || fail "no settings question"
        xdotool windowfocus --sync "$id" key "$1"
    elif id=$(wait_window "^System Settings$" 20); then
        xdotool windowfocus --sync "$id" key n
    fi
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    wait $pid
    local code=$?
    pid=
    [ "$code" = 0 ] || fail "exit code $code"
    if grep -qE '^!! (mem_alloc_cnt|qob_)' debugmsg; then fail "leak report not empty"; fi
}
