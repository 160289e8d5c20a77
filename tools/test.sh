#!/usr/bin/env bash
# Installs the build's packages when missing, builds everything and runs all tests.
# --sanitize: the same with AddressSanitizer and UndefinedBehaviorSanitizer,
# in a build folder of its own (build-sanitize); any finding fails the test.
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    shift
    KORVEL_BUILD="${KORVEL_BUILD%/}-sanitize"
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    cmake_args=(-DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined")
    # Full stacks, so that leak suppressions see the Qt frames.
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$KORVEL_ROOT/tools/lsan.supp:print_suppressions=0"
fi
korvel_install_packages
korvel_build "${cmake_args[@]}"
cd "$KORVEL_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@"
