#!/usr/bin/env bash
# Installs the build's packages when missing, builds everything, starts the
# bus simulator on a pseudo-terminal as COM7 and the program on it.
# Extra arguments go to the program (for example --log korvel.log).
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
korvel_install_packages
korvel_build

SIM_COM="${KORVEL_SIM_COM:-7}"
SIM_DIR="$(mktemp -d)"
SIM_OUT="$SIM_DIR/out"
SIM_IN="$SIM_DIR/in"
# The simulator reads its commands from a pipe that this script keeps open,
# so lines typed here (press, light, fault, ...) reach it while the program runs.
# The door stations keep what was written in demo.memory from one run to the next.
mkfifo "$SIM_IN"
exec 3<>"$SIM_IN"
"$KORVEL_BUILD/sim/qbxsim" --com "$SIM_COM" --install "$KORVEL_BUILD/sim/demo.install" \
    --save "$KORVEL_BUILD/sim/demo.memory" ${KORVEL_SIM_ARGS:-} <&3 >"$SIM_OUT" 2>&1 &
SIM_PID=$!
GUI_PID=""
cleanup() {
    [ -n "$GUI_PID" ] && kill "$GUI_PID" 2>/dev/null || true
    kill "$SIM_PID" 2>/dev/null || true
    rm -rf "$SIM_DIR"
}
trap cleanup EXIT

for _ in $(seq 50); do
    grep -q '^export KORVEL_COM' "$SIM_OUT" && break
    sleep 0.1
done
line="$(grep '^export KORVEL_COM' "$SIM_OUT" || true)"
if [ -z "$line" ]; then
    echo "The simulator did not start:"; cat "$SIM_OUT"; exit 1
fi
eval "$line"
echo "Simulator: ${line#export }"

# A first run remembers the simulator's port, so the program scans it at start.
INI="$KORVEL_BUILD/bin/Korvel.x64.ini"
[ -e "$INI" ] || printf '[ProgSett]\r\naLastPortNo=%s\r\n' "$SIM_COM" >"$INI"

# Demo phone-list folders with a few lists, made once; the settings point at
# them unless a folder is set already.
DEMO_LISTS="$KORVEL_BUILD/bin/phonelists"
if [ ! -d "$DEMO_LISTS" ]; then
    mkdir -p "$DEMO_LISTS/programming" "$DEMO_LISTS/testing"
    p="$DEMO_LISTS/programming"
    printf '1001|2001\r\n1002\r\n1003\r\n|2004\r\n' >"$p/demo installation.txt"
    printf '5101\r\n5102|6102\r\n5103\r\n5104\r\n5105\r\n5106\r\n' >"$p/Main street 12.txt"
    printf '7001\r\n7002\r\n' >"$p/Station road 3.txt"
    printf '1001\r\n1002\r\n1003\r\n1004\r\n' >"$DEMO_LISTS/testing/four test phones.txt"
    touch -d '2 days ago' "$p/Main street 12.txt"
    touch -d '400 days ago' "$p/Station road 3.txt"
fi
if ! grep -qi '^\[PathSett\]' "$INI"; then
    printf '[PathSett]\r\naTxtFilePath=%s\r\naTxtTestFilePath=%s\r\n' \
        "$DEMO_LISTS/programming" "$DEMO_LISTS/testing" >>"$INI"
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: the program runs offscreen (pass --log FILE to read along)."
    export QT_QPA_PLATFORM=offscreen
fi
"$KORVEL_BUILD/bin/Korvel.x64.exe" "$@" &
GUI_PID=$!

# Until the program ends, every line typed here goes to the simulator; its
# answers are shown (its "> " trace of the bus is left out).
[ -t 0 ] && echo "Simulator commands can be typed here (help lists them), for example: press 74565 10"
shown=$(wc -l <"$SIM_OUT")
while kill -0 "$GUI_PID" 2>/dev/null; do
    if IFS= read -r -t 1 command; then
        printf '%s\n' "$command" >&3
        sleep 0.3
        tail -n +"$((shown + 1))" "$SIM_OUT" | grep -v '^> ' || true
        shown=$(wc -l <"$SIM_OUT")
    elif [ $? -le 128 ]; then
        # End of input (not a time-out): just wait for the program.
        break
    fi
done
status=0
wait "$GUI_PID" || status=$?
GUI_PID=""
exit "$status"
