#!/usr/bin/env bash
# Runs the settings fuzz target for SECONDS (default 60): clang's libFuzzer
# with AddressSanitizer and UndefinedBehaviorSanitizer, starting from the
# saved corpus. New inputs go to build-fuzz/corpus; an input that fails is
# written to build-fuzz/ as crash-*, to be added to tests/fuzz/corpus once fixed.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing

dir="$ROOT/build-fuzz"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMINUTREX_FUZZ=ON
cmake --build "$dir" -j"$(nproc)" --target settings_fuzz
mkdir -p "$dir/corpus"
ASAN_OPTIONS=detect_leaks=0 "$dir/tests/fuzz/settings_fuzz" \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/" \
    -max_len=4096 "$dir/corpus" "$ROOT/tests/fuzz/corpus"
