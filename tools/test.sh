#!/usr/bin/env bash
# Installs the build's packages when missing, builds everything and runs all tests.
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
korvel_install_packages
korvel_build
cd "$KORVEL_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@"
