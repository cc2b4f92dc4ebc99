#!/usr/bin/env bash
# Whole runs of `fennick verify-provenance` on a project whose one corpus document lists 150,000
# capitalised 16-byte words crafted by `colliding_words` to share one probe run of the
# allowlist's word-count table under its former unkeyed hash, beside as many words of the same
# shape that are not chosen (`colliding_words --random`). Wall time, peak memory and exit code for
# this build and, in the same run, for a baseline binary (the yardstick column), each one fresh
# process under a time and an address-space limit. Without the `colliding_words` program in the
# build the row says skipped.
#   bench/colliding_words.sh [BUILD_DIR]                          (default: build)
#   BASELINE_REV=0347ea5 TIMEOUT=60 WORDS=150000 bench/colliding_words.sh build
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
# Target: the crafted words take about as long as the random ones.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/limited_run.sh
. bench/lib/baseline.sh
build=${1:-build}
timeout_s=${TIMEOUT:-60}
memory_mb=${MEMORY_MB:-4096}
words=${WORDS:-150000}
fennick="$build/cli/fennick"
generator="$build/bench/colliding_words"
for need in "$fennick" /usr/bin/time timeout prlimit awk; do
  command -v "$need" >/dev/null || { echo "colliding_words: $need is missing" >&2; exit 2; }
done
if [ ! -x "$generator" ]; then
  printf 'row: colliding words: skipped (no %s)\t-\t-\t-\t-\t-\n' "$generator"
  exit 0
fi
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-colliding-words.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A project whose BRD has one claim and whose one typed corpus document holds the words read
# from stdin, one a line (letters and digits only: no JSON escaping needed).
make_project() {
  local project=$1
  mkdir -p "$project/requirements" "$project/.artifacts/corpus"
  printf '# BRD\n\n### BR-0001: Words\n\nThe system shall count Qzzzzzzzzzzzzzzz.\n' \
    >"$project/requirements/business-requirements-document.md"
  awk 'BEGIN { printf "{\"text\":\"" } NR > 1 { printf "\\n" } { printf "%s", $0 }
    END { printf "\",\"metadata\":{},\"extractor\":{\"kind\":\"bench\",\"version\":\"1\"}}" }' \
    >"$project/.artifacts/corpus/words.json"
}

# A case: its name and the project. Prints the detail lines and one table row.
bench_case() {
  local what=$1 project=$2
  local size
  size=$(awk -v b="$(stat -c %s "$project/.artifacts/corpus/words.json")" \
    'BEGIN { printf "%.2f MB corpus", b / 1e6 }')
  echo "== $what ($size)"
  limited_run "$timeout_s" "$memory_mb" "$work" /dev/null "$fennick" verify-provenance \
    --project "$project"
  local after=$RESULT before="-"
  echo "  after: $after"
  if [ -n "$baseline" ]; then
    limited_run "$timeout_s" "$memory_mb" "$work" /dev/null "$baseline" verify-provenance \
      --project "$project"
    before="before: $RESULT"
    echo "  $before"
  fi
  local wall peak outcome
  IFS=, read -r wall peak outcome <<<"$after"
  printf 'row: colliding words: %s (after:%s)\t%s\t%s (one run)\t-\t%s\t%s\n' \
    "$what" "$outcome" "$size" "$wall" "${peak# }" "$before"
}

"$generator" "$words" >"$work/crafted.txt"
"$generator" "$words" --random >"$work/random.txt"
for kind in crafted random; do
  if [ "$(wc -l <"$work/$kind.txt")" -ne "$words" ]; then
    echo "colliding_words: the generator did not print $words $kind words" >&2
    exit 1
  fi
  make_project "$work/$kind" <"$work/$kind.txt"
  rm "$work/$kind.txt"
done
bench_case "$words crafted words in the allowlist's count table, verify-provenance" "$work/crafted"
bench_case "$words random words of the same shape, verify-provenance" "$work/random"
