#!/usr/bin/env bash
# Whole runs of `fennick verify-certificate` on free-form JSON that the certificate reader does
# not shape: a sealed certificate whose one manifest carries metadata {"x":[0,0,...]} of 20 million
# elements; the same array in a BOM bound by the certificate; the juice-shop CycloneDX BOM of the
# third-party examples with its components repeated 50 times; a generated CycloneDX-shaped BOM of
# 400,000 components. Each BOM is bound by a sealed certificate that declares no agentic surface,
# so --sbom-dir checks the binding and runs the posture cross-check. Wall time, peak memory,
# verdict, beside the memory target, for this build and, in the same run, for a baseline binary
# (the yardstick column), each one fresh process under a time and an address-space limit.
#   bench/json_values.sh [BUILD_DIR]                          (default: build)
#   BASELINE_REV=0347ea5 TIMEOUT=60 MEMORY_MB=8192 bench/json_values.sh build
#   ELEMENTS=20000000 REPEATS=50 COMPONENTS=400000 bench/json_values.sh build
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
# Targets: the metadata array within 5 s and 4x the certificate, in the BOM within 4x the
# certificate and BOM; the juice-shop BOM within 0.6 s and 2x its size; the generated BOM within
# 1 s and 2x its size. The juice-shop row is skipped without the third-party folder or jq.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/limited_run.sh
. bench/lib/baseline.sh
build=${1:-build}
timeout_s=${TIMEOUT:-60}
memory_mb=${MEMORY_MB:-8192}
elements=${ELEMENTS:-20000000}
repeats=${REPEATS:-50}
components=${COMPONENTS:-400000}
# The third-party folder: FENNICK_EXTERNAL_DIR, else the one the build was configured with.
external=${FENNICK_EXTERNAL_DIR:-$(sed -n 's/^FENNICK_EXTERNAL_DIR:PATH=//p' \
  "$build/CMakeCache.txt" 2>/dev/null)}
juice_shop="$external/cyclonedx-bom-examples/SBOM/juice-shop/via_npm/bare/bom.1.4.json"
fennick="$build/cli/fennick"
maker="$build/tests/make_hostile_inputs"
# The programs of this build (cmake --build BUILD_DIR --target fennick make_hostile_inputs).
for need in "$fennick" "$maker" /usr/bin/time timeout prlimit awk; do
  command -v "$need" >/dev/null || { echo "json_values: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-json-values.XXXXXX")
trap 'rm -rf "$work"' EXIT

mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }

# One run of BIN with ARGS under the limits; sets RESULT to "time, peak, verdict". The verdict is
# the exit code's, marked with "?" when the first line of stdout does not say it, and, when
# CHECK_BOM is set, when stderr lacks the binding's and the cross-check's notices.
measure() {
  local bin=$1
  shift
  LIMITED_RUN_STDERR="$work/err" limited_run "$timeout_s" "$memory_mb" "$work" "$work/out" \
    "$bin" "$@"
  local verdict=""
  case "$RESULT" in
    *"exit 0") verdict=VERIFIED ;;
    *"exit 1") verdict=INVALID ;;
  esac
  if [ -n "$verdict" ]; then
    if ! head -n 1 "$work/out" | grep -q "$verdict" ||
      { [ -n "${CHECK_BOM:-}" ] && [ "$verdict" = VERIFIED ] &&
        ! { grep -q 'sbom artifact binding VERIFIED' "$work/err" &&
          grep -q 'agentic posture: none' "$work/err"; }; }; then
      verdict="$verdict?"
    fi
    RESULT="$RESULT, $verdict"
  fi
  rm -f "$work/out" "$work/err"
}

# A case: its name, the input's bytes, the memory target's factor, then fennick's arguments.
# Prints the detail lines and one table row.
bench_case() {
  local what=$1 bytes=$2 factor=$3
  shift 3
  local target
  target=$(awk -v b="$bytes" -v f="$factor" 'BEGIN { printf "%.0f MB", f * b / 1048576 }')
  echo "== $what ($(mb "$bytes"); target peak ${factor}x input: $target)"
  measure "$fennick" "$@"
  local after=$RESULT before="-"
  echo "  after: $after"
  if [ -n "$baseline" ]; then
    measure "$baseline" "$@"
    before="before: $RESULT"
    echo "  $before"
  fi
  local wall peak rest
  IFS=, read -r wall peak rest <<<"$after"
  printf 'row: json values: %s (after:%s)\t%s\t%s (one run)\t-\t%s (%sx input: %s)\t%s\n' \
    "$what" "$rest" "$(mb "$bytes")" "$wall" "${peak# }" "$factor" "$target" "$before"
}

# A run directory whose BOM is read from stdin; the certificate binding it is sealed after.
bound_run() {
  local run=$1
  mkdir -p "$run/app/.factory"
  cat >"$run/app/.factory/sbom.cdx.json"
  "$maker" bind-bom "$run"
}

run_bytes() {
  echo $(($(stat -c %s "$1/governance-certificate.json") + $(stat -c %s "$1/app/.factory/sbom.cdx.json")))
}

# 1. The array in a signed manifest's metadata.
"$maker" metadata-array "$work/metadata.json" "$elements"
bench_case "manifest metadata of $elements array elements" "$(stat -c %s "$work/metadata.json")" \
  4 verify-certificate "$work/metadata.json" --allow-unsealed
rm -f "$work/metadata.json"

# 2. The same array in the bound BOM.
{
  printf '{"bomFormat":"CycloneDX","specVersion":"1.5","metadata":{"x":['
  awk -v n="$elements" 'BEGIN { for (i = 1; i < n; i++) printf "0,"; if (n > 0) printf "0" }'
  printf ']},"components":[]}\n'
} | bound_run "$work/array"
CHECK_BOM=1 bench_case "BOM of $elements array elements, bound" "$(run_bytes "$work/array")" 4 \
  verify-certificate "$work/array/governance-certificate.json" --allow-unsealed \
  --sbom-dir "$work/array/app"
rm -rf "$work/array"

# 3. A real BOM's components, repeated.
if [ -f "$juice_shop" ] && command -v jq >/dev/null; then
  jq -c --argjson n "$repeats" '.components = [range($n) as $i | .components[]]' "$juice_shop" |
    bound_run "$work/juice"
  CHECK_BOM=1 bench_case "juice-shop BOM, components repeated $repeats times, bound" \
    "$(stat -c %s "$work/juice/app/.factory/sbom.cdx.json")" 2 \
    verify-certificate "$work/juice/governance-certificate.json" --allow-unsealed \
    --sbom-dir "$work/juice/app"
  rm -rf "$work/juice"
else
  printf 'row: json values: juice-shop BOM: skipped (no %s or no jq)\t-\t-\t-\t-\t-\n' "$juice_shop"
fi

# 4. A generated BOM: components with a bom-ref, a purl, a SHA-256 digest, a licence and a
# property, in chains of four nested components.
awk -v n="$components" 'BEGIN {
  printf "{\"bomFormat\":\"CycloneDX\",\"specVersion\":\"1.5\",\"version\":1,\"components\":["
  for (i = 0; i < n; i++) {
    depth = i % 4
    if (depth == 0 && i > 0) printf ","
    if (depth > 0) printf ",\"components\":["
    v = "1." i % 97 "." i % 13; ref = "pkg:npm/p" i "@" v; h = ""
    for (k = 0; k < 8; k++) h = h sprintf("%08x", (i * 2654435761 + k * 40503) % 2147483647)
    printf "\n{\"type\":\"library\",\"bom-ref\":\"%s\",\"name\":\"p%d\",\"version\":\"%s\",\"purl\":\"%s\",\"hashes\":[{\"alg\":\"SHA-256\",\"content\":\"%s\"}],\"licenses\":[{\"license\":{\"id\":\"MIT\"}}],\"properties\":[{\"name\":\"i\",\"value\":\"%d\"}]", ref, i, v, ref, h, i
    if (depth == 3 || i == n - 1) { printf "}"; for (k = 0; k < depth; k++) printf "]}" }
  }
  printf "]}\n" }' | bound_run "$work/generated"
CHECK_BOM=1 bench_case "generated BOM of $components components, bound" \
  "$(stat -c %s "$work/generated/app/.factory/sbom.cdx.json")" 2 \
  verify-certificate "$work/generated/governance-certificate.json" --allow-unsealed \
  --sbom-dir "$work/generated/app"
