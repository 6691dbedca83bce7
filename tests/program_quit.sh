#!/usr/bin/env bash
# Starts the real program on a virtual X server and ends it the ways a user
# does: the Quit shortcut, and File > Quit with the mouse. Each must leave
# exit status 0.
set -u
prog=$1
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
    echo "xvfb-run or xdotool missing: skipped"
    exit 77
fi

inner=$(mktemp)
# The program keeps its window's place in its settings: a folder of the
# test's own, not the user's.
config=$(mktemp -d)
trap 'rm -rf "$inner" "$config"' EXIT
export XDG_CONFIG_HOME=$config
cat >"$inner" <<'INNER'
set -u
prog=$1
run_once() {
    local how=$1
    "$prog" &
    local pid=$!
    local win
    win=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor$' | head -n 1)
    if [ -z "$win" ]; then echo "no window"; kill $pid; return 1; fi
    sleep 0.5
    case $how in
        shortcut) xdotool windowfocus --sync "$win" key --clearmodifiers ctrl+q ;;
        menu)
            # "File" sits at the left of the menu bar; "Quit" is its second entry.
            eval "$(xdotool getwindowgeometry --shell "$win")"
            xdotool mousemove $((X + 20)) $((Y + 15)) click 1
            sleep 0.5
            xdotool mousemove $((X + 30)) $((Y + 22 + 35)) click 1 ;;
    esac
    for _ in $(seq 1 100); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 $pid 2>/dev/null; then echo "$how: still running"; kill $pid; return 1; fi
    wait $pid
    local rc=$?
    echo "$how: exit status $rc"
    [ $rc -eq 0 ]
}
run_once shortcut && run_once menu
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$inner" "$prog"
