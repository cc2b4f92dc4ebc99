#!/usr/bin/env bash
# Whole runs of the fennick binary on large generated inputs, with wall time and peak memory:
# a sealed, countersigned certificate with 10,000 stages (one artifact each) and 2,000 inter-stage
# manifests, and a BOM of 100,000 nested components bound by the certificate and scanned by the
# posture cross-check. The inputs go to a temporary directory that is removed at exit.
#   bench/whole_binary.sh [BUILD_DIR]                       (default: build)
#   STAGES=10000 MANIFESTS=2000 COMPONENTS=100000 bench/whole_binary.sh build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
stages=${STAGES:-10000}
manifests=${MANIFESTS:-2000}
components=${COMPONENTS:-100000}
fennick="$build/cli/fennick"
producer="$build/tests/make_bench_inputs"
for bin in "$fennick" "$producer"; do
  if [ ! -x "$bin" ]; then
    echo "whole_binary: build $bin first (cmake --build $build --target fennick make_bench_inputs)" >&2
    exit 2
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "whole_binary: needs GNU time (/usr/bin/time, Debian package 'time')" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-whole-binary.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$producer" "$work" "$stages" "$manifests" "$components"
echo "inputs: $stages stages, $manifests manifests, $components BOM components"
echo "  certificate $(wc -c <"$work/governance-certificate.json") bytes," \
  "BOM $(wc -c <"$work/app/.factory/sbom.cdx.json") bytes"
echo

# Runs fennick once with the given arguments and prints its verdict, exit code, wall time and
# peak resident memory.
run() {
  local label=$1
  shift
  set +e
  /usr/bin/time -v "$fennick" "$@" >"$work/out.txt" 2>"$work/err.txt"
  local code=$?
  set -e
  printf '%s\n  verdict: %s (exit %d)\n' "$label" "$(head -c 200 "$work/out.txt" | head -n 1)" "$code"
  awk -F': ' '
    /Elapsed \(wall clock\) time/ { printf "  wall time: %s\n", $2 }
    /Maximum resident set size/ { printf "  peak memory: %.1f MB\n", $2 / 1024 }
  ' "$work/err.txt"
}

cert="$work/governance-certificate.json"
run "verify-certificate, every input (artifacts re-hashed, chain, countersign, SBOM, posture)" \
  verify-certificate "$cert" --artifact-dir "$work/artifacts" \
  --platform-jwks "$work/platform-jwks.json" --sbom-dir "$work/app"
run "verify-certificate, certificate and key set only (no artifact or SBOM reads)" \
  verify-certificate "$cert" --platform-jwks "$work/platform-jwks.json"
