#!/usr/bin/env bash
# Builds each libFuzzer target with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it for a bounded time from its committed
# seeds: fuzz.sh [SECONDS [TARGET.cpp ...]] (default 60 s for each of
# tests/fuzz/*_fuzz.cpp). The seeds of TARGET_fuzz.cpp are in
# tests/fuzz/corpus/TARGET/; new inputs go to build-fuzz/TARGET/corpus/, and
# a finding is written to build-fuzz/TARGET/. Exits non-zero when any target
# finds a fault or cannot be built.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(tests/fuzz/*_fuzz.cpp)
# The pure rules the targets drive; no socket, terminal or library call.
sources=(src/Message_Vector.cpp src/Display_Text.cpp)

failed=0
for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzz.cpp)
    out=build-fuzz/$name
    seeds=tests/fuzz/corpus/$name
    mkdir -p "$out/corpus"
    echo "== fuzzing $name for $seconds s"
    # shellcheck disable=SC2046 # pkg-config's flags are words
    clang++ -std=c++17 -g -O1 -Wall -Wextra -Wpedantic -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -Isrc $(pkg-config --cflags SDL_net) "$target" "${sources[@]}" \
        -o "$out/fuzzer"
    corpora=("$out/corpus")
    [[ -d $seeds ]] && corpora+=("$seeds")  # only read: new inputs go to the first
    log=$out/fuzz.log
    status=0
    "$out/fuzzer" -artifact_prefix="$out/" -max_total_time="$seconds" -max_len=8192 \
        -print_final_stats=1 "${corpora[@]}" >"$log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|Done)|#[0-9]+ *DONE" "$log" || true
    if [[ $status -ne 0 ]]; then
        echo "fuzz.sh: $name found a fault (status $status):"
        grep -E -A 30 "^==[0-9]+==|^SUMMARY|runtime error|deadly signal" "$log" | head -n 60
        ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-* 2>/dev/null || true
        failed=1
    fi
done
exit "$failed"
