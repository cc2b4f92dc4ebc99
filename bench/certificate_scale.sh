#!/usr/bin/env bash
# `fennick verify-certificate FILE --allow-unsealed` on sealed certificates of growing size (each
# stage one artifact digest): one fresh process per run, the median wall time of RUNS runs and
# the largest peak memory (GNU time), beside the file size and the 4x-file-size memory target, so
# that the growth with the certificate shows. A baseline binary (the yardstick column) is run the
# same way in the same run. Every run must give the expected verdict: exit 0, VERIFIED, every
# stage counted, the missing platform seal accepted; and the file with one stage renamed must
# fail its hash (checked once per size, untimed).
#   bench/certificate_scale.sh [BUILD_DIR]                              (default: build)
#   STAGES="100000 300000 1000000" RUNS=5 bench/certificate_scale.sh build-bench
#   BASELINE_REV=0347ea5 bench/certificate_scale.sh build-bench   (yardstick built from a revision)
#   BASELINE=/path/to/old/fennick bench/certificate_scale.sh build-bench
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
# Needs about 3 GB of memory to seal the largest certificate and 160 MB of disk per million stages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. bench/lib/baseline.sh
stage_counts=${STAGES:-100000 300000 1000000}
runs=${RUNS:-5}
fennick="$build/cli/fennick"
maker="$build/bench/certificate_scale_bench"
# The two programs of this build (cmake --build BUILD_DIR --target fennick
# certificate_scale_bench) and GNU time.
for need in "$fennick" "$maker" /usr/bin/time; do
  command -v "$need" >/dev/null || { echo "certificate_scale: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One fresh run of BIN (LABEL: after or before) on FILE of STAGES stages: appends "LABEL WALL
# PEAK_KB" to the run list and prints it. Exits when the verdict is not the expected one.
run_once() {
  local label=$1 bin=$2 file=$3 stages=$4
  local wall kb code=0
  /usr/bin/time -o "$work/time" -f '%e %M' "$bin" verify-certificate "$file" --allow-unsealed \
    >"$work/out" 2>"$work/err" || code=$?
  read -r wall kb <"$work/time"
  if [ "$code" -ne 0 ] ||
    ! head -n 1 "$work/out" | grep -q '^governance certificate VERIFIED (pipeline: run-scale' ||
    ! grep -qx "  stages: $stages" "$work/err" ||
    ! grep -qx '  platform seal: ABSENT (unsealed)' "$work/err"; then
    echo "certificate_scale: $label on $stages stages: exit $code, not the expected verdict:" >&2
    head -c 2000 "$work/out" "$work/err" >&2
    exit 1
  fi
  echo "$label $wall $kb" >>"$work/runs"
  printf '  %s: %s s, %.0f MB\n' "$label" "$wall" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
}

# "MEDIAN_WALL PEAK_MB" of LABEL's runs.
figures() {
  awk -v label="$1" '$1 == label { t[++n] = $2; if ($3 > p) p = $3 }
    END {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (t[j] < t[i]) { x = t[i]; t[i] = t[j]; t[j] = x }
      printf "%.2f %.0f\n", (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2, p / 1024 }' \
    "$work/runs"
}

echo "fennick: $fennick; baseline: ${baseline:--}; $runs runs each, alternating; median time, largest peak"
for n in $stage_counts; do
  file="$work/stages-$n.json"
  "$maker" "$file" "$n"
  bytes=$(stat -c %s "$file")
  size=$(awk -v b="$bytes" -v n="$n" 'BEGIN { printf "%d stages, %.1f MB (%.1f MiB)", n, b / 1e6, b / 1048576 }')
  target=$(awk -v b="$bytes" 'BEGIN { printf "%.0f", 4 * b / 1048576 }')
  echo "== $size; 4x file size: $target MB"
  # Once, untimed: the same file with the first stage renamed must fail its hash, so the runs
  # below verify every stage rather than pass whatever they are given.
  sed '0,/"stageId":"stage-0"/s//"stageId":"stage-X"/' "$file" >"$work/tampered.json"
  code=0
  "$fennick" verify-certificate "$work/tampered.json" --allow-unsealed >"$work/out" 2>"$work/err" ||
    code=$?
  if [ "$code" -ne 1 ] || ! head -n 1 "$work/out" | grep -q '^governance certificate INVALID' ||
    ! grep -q 'certificate hash mismatch' "$work/err"; then
    echo "certificate_scale: a renamed stage did not make $n stages INVALID (exit $code)" >&2
    exit 1
  fi
  rm -f "$work/tampered.json"
  # The two binaries alternate, so that the machine's load falls on both alike.
  : >"$work/runs"
  for ((i = 1; i <= runs; i++)); do
    run_once after "$fennick" "$file" "$n"
    [ -z "$baseline" ] || run_once before "$baseline" "$file" "$n"
  done
  read -r after_wall after_peak < <(figures after)
  yardstick="-"
  if [ -n "$baseline" ]; then
    read -r before_wall before_peak < <(figures before)
    yardstick="before: $before_wall s, $before_peak MB"
  fi
  thr=$(awk -v b="$bytes" -v s="$after_wall" 'BEGIN { if (s > 0) printf "%.0f MB/s", b / 1e6 / s; else print "-" }')
  printf 'row: fennick verify-certificate --allow-unsealed, %d stages\t%s\t%s s (median of %d)\t%s\t%s MB (4x file: %s MB)\t%s\n' \
    "$n" "$size" "$after_wall" "$runs" "$thr" "$after_peak" "$target" "$yardstick"
  rm -f "$file"
done
