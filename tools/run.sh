#!/usr/bin/env bash
# Installs the build's packages when missing, builds everything, starts the
# bus simulator on a pseudo-terminal as COM7 and the program on it.
# Extra arguments go to the program (for example --log korvel.log).
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
korvel_install_packages
korvel_build

SIM_COM="${KORVEL_SIM_COM:-7}"
SIM_OUT="$(mktemp)"
"$KORVEL_BUILD/sim/qbxsim" --com "$SIM_COM" --install "$KORVEL_BUILD/sim/demo.install" ${KORVEL_SIM_ARGS:-} </dev/null >"$SIM_OUT" 2>&1 &
SIM_PID=$!
cleanup() { kill "$SIM_PID" 2>/dev/null || true; rm -f "$SIM_OUT"; }
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

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: the program runs offscreen (pass --log FILE to read along)."
    export QT_QPA_PLATFORM=offscreen
fi
"$KORVEL_BUILD/bin/Korvel.x64.exe" "$@"
