#!/usr/bin/env bash
# Builds the receive-path fuzzer with clang's libFuzzer and runs it for a
# bounded time (default 60 s) from the committed seed corpus. Exits non-zero
# on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build-fuzz
mkdir -p "$out/corpus"
clang++ -std=c++17 -g -O1 -Wall -Wextra -Wpedantic -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all -Isrc tests/fuzz/receive_fuzz.cpp src/Message_Vector.cpp \
    -o "$out/receive_fuzz"
# New inputs go to the scratch corpus; the committed seeds are only read.
"$out/receive_fuzz" -artifact_prefix="$out/" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    "$out/corpus" tests/fuzz/corpus 2>&1 | grep -E "^(stat::number_of_executed_units|Done|INFO: A corpus|==[0-9]+==ERROR|SUMMARY)|#[0-9]+ *DONE" || true
test "${PIPESTATUS[0]}" -eq 0
