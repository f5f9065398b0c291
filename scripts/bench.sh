#!/usr/bin/env bash
# Runs every benchmark one after another and ends with one line per target:
#
#   name: measured / floor = ratio (target T) met|missed
#
# where the floor is the bare version of the same work measured in the same
# run. Each benchmark prints its own table first. Nothing is asserted: the
# exit status says only whether every benchmark ran to its end.
#
#   scripts/bench.sh [--smoke] [--bin DIR]
#
# --smoke   each benchmark once with its smallest sizes (FUDOUSAN_BENCH_SMOKE=1):
#           shows that each still runs, in well under a minute; its figures
#           mean little. CTest runs it as BenchSmoke.
# --bin DIR where the benchmarks are (default: build/bin of this checkout).
#
# The machine's load is printed at the start and the end: on a shared
# machine compare only ratios of one run, and run again before believing a
# change.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$root/build/bin"
smoke=0
while [ $# -gt 0 ]; do
    case "$1" in
    --smoke) smoke=1 ;;
    --bin)
        bin=$2
        shift
        ;;
    *)
        echo "usage: $0 [--smoke] [--bin DIR]" >&2
        exit 2
        ;;
    esac
    shift
done

benchmarks=(bench_startup bench_save bench_flyer bench_list bench_jet bench_pictures bench_input_method bench_server)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
fi
if [ "$smoke" = 1 ]; then
    export FUDOUSAN_BENCH_SMOKE=1
else
    unset FUDOUSAN_BENCH_SMOKE
fi

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
failed=()
for name in "${benchmarks[@]}"; do
    echo
    echo "== $name"
    if [ ! -x "$bin/$name" ]; then
        echo "not built (looked in $bin)"
        failed+=("$name (not built)")
        continue
    fi
    start=$(date +%s.%N)
    "$bin/$name" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    grep -v '^TARGET ' "$work/$name.out"
    grep -v -e 'XDG_RUNTIME_DIR' -e 'propagateSizeHints' "$work/$name.err" >&2
    grep '^TARGET ' "$work/$name.out" >>"$work/targets"
    if [ "$status" != 0 ]; then
        echo "$name failed (exit status $status)"
        failed+=("$name (exit status $status)")
    fi
    awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "(%.1f s)\n", e - s }'
done

echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "targets$([ "$smoke" = 1 ] && echo ' (smoke run: sizes too small to judge)'):"
touch "$work/targets"
awk '
function figure(v) { return v < 10 ? sprintf("%.2f", v) : sprintf("%.1f", v) }
{
    name = $2; measured = $3 + 0; floor = $4; target = $5; unit = $6
    line = name ": " figure(measured) " " unit
    ratio = 0
    if (floor != "-" && floor + 0 > 0) {
        ratio = measured / (floor + 0)
        line = line " / " figure(floor + 0) " " unit " = " sprintf("%.2fx", ratio)
    }
    if (target ~ /x$/) {
        limit = substr(target, 1, length(target) - 1) + 0
        met = ratio > 0 && ratio <= limit
        line = line " (target " target ")"
    } else {
        limit = substr(target, 2) + 0
        met = measured < limit
        line = line " (target < " limit " " unit ")"
    }
    print "  " line " " (met ? "met" : "missed")
}' "$work/targets"

if [ ${#failed[@]} -gt 0 ]; then
    echo "did not run to the end: ${failed[*]}"
    exit 1
fi
exit 0
