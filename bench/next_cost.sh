#!/usr/bin/env bash
# Instructions per Next of both plug-ins against their C library baselines,
# counted by callgrind over 8 MiB files with FILEBUFFERS=128: the binary
# driver against an fread loop of 100-byte records, the text driver against a
# std::getline loop over the same text file. Prints the ratios, where each
# call's instructions go (dispatch, prologue, record layer, scan, epilogue),
# then runs the two time benchmarks and prints their time ratios.
# Instruction counts do not depend on the machine's load; steer by them.
#   bench/next_cost.sh [BUILD_DIR]     (default: build/default)
#   NEXT_COST_SKIP_TIMES=1 leaves the time benchmarks out.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$source_dir/build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v valgrind >/dev/null; then
    apt-get install -y valgrind >/dev/null
fi
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake --preset default -DX9_BUILD_LOADER=OFF -S "$source_dir" >/dev/null
fi
cmake --build "$build_dir" -j2 --target next_cost_probe driver_scan_bench driver_text_scan_bench \
    >/dev/null
probe=$build_dir/bench/next_cost_probe
[ -x "$probe" ] || probe=$(find "$build_dir" -name next_cost_probe -type f -perm -u+x | head -1)

bytes=$((8 << 20))
"$probe" make-binary "$work/records.dat" $bytes
"$probe" make-text "$work/lines.txt" $bytes

# count MODE FILE COLLECT: instructions per counted call, inside COLLECT.
count() {
    local mode=$1 file=$2 collect=$3 out=$work/callgrind.$1
    local calls
    calls=$(valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$collect" \
        --dump-instr=yes --compress-strings=no --compress-pos=no "$probe" "$mode" "$file" 2>/dev/null)
    local total
    total=$(awk '/^(summary|totals):/ {print $2; exit}' "$out")
    echo "$calls $total"
}

read -r dos_calls dos_total < <(count dos "$work/records.dat" DOS)
read -r ascii_calls ascii_total < <(count ascii "$work/lines.txt" ASCII)
read -r fread_records fread_total < <(count fread "$work/records.dat" '*freadLoop*')
read -r getline_records getline_total < <(count getline "$work/lines.txt" '*getlineLoop*')

per() { awk -v t="$1" -v n="$2" 'BEGIN {printf "%.1f", t / n}'; }
ratio() { awk -v b="$1" -v d="$2" 'BEGIN {printf "%.2fx", b / d}'; }
dos_per=$(per "$dos_total" "$dos_calls")
ascii_per=$(per "$ascii_total" "$ascii_calls")
fread_per=$(per "$fread_total" "$fread_records")
getline_per=$(per "$getline_total" "$getline_records")

echo "Instructions per call (callgrind, 8 MiB files, FILEBUFFERS=128)"
printf '%-8s %10s %-28s %10s %7s\n' driver "per Next" baseline "per record" ratio
printf '%-8s %10s %-28s %10s %7s\n' DOS "$dos_per" "fread, 100-byte records" "$fread_per" \
    "$(ratio "$fread_per" "$dos_per")"
printf '%-8s %10s %-28s %10s %7s\n' ASCII "$ascii_per" "std::getline, same file" "$getline_per" \
    "$(ratio "$getline_per" "$ascii_per")"
echo
echo "Per stage, instructions per Next"
printf '%-8s %9s %9s %9s %9s %9s\n' driver dispatch prologue record scan epilogue
for driver in dos ascii; do
    calls_var=${driver}_calls
    stages=$(python3 "$source_dir/bench/next_cost_stages.py" "$work/callgrind.$driver" \
        "${!calls_var}" | awk '{printf " %9s", $2}')
    printf '%-8s%s\n' "${driver^^}" "$stages"
done

if [ "${NEXT_COST_SKIP_TIMES:-0}" = 1 ]; then exit 0; fi
echo
echo "Time ratios (fastest of several runs, taking turns)"
"$build_dir/bench/driver_scan_bench" "$work" | grep -E 'fread loop|Next scan'
"$build_dir/bench/driver_text_scan_bench" "$work" | grep -E 'getline loop|Next scan'
