# Shared by run.sh and test.sh: installs what the build needs, configures
# and builds. Sourced, not run.
set -euo pipefail

KORVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVEL_BUILD="${KORVEL_BUILD:-$KORVEL_ROOT/build}"
KORVEL_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
    ca-certificates openssl)

korvel_install_packages() {
    local missing=()
    for p in "${KORVEL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}

# Arguments go to cmake's configure step.
korvel_build() {
    cmake -S "$KORVEL_ROOT" -B "$KORVEL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$KORVEL_BUILD" --parallel "$(nproc)"
}
