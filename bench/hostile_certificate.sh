#!/usr/bin/env bash
# Whole runs of `fennick verify-certificate` on small certificates shaped by a hostile producer,
# with wall time, peak memory and the size of what went to stderr, for this build and, in the
# same run, for a baseline binary (the yardstick column). Each run is one fresh process under a
# time and an address-space limit, so a hang shows as "> N s" and an abort or kill as such.
#   bench/hostile_certificate.sh [BUILD_DIR]                     (default: build)
#   BASELINE=/path/to/old/fennick TIMEOUT=60 MEMORY_MB=4096 bench/hostile_certificate.sh build
#   SIGNERS="10000 20000 40000 80000" bench/hostile_certificate.sh build
#   BASELINE_REV=0347ea5 bench/hostile_certificate.sh build   (yardstick built from a revision)
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. bench/lib/baseline.sh
timeout_s=${TIMEOUT:-60}
memory_mb=${MEMORY_MB:-4096}
signer_counts=${SIGNERS:-10000 20000 40000 80000}
fennick="$build/cli/fennick"
maker="$build/tests/make_hostile_certificates"
escaper="$build/tests/make_hostile_inputs"
# The programs of this build (cmake --build BUILD_DIR --target fennick
# make_hostile_certificates make_hostile_inputs), GNU time, timeout and prlimit.
for need in "$fennick" "$maker" "$escaper" /usr/bin/time timeout prlimit; do
  command -v "$need" >/dev/null || { echo "hostile_certificate: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/empty"

mb() { awk -v b="$1" 'BEGIN { if (b < 1e5) printf "%d bytes", b; else printf "%.1f MB", b / 1e6 }'; }

# One run of BIN with ARGS under the limits; sets RESULT to "time, peak, stderr size, verdict".
# The streams go to pipes and counters, never to disk: a baseline may write gigabytes.
measure() {
  local label=$1 bin=$2 limit_mb=$3
  shift 3
  local err_bytes
  err_bytes=$({ /usr/bin/time -o "$work/time" -f '%e %M %x' timeout "$timeout_s" \
    prlimit --as=$((limit_mb * 1024 * 1024)) "$bin" "$@" 2>&1 >"$work/out"; } | wc -c) || true
  local wall peak code verdict signal
  read -r wall peak code < <(tail -n 1 "$work/time")
  # Killed by a signal: GNU time says so on a line of its own and reports status 0.
  signal=$(sed -n 's/^Command terminated by signal \([0-9]*\)$/\1/p' "$work/time")
  [ -n "$signal" ] && code=$((128 + signal))
  case "$code" in
    0) verdict=VERIFIED ;;
    1) verdict=INVALID ;;
    2) verdict="exit 2" ;;
    124) verdict="timed out"; wall="> $timeout_s" ;;
    134) verdict=aborted ;;
    137) verdict=killed ;;
    *) verdict="exit $code" ;;
  esac
  [ "$code" = 1 ] && ! head -n 1 "$work/out" | grep -q INVALID && verdict="INVALID?"
  [ "$code" = 0 ] && ! head -n 1 "$work/out" | grep -q VERIFIED && verdict="VERIFIED?"
  RESULT="$wall s, $(awk -v k="$peak" 'BEGIN { printf "%.0f MB", k / 1024 }') peak, stderr $(mb "$err_bytes"), $verdict"
  printf '  %s: %s\n' "$label" "$RESULT"
}

# A case: its name, the certificate, the memory limit in MB, then fennick's arguments after the
# certificate. Prints the detail lines and one table row.
bench_case() {
  local what=$1 input=$2 limit_mb=$3
  shift 3
  local size
  size=$(mb "$(stat -c %s "$input" 2>/dev/null || echo 0)")
  [ -c "$input" ] && size="endless"
  echo "== $what ($size)"
  measure after "$fennick" "$limit_mb" verify-certificate "$input" "$@"
  local after=$RESULT before="-"
  if [ -n "$baseline" ]; then
    measure before "$baseline" "$limit_mb" verify-certificate "$input" "$@"
    before="before: $RESULT"
  fi
  IFS=, read -r wall peak rest <<<"$after"
  printf 'row: hostile certificate: %s (after:%s)\t%s\t%s (one run)\t-\t%s\t%s\n' \
    "$what" "$rest" "$size" "$wall" "${peak# }" "$before"
}

"$maker" flood "$work/flood-1000.json" 1000 1000000
bench_case "1 MB run id, 1,000 manifests of another run" "$work/flood-1000.json" "$memory_mb" \
  --allow-unsealed
"$maker" flood "$work/flood-3000.json" 3000 1000000
bench_case "1 MB run id, 3,000 manifests of another run" "$work/flood-3000.json" "$memory_mb" \
  --allow-unsealed

for n in $signer_counts; do
  "$maker" unknown-signers "$work/unknown-$n.json" "$n"
  bench_case "$n stage keys, $n manifests of unregistered signers" "$work/unknown-$n.json" \
    "$memory_mb" --allow-unsealed
  rm -f "$work/unknown-$n.json"
done
"$maker" signers "$work/signed.json" 20000
bench_case "20000 stage keys, 20000 signed manifests" "$work/signed.json" "$memory_mb" \
  --allow-unsealed

"$maker" artifact-names "$work/artifacts.json" 100000 1000000
bench_case "1 MB stage id listing 100,000 artifacts" "$work/artifacts.json" "$memory_mb" \
  --allow-unsealed --artifact-dir "$work/empty"

# One 64 MB file that every stage's artifact links to: each listing re-read it before.
head -c $((64 * 1024 * 1024)) /dev/urandom >"$work/shared.bin"
"$maker" shared-artifact "$work/shared.json" 200 "$(sha256sum "$work/shared.bin" | cut -d' ' -f1)"
mkdir "$work/shared"
for i in $(seq 0 199); do
  d=$(printf '%s/shared/stage-%09d' "$work" "$i")
  mkdir "$d"
  ln -s "$work/shared.bin" "$d/a"
done
bench_case "200 stages whose artifact links to one 64 MB file" "$work/shared.json" "$memory_mb" \
  --allow-unsealed --artifact-dir "$work/shared"
rm -rf "$work/shared" "$work/shared.bin"

bench_case "/dev/zero as the certificate, 256 MB address space" /dev/zero 256 --allow-unsealed

# Values of ESC characters, each shown as a six-byte escape on every line that names it.
# Target: INVALID within 5 s, under 256 MB of memory, under 16 MB of stderr.
escaped_names=${ESCAPED_NAMES:-200000}
"$escaper" escaped-artifact-names "$work/escaped-names.json" "$escaped_names" 1024
bench_case "stage id of 1,024 ESC characters listing $escaped_names artifacts" \
  "$work/escaped-names.json" "$memory_mb" --allow-unsealed --artifact-dir "$work/empty"
rm -f "$work/escaped-names.json"
escaped_manifests=${ESCAPED_MANIFESTS:-20000}
"$escaper" escaped-flood "$work/escaped-flood.json" "$escaped_manifests" 1024
bench_case "run id of 1,024 ESC characters, $escaped_manifests manifests of another run" \
  "$work/escaped-flood.json" "$memory_mb" --allow-unsealed
rm -f "$work/escaped-flood.json"
"$escaper" escaped-flood "$work/escaped-run-id.json" 3000 1000000
bench_case "1 MB run id of ESC characters, 3,000 manifests of another run" \
  "$work/escaped-run-id.json" "$memory_mb" --allow-unsealed
