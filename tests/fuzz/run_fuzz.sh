#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) and runs each for a
# bounded time from a small seed corpus of valid inputs. Fails on any crash, sanitizer report or
# broken invariant (a target traps).
#
# The reply checkers and the traffic decoder are plain C++ and build from their frame sources
# alone; the others (read-back words, Config.ini, the seed tables, mdb-export output, the
# simulated module's requests) build from the Qt sources they need. Every source is compiled once
# into an object shared by the targets that list it (through ccache when there is one).
#
# Usage: run_fuzz.sh [--build-only | --run-only] SOURCE_DIR BUILD_DIR [SECONDS [TARGET...]]
#   --build-only  builds the targets and runs none
#   --run-only    runs targets built before (by a --build-only run)
#   TARGET        the targets to build and run (default: all)
set -euo pipefail

mode=all
case "${1:-}" in
--build-only) mode=build; shift ;;
--run-only) mode=run; shift ;;
esac
src=${1:?source folder}
out=${2:?build folder}/fuzz
seconds=${3:-20}
shift $(($# < 3 ? $# : 3))

cxx=""
for candidate in clang++-14 clang++; do
    if command -v "$candidate" >/dev/null 2>&1; then cxx=$candidate; break; fi
done
if [[ -z $cxx ]]; then
    echo "fuzz: skipped (no clang++)"
    exit 77
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(ccache); fi

plain_targets=(fuzz_modbus fuzz_dlt645 fuzz_yaao_datang fuzz_traffic)
qt_targets=(fuzz_readback fuzz_settings fuzz_catalogue fuzz_mdb_csv fuzz_sim_request)
targets=("$@")
if ((${#targets[@]} == 0)); then targets=("${plain_targets[@]}" "${qt_targets[@]}"); fi

# The product database sources, which the configuration download and the .mdb import pull in.
store="src/store/catalogue.cpp src/store/database.cpp src/store/db_location.cpp
       src/store/ini_file.cpp src/store/mdb_import.cpp src/store/migrations.cpp
       src/store/passwords.cpp src/store/schema.cpp src/store/settings.cpp src/common/conversion.cpp"
declare -A sources=(
    [fuzz_modbus]="src/link/modbus_frames.cpp"
    [fuzz_dlt645]="src/link/dlt645_frames.cpp"
    [fuzz_yaao_datang]="src/link/yaao_datang_frames.cpp"
    [fuzz_traffic]="src/link/traffic_decode.cpp src/link/framing.cpp src/link/modbus_frames.cpp"
    [fuzz_readback]="src/calib/calibration.cpp src/calib/calibration_backup.cpp
                     src/calib/configuration_blocks.cpp src/calib/configuration_download.cpp
                     src/calib/download_check.cpp src/calib/register_words.cpp
                     src/link/modbus.cpp src/link/modbus_frames.cpp $store"
    [fuzz_settings]="src/store/settings.cpp src/store/ini_file.cpp src/store/db_location.cpp
                     src/common/conversion.cpp"
    [fuzz_catalogue]="src/store/catalogue.cpp src/common/conversion.cpp sim/model/measurement.cpp"
    [fuzz_mdb_csv]="$store"
    [fuzz_sim_request]="sim/frames.cpp sim/module.cpp sim/model/measurement.cpp
                        src/store/catalogue.cpp src/common/conversion.cpp"
)
# The longest input each target is given: a Config.ini or a seed table is a few kilobytes, a
# read-back or a series of requests some hundred bytes.
declare -A max_len=(
    [fuzz_readback]=4096 [fuzz_settings]=4096 [fuzz_catalogue]=4096 [fuzz_mdb_csv]=2048
    [fuzz_sim_request]=2048
)

is_qt() {
    local t
    for t in "${qt_targets[@]}"; do [[ $t == "$1" ]] && return 0; done
    return 1
}

qt_cflags=$(pkg-config --cflags Qt6Core Qt6Sql)
qt_libs="$(pkg-config --libs Qt6Core Qt6Sql) $(pkg-config --libs libsodium)"
sanitize=("-fsanitize=address,undefined" -fno-sanitize-recover=all)
cflags=(-std=c++20 -g -O1 -fPIC "${sanitize[@]}" -Wall -Wextra
        -I"$src/src" -I"$src/sim" -I"$src/sim/model" -I"$src/tests/fuzz"
        "-DKX_FUZZ_DATA_DIR=\"$src/data\"")

# Object of a source file, compiled with the fuzzer's coverage (its main comes in at the link);
# written under a temporary name and moved into place, so a build that stops half-way leaves no
# broken object.
object_of() { echo "$out/obj/${1//\//_}.o"; }
compile() {
    local file=$1 obj tmp
    obj=$(object_of "$file")
    tmp="$obj.$$.tmp"
    # shellcheck disable=SC2086
    "${launcher[@]}" "$cxx" "${cflags[@]}" -fsanitize=fuzzer-no-link $qt_cflags \
        -c "$src/$file" -o "$tmp"
    mv "$tmp" "$obj"
}

build() {
    mkdir -p "$out/obj"
    local -A wanted=()
    local t f
    for t in "${targets[@]}"; do
        [[ -n ${sources[$t]:-} ]] || { echo "fuzz: no target $t"; exit 2; }
        wanted["tests/fuzz/$t.cpp"]=1
        for f in ${sources[$t]}; do wanted[$f]=1; done
    done
    echo "fuzz: compiling ${#wanted[@]} sources"
    # Two compilers at a time: the machine has two cores.
    local failed=0 running=0
    for f in "${!wanted[@]}"; do
        compile "$f" &
        if ((++running >= 2)); then
            wait -n || failed=1
            ((running--))
        fi
    done
    while ((running > 0)); do
        wait -n || failed=1
        ((running--))
    done
    ((failed == 0)) || { echo "fuzz: compiling FAILED"; exit 1; }
    for t in "${targets[@]}"; do
        echo "fuzz: linking $t"
        local objs=("$(object_of "tests/fuzz/$t.cpp")")
        for f in ${sources[$t]}; do objs+=("$(object_of "$f")"); done
        local libs=""
        if is_qt "$t"; then libs=$qt_libs; fi
        # shellcheck disable=SC2086
        "$cxx" -fsanitize=fuzzer "${sanitize[@]}" "${objs[@]}" $libs -o "$out/$t.tmp"
        mv "$out/$t.tmp" "$out/$t"
    done
}

# A seed: the bytes of the arguments, each a run of hexadecimal digits (blanks ignored).
seed() {
    local file=$1 hex
    shift
    hex=$(echo "$*" | tr -d ' \n')
    local escaped="" i
    for ((i = 0; i < ${#hex}; i += 2)); do escaped+="\\x${hex:i:2}"; done
    printf '%b' "$escaped" >"$file"
}
# n times the hexadecimal word w.
words() {
    local i
    for ((i = 0; i < $1; ++i)); do printf '%s' "$2"; done
}
# A Modbus reply the read-back target turns into a good one: header and CRC added, n words.
answer() { printf '03%02x%s' $((2 * $1)) "$(words "$1" "$2")"; }

write_seeds() {
    local t=$1 dir=$2
    case $t in
    fuzz_readback)
        # Address 1, no output list, the word at 260 flipped in its lowest bit; then the 44
        # user words, the 30 calibration words, the backup of 30 + 27 words with its restore
        # (two writes, two reads) and a VIP calibration (flag, neutral, 8 raw reads, data).
        seed "$dir/readback" 01 00 0104 0001 "$(answer 44 0101)" "$(answer 30 4B58)" \
            "$(answer 30 4B58)" "$(answer 27 2710)" 0300 0300 "$(answer 30 4B58)" \
            "$(answer 27 2710)" 0300 0300 "$(for i in 1 2 3 4 5 6 7 8; do answer 9 03E8; done)" 0300
        # The same, then the angle calibration (30 reads, the coefficients) and the three passes
        # of the power compensation (8 raw reads and a write each), true power 1 W.
        local raw angles power
        raw=$(for i in 1 2 3 4 5 6 7 8; do answer 9 03E8; done)
        angles=$(for ((i = 0; i < 30; ++i)); do answer 3 0100; done)
        power=$(for i in 1 2 3; do printf '%s0300' "$raw"; done)
        seed "$dir/calibration" 01 00 0104 0001 "$(answer 44 0101)" "$(answer 30 4B58)" \
            "$(answer 30 4B58)" "$(answer 27 2710)" 0300 0300 "$(answer 30 4B58)" \
            "$(answer 27 2710)" 0300 0300 "$raw" 0300 "$angles" 0300 "$power"
        seed "$dir/line-fails" 01 00 0000 0000 8000
        ;;
    fuzz_settings)
        cp "$src/data/Config.ini" "$dir/shipped.ini"
        printf '\xef\xbb\xbf[Database]\r\nDriver=postgresql\r\nHost=db.local\r\nPort=5432\r\nName=kx\r\n' \
            >"$dir/postgres.ini"
        printf 'db.local:5433/kx' >"$dir/address"
        ;;
    fuzz_catalogue)
        { printf '\x00'; cat "$src/data/outpar.csv"; } >"$dir/outpar"
        { printf '\x01'; cat "$src/data/dl645_97.csv"; } >"$dir/dl645_97"
        { printf '\x02'; cat "$src/data/dl645_07.csv"; } >"$dir/dl645_07"
        ;;
    fuzz_mdb_csv)
        printf 'ID,CSMC,ADDR,"DW"\n1,"A相电压",4000,"V"\n2,"a ""quoted"", name",4001.00,\n' \
            >"$dir/outpar"
        printf 'ID,Name\r\n1,"two\r\nlines"\r\n' >"$dir/crlf"
        ;;
    fuzz_sim_request)
        # One read in each protocol (checksums put by the target), and a Modbus write of 11023
        # that switches the module to DL/T 645-2007 before a read in it.
        seed "$dir/modbus" 00 01 08 0103 0000 0002 0000
        seed "$dir/dlt645-1997" 01 01 0e 68 010000000000 68 01 02 43C3 00 16
        seed "$dir/dlt645-2007" 02 01 10 68 010000000000 68 11 04 33333433 00 16
        seed "$dir/yaao" 03 01 06 55 01 01 01 00 AA 01 06 55 01 01 09 00 AA
        seed "$dir/datang" 04 01 08 7E 0A 01 30 000000 00
        # Writes: Modbus 0x10 to 260 and 0x40 to 11002, the tariff count in DL/T 645-1997 and
        # -2007 (the latter with its password and operator code).
        seed "$dir/modbus-writes" 00 01 0d 0110 0104 0002 04 0001 0002 0000 \
            01 0d 0140 2AFA 0002 04 0898 0000 0000
        seed "$dir/dlt645-1997-write" 01 01 0f 68 010000000000 68 04 03 46F637 00 16
        seed "$dir/dlt645-2007-write" 02 01 19 68 010000000000 68 14 0d 37353337 35333333 \
            33333333 37 00 16
        seed "$dir/switch" 00 01 08 0106 2B0F 0002 0000 01 10 68 010000000000 68 11 04 33333433 00 16
        ;;
    esac
}

run() {
    local t
    # The targets that take their input as a file write one per input: keep them off the disk.
    if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
    for t in "${targets[@]}"; do
        [[ -x $out/$t ]] || { echo "fuzz: $t is not built"; exit 1; }
        local corpus="$out/corpus-$t"
        mkdir -p "$corpus"
        write_seeds "$t" "$corpus"
        echo "fuzz: running $t for ${seconds}s"
        # A crash, leak, timeout or sanitizer report makes libFuzzer exit non-zero. The inputs
        # may be as long as max_len from the start: a run of seconds never grows them far.
        if ! "$out/$t" -max_total_time="$seconds" -max_len="${max_len[$t]:-1100}" -len_control=0 \
                -timeout=10 -artifact_prefix="$out/$t-" -print_final_stats=1 "$corpus" 2>"$out/$t.log"; then
            tail -n 60 "$out/$t.log"
            echo "fuzz: $t FAILED"
            exit 1
        fi
        grep -E "stat::number_of_executed_units" "$out/$t.log" || true
    done
    echo "fuzz: ${targets[*]} clean"
}

if [[ $mode != run ]]; then build; fi
if [[ $mode != build ]]; then run; fi
