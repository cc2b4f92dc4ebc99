#!/usr/bin/env bash
# Whole runs of `fennick verify-provenance` on small projects whose report or records grow far
# past the input: 9,826 entity candidates that each hit every one of 300 (and 800) corpus
# documents with long source paths, so that the report holds one line per candidate and document;
# a BRD of 2,000,000 empty claims; one entity candidate of 50 MB. Wall time, peak memory, the
# outcome (exit code or signal) and the report's size and SHA-256 (counted from the pipe, never
# stored) for this build and, in the same run, for a baseline binary (the yardstick column), each
# one fresh process under a time and an address-space limit.
#   bench/provenance_memory.sh [BUILD_DIR]                          (default: build)
#   BASELINE_REV=0347ea5 TIMEOUT=120 MEMORY_MB=4096 bench/provenance_memory.sh build
#   DOCUMENTS="300 800" LARGE_DOCUMENTS_MB=2560 CLAIMS=2000000 CANDIDATE_MB=50 bench/...
# The yardstick (bench/lib/baseline.sh): BASELINE names a binary, BASELINE_REV a git revision
# built once into BUILD_DIR/baseline-REV; without either the yardstick column is "-".
# Targets: 300 documents under 512 MB; 800 documents under LARGE_DOCUMENTS_MB of address space end
# with an exit code, never a signal; the claims under 512 MB and the candidate under 256 MB, each
# within 10 s, with the report unchanged.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib/baseline.sh
build=${1:-build}
timeout_s=${TIMEOUT:-120}
memory_mb=${MEMORY_MB:-4096}
large_documents_mb=${LARGE_DOCUMENTS_MB:-2560}
document_counts=${DOCUMENTS-300 800}
claims=${CLAIMS:-2000000}
candidate_mb=${CANDIDATE_MB:-50}
fennick="$build/cli/fennick"
for need in "$fennick" /usr/bin/time timeout prlimit awk sha256sum; do
  command -v "$need" >/dev/null || { echo "provenance_memory: $need is missing" >&2; exit 2; }
done
resolve_baseline "$build"
baseline=$BASELINE_BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-provenance-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT

mb() { awk -v b="$1" 'BEGIN { if (b < 1e5) printf "%d bytes", b; else printf "%.1f MB", b / 1e6 }'; }

# One run of BIN on PROJECT under LIMIT_MB of address space; sets RESULT to "time, peak, outcome,
# report size (sha256 prefix)" and prints the full digest. The outcome carries "panic" when the
# report holds the validator's fail-closed reason. The report only passes through a pipe.
measure() {
  local label=$1 bin=$2 limit_mb=$3 project=$4
  rm -f "$work/sha" "$work/bytes" "$work/panics"
  { /usr/bin/time -o "$work/time" -f '%e %M %x' timeout "$timeout_s" \
    prlimit --as=$((limit_mb * 1024 * 1024)) "$bin" verify-provenance --project "$project" \
    2>/dev/null </dev/null || true; } | tee >(sha256sum | cut -d' ' -f1 >"$work/sha") \
    >(grep -c -F qg13_validator_panic >"$work/panics") | wc -c >"$work/bytes"
  # The digest and the count are written by processes of their own once the pipe closes.
  local i
  for ((i = 0; i < 600; i++)); do
    [ -s "$work/sha" ] && [ -s "$work/panics" ] && break
    sleep 0.1
  done
  local wall peak code signal outcome bytes sha
  read -r wall peak code < <(tail -n 1 "$work/time")
  signal=$(sed -n 's/^Command terminated by signal \([0-9]*\)$/\1/p' "$work/time")
  [ -n "$signal" ] && code=$((128 + signal))
  case "$code" in
    124) outcome="timed out"; wall="> $timeout_s" ;;
    134) outcome="SIGABRT" ;;
    137) outcome="SIGKILL" ;;
    *) [ "$code" -gt 128 ] && outcome="signal $((code - 128))" || outcome="exit $code" ;;
  esac
  bytes=$(cat "$work/bytes")
  [ "$(cat "$work/panics" 2>/dev/null || echo 0)" -eq 0 ] || outcome="$outcome, panic"
  sha=$(cat "$work/sha" 2>/dev/null || echo -)
  RESULT="$wall s, $(awk -v k="$peak" 'BEGIN { printf "%.0f MB", k / 1024 }') peak, $outcome, report $(mb "$bytes") (sha256 ${sha:0:16})"
  printf '  %s: %s\n  %s report: %s bytes, sha256 %s\n' "$label" "$RESULT" "$label" "$bytes" "$sha"
}

# A case: its name, its size, the address-space limit in MB, the project. Prints the detail
# lines and one table row.
bench_case() {
  local what=$1 size=$2 limit_mb=$3 project=$4
  echo "== $what ($size; ${limit_mb} MB address space)"
  measure after "$fennick" "$limit_mb" "$project"
  local after=$RESULT before="-"
  if [ -n "$baseline" ]; then
    measure before "$baseline" "$limit_mb" "$project"
    before="before: $RESULT"
  fi
  local wall peak rest
  IFS=, read -r wall peak rest <<<"$after"
  printf 'row: provenance memory: %s (after:%s)\t%s\t%s (one run)\t-\t%s\t%s\n' \
    "$what" "$rest" "$size" "$wall" "${peak# }" "$before"
}

# Wraps $1/text.txt (lower-case letters, digits, blanks and "\n" only) into the typed corpus
# document $1/.artifacts/corpus/NAME.
pack_document() {
  awk 'BEGIN { printf "{\"text\":\"" } NR > 1 { printf "\\n" } { printf "%s", $0 }
    END { printf "\",\"metadata\":{},\"extractor\":{\"kind\":\"bench\",\"version\":\"1\"}}" }' \
    "$1/text.txt" >"$1/.artifacts/corpus/$2"
  rm "$1/text.txt"
}

project_size() { mb "$(find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')"; }

# 1. Candidates times documents. 20 base words of nine lower-case letters; candidate i spells
# base word int(i / 511) with the letters of the bits of i % 511 + 1 in capitals, so the 9,826
# candidates are distinct as written and every one lower-cases to a base word. Claims of 100
# candidates; each document holds the lower-cased line of one claim and the 20 base words, so
# every candidate hits every document. The documents' names are long: the report names the
# document on each of its candidate-and-document lines.
candidates=9826
base_words='function base(b) { return "zq" substr(a, b % 26 + 1, 1) substr(a, (b * 7 + 3) % 26 + 1, 1) \
  "xkvjw" }
  function candidate(i,   b, m, w, k, c) { b = int(i / 511); m = i % 511 + 1; w = base(b)
    c = ""; for (k = 1; k <= 9; k++) { c = c (int(m / 2 ^ (k - 1)) % 2 ? toupper(substr(w, k, 1)) : substr(w, k, 1)) }
    return c }'
make_documents_project() {
  local project=$1 documents=$2
  mkdir -p "$project/requirements" "$project/.artifacts/corpus"
  awk -v n="$candidates" "$base_words"'
    BEGIN { a = "abcdefghijklmnopqrstuvwxyz"; print "# BRD\n"
      for (c = 0; c * 100 < n; c++) {
        printf "### BR-%04d: Names\n\nThe system shall send to", c + 1
        for (i = c * 100; i < c * 100 + 100 && i < n; i++) printf " %s", candidate(i)
        # A lower-case word of its own, so that no two claims share an anchor.
        printf " for item%04d.\n\n", c + 1
      } }' >"$project/requirements/business-requirements-document.md"
  local d name
  for ((d = 0; d < documents; d++)); do
    awk -v n="$candidates" -v d="$d" "$base_words"'
      BEGIN { a = "abcdefghijklmnopqrstuvwxyz"; claims = int((n + 99) / 100); c = d % claims
        line = "the system shall send to"
        for (i = c * 100; i < c * 100 + 100 && i < n; i++) line = line " " tolower(candidate(i))
        line = line " and"
        for (b = 0; b * 511 < n; b++) line = line " " base(b)
        print line }' >"$project/text.txt"
    name=$(printf 'document-%04d-%s.json' "$d" "$(printf '%0220d' 0 | tr 0 n)")
    pack_document "$project" "$name"
  done
}

for n in $document_counts; do
  p="$work/documents-$n"
  make_documents_project "$p" "$n"
  limit=$memory_mb
  [ "$n" -gt 300 ] && limit=$large_documents_mb
  bench_case "$candidates candidates each hitting $n documents" \
    "$(project_size "$p"), $n documents" "$limit" "$p"
  rm -rf "$p"
done

# 2. Claims with no text: "### BR-1" to "### BR-2000000", one line each.
p="$work/claims"
mkdir -p "$p/requirements" "$p/.artifacts/corpus"
awk -v n="$claims" 'BEGIN { for (i = 1; i <= n; i++) printf "### BR-%d\n", i }' \
  >"$p/requirements/business-requirements-document.md"
echo "a short document" >"$p/text.txt"
pack_document "$p" doc.json
bench_case "$claims empty claims" "$(project_size "$p")" "$memory_mb" "$p"
rm -rf "$p"

# 3. One entity candidate of CANDIDATE_MB MB: a capital and then lower-case letters, longer than
# any corpus line.
p="$work/candidate"
mkdir -p "$p/requirements" "$p/.artifacts/corpus"
awk -v n="$((candidate_mb * 1000000))" 'BEGIN {
  w = "abcdefghijklmnopqrstuvwxyz"; while (length(w) < n) w = w w; w = substr(w, 1, n - 1)
  printf "# BRD\n\n### BR-0001: One word\n\nThe system shall use Q%s.\n", w }' \
  >"$p/requirements/business-requirements-document.md"
echo "a short document that names no candidate" >"$p/text.txt"
pack_document "$p" doc.json
bench_case "one entity candidate of $candidate_mb MB" "$(project_size "$p")" "$memory_mb" "$p"
rm -rf "$p"
