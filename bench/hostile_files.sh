#!/usr/bin/env bash
# Whole runs of `fennick` on the bundled examples after a hostile producer planted special files in
# the directories it hands over: an artifact, the BOM, a BRD candidate and a typed-corpus file
# linked to /dev/zero; an artifact and the BOM linked to /proc/self/pagemap (a regular file of size
# 0 that reads for hundreds of GB); a 100 GB sparse file as a corpus document, as the BRD and as
# the BOM; a BRD that is not UTF-8 under --fail-on-rejected. Wall time, peak memory, exit code
# and, where the case names one, the first stderr line naming the planted file, for this build
# and, in the same run, for
# a baseline binary (the yardstick column), each one fresh process under a time and an
# address-space limit, so that a hang shows as "> N s" and an abort or kill as such.
#   bench/hostile_files.sh [BUILD_DIR]                          (default: build)
#   BASELINE=/path/to/old/fennick TIMEOUT=20 MEMORY_MB=4096 bench/hostile_files.sh build
#   BASELINE_REV=0347ea5 bench/hostile_files.sh build   (yardstick built from a revision)
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/limited_run.sh
build=${1:-build}
. bench/lib/baseline.sh
timeout_s=${TIMEOUT:-20}
memory_mb=${MEMORY_MB:-4096}
fennick="$build/cli/fennick"
maker="$build/tests/make_hostile_inputs"
# The programs of this build (cmake --build BUILD_DIR --target fennick make_hostile_inputs).
for need in "$fennick" "$maker" /usr/bin/time timeout prlimit; do
  command -v "$need" >/dev/null || { echo "hostile_files: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-hostile-files.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One run of BIN with ARGS under the limits; sets RESULT to "time, peak, exit", followed by
# ", panic" when the report carries the validator's fail-closed reason and by the first stderr
# line holding LOOK_FOR, else the first error line (when LOOK_FOR is not "-"), cut to 100 bytes.
measure() {
  local look_for=$1 bin=$2
  shift 2
  LIMITED_RUN_STDERR="$work/err" limited_run "$timeout_s" "$memory_mb" "$work" "$work/out" \
    "$bin" "$@"
  if grep -q 'qg13_validator_panic' "$work/out"; then RESULT="$RESULT, panic"; fi
  if [ "$look_for" != - ]; then
    local line
    line=$(grep -F -m 1 -e "$look_for" "$work/err" | tr -cd "[:print:]" | cut -c 1-100) || true
    # A run that ends in an error without naming the file: its error line.
    [ -n "$line" ] ||
      line=$(grep -m 1 '^error:' "$work/err" | tr -cd "[:print:]" | cut -c 1-100) || true
    if [ -n "$line" ]; then RESULT="$RESULT: \"$line\""; fi
  fi
  rm -f "$work/out" "$work/err"
}

# A case: its name, the stderr text to quote (or "-"), then fennick's arguments. Prints the
# detail lines and one table row.
bench_case() {
  local what=$1 look_for=$2
  shift 2
  echo "== $what"
  measure "$look_for" "$fennick" "$@"
  local after=$RESULT before="-"
  echo "  after: $after"
  if [ -n "$baseline" ]; then
    measure "$look_for" "$baseline" "$@"
    before="before: $RESULT"
    echo "  $before"
  fi
  local wall peak outcome
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
bench_case "artifact linked to /dev/zero" - "${certificate_args[@]}"
cp examples/certificate/artifacts/build/app.tar "$ex/artifacts/build/app.tar.keep"
mv -f "$ex/artifacts/build/app.tar.keep" "$ex/artifacts/build/app.tar"

ln -sf /dev/zero "$ex/app/.factory/sbom.cdx.json"
bench_case "BOM linked to /dev/zero" - "${certificate_args[@]}"

project="$work/examples/provenance-project"
ln -sf /dev/zero "$project/.artifacts/corpus/zero.json"
bench_case "typed-corpus file linked to /dev/zero" - verify-provenance --project "$project"
rm "$project/.artifacts/corpus/zero.json"

mv "$project/requirements/business-requirements-document.md" "$project/requirements/brd.md"
ln -sf /dev/zero "$project/requirements/a.md"
bench_case "BRD candidate linked to /dev/zero" - verify-provenance --project "$project"

# The cases below each start from a fresh copy of the examples.
fresh_examples() {
  rm -rf "$work/examples"
  cp -r examples "$work/examples"
}

# A regular file of size 0 that reads for hundreds of GB. Target: an error line naming the file
# within 5 s, exit 1.
fresh_examples
ln -sf /proc/self/pagemap "$ex/artifacts/build/app.tar"
bench_case "artifact linked to /proc/self/pagemap" app.tar "${certificate_args[@]}"
fresh_examples
ln -sf /proc/self/pagemap "$ex/app/.factory/sbom.cdx.json"
bench_case "BOM linked to /proc/self/pagemap" sbom.cdx.json "${certificate_args[@]}"

# The BRD found at its canonical path but not UTF-8: the gate must not pass with nothing checked.
fresh_examples
printf '\351' >"$project/requirements/business-requirements-document.md"
bench_case "BRD of one byte 0xE9 (not UTF-8), --fail-on-rejected" business-requirements-document \
  verify-provenance --project "$project" --fail-on-rejected

# A file larger than any allocation: sparse, so it costs no disk. Targets: the corpus document
# skipped, the BRD unreadable (exit 1 under --fail-on-rejected), the BOM a posture notice.
fresh_examples
if truncate -s 100G "$project/.artifacts/corpus/sparse.json" 2>/dev/null; then
  bench_case "100 GB sparse file as a typed-corpus document" sparse.json \
    verify-provenance --project "$project"
  fresh_examples
  truncate -s 100G "$project/requirements/business-requirements-document.md"
  bench_case "100 GB sparse file as the BRD, --fail-on-rejected" business-requirements-document \
    verify-provenance --project "$project" --fail-on-rejected
  fresh_examples
  # A certificate that binds no BOM, so that only the posture cross-check reads it.
  "$maker" posture-none "$work/posture-none.json"
  truncate -s 100G "$ex/app/.factory/sbom.cdx.json"
  bench_case "100 GB sparse file as the BOM of the posture cross-check" sbom.cdx.json \
    verify-certificate "$work/posture-none.json" --allow-unsealed --sbom-dir "$ex/app"
else
  printf 'row: hostile files: 100 GB sparse file cases: skipped (no sparse file in %s)\t-\t-\t-\t-\t-\n' \
    "$work"
fi
