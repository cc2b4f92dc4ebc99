#!/usr/bin/env bash
# Whole runs of `fennick verify-provenance` on projects shaped to multiply the corpus search's
# cost: many distinct entity candidates over a large document, one huge candidate word over text
# crafted to defeat a byte scan, and many candidates that each hit 100 long lines. Wall time, peak
# memory and outcome for this build and, in the same run, for a baseline binary (the yardstick
# column), each one fresh process under a time and an address-space limit, so that a hang shows
# as "> N s" and a fail-closed audit as "panic".
#   bench/hostile_provenance.sh [BUILD_DIR]                          (default: build)
#   BASELINE=/path/to/old/fennick TIMEOUT=60 MEMORY_MB=4096 bench/hostile_provenance.sh build
#   BASELINE_REV=0347ea5 bench/hostile_provenance.sh build   (yardstick built from a revision)
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/limited_run.sh
build=${1:-build}
. bench/lib/baseline.sh
timeout_s=${TIMEOUT:-60}
memory_mb=${MEMORY_MB:-4096}
fennick="$build/cli/fennick"
for need in "$fennick" /usr/bin/time timeout prlimit awk; do
  command -v "$need" >/dev/null || { echo "hostile_provenance: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-hostile-provenance.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One run of BIN on PROJECT under the limits; sets RESULT to "time, peak, outcome". A report
# whose verdicts carry the validator's panic reason is a fail-closed run: "panic".
measure() {
  local bin=$1 project=$2
  limited_run "$timeout_s" "$memory_mb" "$work" "$work/out.txt" "$bin" verify-provenance \
    --project "$project"
  if grep -q 'qg13_validator_panic' "$work/out.txt"; then RESULT="$RESULT, panic"; fi
}

# A case: its name, its size, the project. Prints the detail lines and one table row.
bench_case() {
  local what=$1 size=$2 project=$3
  echo "== $what ($size)"
  measure "$fennick" "$project"
  local after=$RESULT before="-"
  echo "  after: $after"
  echo "  verdicts: $(grep -E '^- mode: ' "$work/out.txt" | sort | uniq -c | tr -s ' ' |
    tr '\n' ';')"
  if [ -n "$baseline" ]; then
    measure "$baseline" "$project"
    before="before: $RESULT"
    echo "  $before"
  fi
  local wall peak outcome
  IFS=, read -r wall peak outcome <<<"$after"
  printf 'row: hostile provenance: %s (after:%s)\t%s\t%s (one run)\t-\t%s\t%s\n' \
    "$what" "$outcome" "$size" "$wall" "${peak# }" "$before"
}

# A project directory with one typed corpus document; the BRD and the document's text are
# written by the caller to $1/brd.md and $1/text.txt, then packed here.
pack_project() {
  local project=$1
  mkdir -p "$project/.artifacts/corpus" "$project/requirements"
  mv "$project/brd.md" "$project/requirements/business-requirements-document.md"
  # The text holds only lower-case letters, digits, blanks and "\n": escaping "\n" is enough.
  awk 'BEGIN { printf "{\"text\":\"" } NR > 1 { printf "\\n" } { printf "%s", $0 }
    END { printf "\",\"metadata\":{},\"extractor\":{\"kind\":\"bench\",\"version\":\"1\"}}" }' \
    "$project/text.txt" >"$project/.artifacts/corpus/doc.json"
  rm "$project/text.txt"
}

# Candidate i: "zq" and four letters; capitalised in the BRD, lower-case in the corpus, so the
# corpus never puts it on the allowlist and every search is case-insensitive work.
word_function='function word(i) { return "zq" substr(a, int(i / 17576) % 26 + 1, 1) \
  substr(a, int(i / 676) % 26 + 1, 1) substr(a, int(i / 26) % 26 + 1, 1) substr(a, i % 26 + 1, 1) }'

# A BRD of CLAIMS claims, each naming 100 candidates (capitalised): claim c names words 100c to
# 100c + 99.
write_brd() {
  awk -v claims="$1" "$word_function"'
    BEGIN { a = "abcdefghijklmnopqrstuvwxyz"; print "# BRD\n"
      for (c = 0; c < claims; c++) {
        printf "### BR-%04d: Names\n\nThe system shall send to", c + 1
        for (k = 0; k < 100; k++) { w = word(c * 100 + k); printf " Z%s", substr(w, 2) }
        print ".\n"
      } }' >"$2"
}

# 1. 40,000 distinct candidates (400 claims of 100) over one 10 MB document whose lines of about
# 100 bytes each hold 14 of them.
p="$work/many"
mkdir -p "$p"
write_brd 400 "$p/brd.md"
awk "$word_function"'
  BEGIN { a = "abcdefghijklmnopqrstuvwxyz"; state = 7; bytes = 0
    while (bytes < 10000000) {
      line = "line"
      for (k = 0; k < 14; k++) { state = (state * 48271) % 2147483647; line = line " " word(state % 40000) }
      print line; bytes += length(line) + 1
    } }' >"$p/text.txt"
pack_project "$p"
bench_case "40,000 candidates over one 10 MB document" "400 claims, 10 MB" "$p"

# 2. One candidate word of 1.6 MB over 3.2 MB of text in which every position starts a near miss
# that fails only at the word's last byte.
p="$work/huge-word"
mkdir -p "$p"
awk 'BEGIN { n = 1600000; w = "a"; while (length(w) < n) w = w w; w = substr(w, 1, n)
  printf "# BRD\n\n### BR-0001: One word\n\nThe system shall use A%s.\n", substr(w, 2) }' \
  >"$p/brd.md"
awk 'BEGIN { n = 1600000; w = "a"; while (length(w) < n) w = w w; w = substr(w, 1, n - 1)
  print w "b" w "b" }' >"$p/text.txt"
pack_project "$p"
bench_case "one 1.6 MB candidate over 3.2 MB of near misses" "1 claim, 3.2 MB" "$p"

# 3. 2,500 candidates (25 claims of 100), every one on each of 100 lines of 17.6 KB (1.8 MB):
# every search keeps 100 long hit lines.
p="$work/long-lines"
mkdir -p "$p"
write_brd 25 "$p/brd.md"
awk "$word_function"'
  BEGIN { a = "abcdefghijklmnopqrstuvwxyz"
    for (i = 0; i < 2500; i++) line = line word(i) " "
    for (n = 0; n < 100; n++) print line "x" n }' >"$p/text.txt"
pack_project "$p"
bench_case "2,500 candidates each hitting 100 lines of 17.6 KB" "25 claims, 1.8 MB" "$p"
