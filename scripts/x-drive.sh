# Helpers for driving the real program under Xvfb with xdotool, sourced by the end-to-end
# test and by the script that makes the guide's pictures. The caller defines fail and sets
# pid to the program's process.

# Waits (at most 15 s) until a command succeeds; no step waits a fixed time.
waitfor() {
    for _ in $(seq 1 300); do
        "$@" && return 0
        sleep 0.05
    done
    fail "waited in vain for: $*"
}
# The X server answers before the program is started on it (Xvfb may still be coming up, slowly
# on a machine busy with other tests).
for _ in $(seq 1 600); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo > /dev/null 2>&1 || fail "the X server on $DISPLAY does not answer"
shown() { xdotool search --onlyvisible --name "$1" > /dev/null 2>&1; }
gone() { ! shown "$1"; }
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
# Windows of the program on screen (a menu that opens adds one).
windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
more_windows() { [ "$(windows)" -gt "$1" ]; }

# Waits until a window whose name matches appears and gives it the keyboard focus.
focus() {
    waitfor shown "$1"
    local id
    id=$(xdotool search --onlyvisible --name "$1" | head -1)
    xdotool windowfocus --sync "$id"
    waitfor has_focus "$id"
    echo "$id"
}

# Opens a menu with its key and chooses a command in it with another.
menu() {
    local before
    before=$(windows)
    xdotool key "$1"
    waitfor more_windows "$before"
    xdotool key "${@:2}"
}

# In the file dialog titled TITLE, chooses PATH; back in the main window ($main) afterwards.
choose_file() {
    focus "$1" > /dev/null
    xdotool type --delay 15 "$2"
    xdotool key Return
    waitfor gone "$1"
    back_to_main
}
back_to_main() {
    xdotool windowfocus --sync "$main"
    waitfor has_focus "$main"
}
