#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (and ASan/UBSan) into their
# own build folder and runs each for SECONDS (default 60), one after the
# other. Usage: tools/fuzz.sh [SECONDS] [TARGET...]
# New inputs collect in $KORVEL_FUZZ_BUILD/corpus/<target>; crashes land in
# $KORVEL_FUZZ_BUILD/findings/<target>/. Once fixed, copy a finding into
# fuzz/corpus/<target>/ so the replay test keeps it fixed.
set -euo pipefail

KORVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVEL_FUZZ_BUILD="${KORVEL_FUZZ_BUILD:-$KORVEL_ROOT/build-fuzz}"
SECONDS_EACH="${1:-60}"
shift || true

# The normal build's packages, then clang with its libFuzzer runtime.
KORVEL_BUILD="$KORVEL_FUZZ_BUILD" source "$KORVEL_ROOT/tools/setup.sh"
korvel_install_packages
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
fuzzer_links() {
    command -v clang++ >/dev/null &&
        echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' |
            clang++ -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null
}
if ! fuzzer_links; then
    echo "Installing clang"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang </dev/null
    if ! fuzzer_links; then
        version="$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p')"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "libclang-rt-$version-dev" </dev/null
    fi
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$KORVEL_ROOT" -B "$KORVEL_FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKORVEL_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$KORVEL_FUZZ_BUILD" --parallel "$(nproc)" --target korvel_fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in "$KORVEL_ROOT"/fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi

failed=0
for t in "${targets[@]}"; do
    work="$KORVEL_FUZZ_BUILD/corpus/$t"
    findings="$KORVEL_FUZZ_BUILD/findings/$t"
    logs="$KORVEL_FUZZ_BUILD/logs/$t"
    mkdir -p "$work" "$findings" "$logs"
    echo "== $t: $SECONDS_EACH s"
    # One job, one worker: the machine is shared. The job's output goes to
    # fuzz-0.log in the working folder.
    status=0
    (cd "$logs" && "$KORVEL_FUZZ_BUILD/fuzz/$t" -max_total_time="$SECONDS_EACH" -jobs=1 \
        -workers=1 -timeout=25 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "$KORVEL_ROOT/fuzz/corpus/$t") || status=$?
    grep -E '^#[0-9]+' "$logs/fuzz-0.log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
        "$logs/fuzz-0.log" || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        echo "!! $t: findings in $findings (log: $logs/fuzz-0.log)"
        failed=1
    fi
done
exit "$failed"
