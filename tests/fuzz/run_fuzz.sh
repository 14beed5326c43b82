#!/usr/bin/env bash
# Builds the fuzz targets of the reply checkers and of the traffic decoder with clang (libFuzzer,
# AddressSanitizer, UBSan) from the plain frame sources and runs each for a bounded time. Fails on
# any crash or sanitizer report.
# Usage: run_fuzz.sh SOURCE_DIR BUILD_DIR [SECONDS]
set -euo pipefail

src=${1:?source folder}
out=${2:?build folder}/fuzz
seconds=${3:-20}

cxx=""
for candidate in clang++-14 clang++; do
    if command -v "$candidate" >/dev/null 2>&1; then cxx=$candidate; break; fi
done
if [[ -z $cxx ]]; then
    echo "fuzz: skipped (no clang++)"
    exit 0
fi

mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -I"$src/src")

declare -A sources=(
    [fuzz_modbus]="$src/src/link/modbus_frames.cpp"
    [fuzz_dlt645]="$src/src/link/dlt645_frames.cpp"
    [fuzz_yaao_datang]="$src/src/link/yaao_datang_frames.cpp"
    [fuzz_traffic]="$src/src/link/traffic_decode.cpp $src/src/link/framing.cpp $src/src/link/modbus_frames.cpp"
)

for target in fuzz_modbus fuzz_dlt645 fuzz_yaao_datang fuzz_traffic; do
    echo "fuzz: building $target"
    "$cxx" "${flags[@]}" "$src/tests/fuzz/$target.cpp" ${sources[$target]} -o "$out/$target"
done

for target in fuzz_modbus fuzz_dlt645 fuzz_yaao_datang fuzz_traffic; do
    corpus="$out/corpus-$target"
    mkdir -p "$corpus"
    echo "fuzz: running $target for ${seconds}s"
    # A crash, leak, timeout or sanitizer report makes libFuzzer exit non-zero.
    if ! "$out/$target" -max_total_time="$seconds" -max_len=1100 -timeout=10 \
            -artifact_prefix="$out/$target-" -print_final_stats=1 "$corpus" 2>"$out/$target.log"; then
        tail -n 40 "$out/$target.log"
        echo "fuzz: $target FAILED"
        exit 1
    fi
    grep -E "stat::number_of_executed_units" "$out/$target.log" || true
done
echo "fuzz: all targets clean"
