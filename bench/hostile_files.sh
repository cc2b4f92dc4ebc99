#!/usr/bin/env bash
# Whole runs of `fennick` on the bundled examples after a hostile producer planted special files in
# the directories it hands over: an artifact, the BOM, a BRD candidate and a typed-corpus file
# linked to /dev/zero. Wall time, peak memory and verdict for this build and, in the same run, for
# a baseline binary (the yardstick column), each one fresh process under a time and an
# address-space limit, so that a hang shows as "> N s" and an abort or kill as such.
#   bench/hostile_files.sh [BUILD_DIR]                          (default: build)
#   BASELINE=/path/to/old/fennick TIMEOUT=20 MEMORY_MB=4096 bench/hostile_files.sh build
# Without a baseline binary the yardstick column is "-".
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/limited_run.sh
build=${1:-build}
baseline=${BASELINE:-/work/baseline/build/cli/fennick}
timeout_s=${TIMEOUT:-20}
memory_mb=${MEMORY_MB:-4096}
fennick="$build/cli/fennick"
for need in "$fennick" /usr/bin/time timeout prlimit; do
  command -v "$need" >/dev/null || { echo "hostile_files: $need is missing" >&2; exit 2; }
done
[ -x "$baseline" ] || baseline=""

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-hostile-files.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One run of BIN with ARGS under the limits; sets RESULT to "time, peak, exit".
measure() {
  local bin=$1
  shift
  limited_run "$timeout_s" "$memory_mb" "$work" /dev/null "$bin" "$@"
}

# A case: its name, then fennick's arguments. Prints the detail lines and one table row.
bench_case() {
  local what=$1
  shift
  echo "== $what"
  measure "$fennick" "$@"
  local after=$RESULT before="-"
  echo "  after: $after"
  if [ -n "$baseline" ]; then
    measure "$baseline" "$@"
    before="before: $RESULT"
    echo "  $before"
  fi
  IFS=, read -r wall peak outcome <<<"$after"
  printf 'row: hostile files: %s (after:%s)\texamples\t%s (one run)\t-\t%s\t%s\n' \
    "$what" "$outcome" "$wall" "${peak# }" "$before"
}

cp -r examples "$work/examples"
ex="$work/examples/certificate"
certificate_args=(verify-certificate "$ex/governance-certificate.json" --artifact-dir
  "$ex/artifacts" --platform-jwks "$ex/platform-jwks.json" --corpus-attestation
  "$ex/corpus-attestation.json" --sbom-dir "$ex/app")

ln -sf /dev/zero "$ex/artifacts/build/app.tar"
bench_case "artifact linked to /dev/zero" "${certificate_args[@]}"
cp examples/certificate/artifacts/build/app.tar "$ex/artifacts/build/app.tar.keep"
mv -f "$ex/artifacts/build/app.tar.keep" "$ex/artifacts/build/app.tar"

ln -sf /dev/zero "$ex/app/.factory/sbom.cdx.json"
bench_case "BOM linked to /dev/zero" "${certificate_args[@]}"

project="$work/examples/provenance-project"
ln -sf /dev/zero "$project/.artifacts/corpus/zero.json"
bench_case "typed-corpus file linked to /dev/zero" verify-provenance --project "$project"
rm "$project/.artifacts/corpus/zero.json"

mv "$project/requirements/business-requirements-document.md" "$project/requirements/brd.md"
ln -sf /dev/zero "$project/requirements/a.md"
bench_case "BRD candidate linked to /dev/zero" verify-provenance --project "$project"
