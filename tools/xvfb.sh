# Sourced by the scripts that run the program on a virtual X display.

# Starts Xvfb on a display number of its own choosing, which it writes to a
# pipe once it is ready for clients, and waits for that. Sets xvfb_pid to its
# process (the caller kills it when done) and exports DISPLAY.
start_xvfb() {
    local display_fd number
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    if ! read -r -t 20 -u "$display_fd" number; then
        exec {display_fd}<&-
        echo "Xvfb did not start." >&2
        return 1
    fi
    exec {display_fd}<&-
    export DISPLAY=":$number"
}
