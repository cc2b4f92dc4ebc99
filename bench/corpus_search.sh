#!/usr/bin/env bash
# Corpus search and allowlist figures on a generated corpus of typed documents, with grep over the
# same texts as the yardstick, and the cached per-term search beside the one pass over all terms. The corpus goes to a temporary directory that is removed at exit.
#   bench/corpus_search.sh [BUILD_DIR]            (default: build)
#   DOCUMENTS=2000 MEGABYTES=100 UNCACHED_TERMS=500 bench/corpus_search.sh build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
documents=${DOCUMENTS:-2000}
megabytes=${MEGABYTES:-100}
uncached_terms=${UNCACHED_TERMS:-500}
bin="$build/bench/corpus_search_bench"
if [ ! -x "$bin" ]; then
  echo "corpus_search: build $bin first (cmake --build $build --target corpus_search_bench)" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-corpus-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/text"
"$bin" --generate="$work" --documents="$documents" --megabytes="$megabytes"
json_bytes=$(cat "$work"/corpus/*.json | wc -c)
text_bytes=$(cat "$work"/text/*.txt | wc -c)
terms=$(wc -l <"$work/terms.txt")
echo "corpus: $documents documents, $json_bytes bytes of JSON, $text_bytes bytes of text, $terms terms"
echo

# Runs the benchmark binary on one benchmark (a regex; "none" runs none, which leaves the cost of
# loading the corpus) and prints its result line and its peak resident memory.
run() {
  local filter=$1
  shift
  /usr/bin/time -v "$bin" --corpus="$work/corpus" --terms="$work/terms.txt" \
    --benchmark_filter="$filter" "$@" >"$work/out.txt" 2>"$work/err.txt"
  grep -E '^[a-z_]+/' "$work/out.txt" || true
  grep -E '^corpus:' "$work/err.txt" | sed 's/^/  /' || true
  awk -F': ' '/Maximum resident set size/ {printf "  peak memory: %.1f MB\n", $2 / 1024}' \
    "$work/err.txt"
}

echo "== loading the typed store only (baseline memory)"
run none
# The wall time in seconds of the last run's benchmark line.
seconds() {
  awk '/^[a-z_]+\// { print ($3 == "ms" ? $2 / 1e3 : $3 == "us" ? $2 / 1e6 : $2) + 0 }' \
    "$work/out.txt"
}

echo "== lower-cased line cache, built once per audit, sized once"
run '^lowered_corpus_build'
cache_s=$(seconds)
echo "== search_corpus over all $terms terms, cached"
run '^search_cached_all_terms' --hits-out="$work/hits-cached.tsv"
cached_s=$(seconds)
echo "== search_corpus_terms, all $terms terms in one pass, lower-casing line by line"
run '^search_one_pass_all_terms' --hits-out="$work/hits-fennick.tsv"
one_pass_s=$(seconds)
awk -v o="$one_pass_s" -v c="$cached_s" -v b="$cache_s" 'BEGIN {
  printf "  one pass %.3f s (all lower-casing included) against the cached per-term search\n", o
  printf "  %.3f s (searches only, %.1fx) or %.3f s with its cache build (%.1fx)\n", c, c / o,
    c + b, (c + b) / o }'
if cmp -s "$work/hits-cached.tsv" "$work/hits-fennick.tsv"; then
  echo "  hit counts per term: one pass and cached search agree"
else
  echo "  hit counts per term: one pass and cached search DIFFER" >&2
  exit 1
fi
echo "== search_corpus over $uncached_terms terms, lower-casing every line per term"
run '^search_uncached_first_terms' --uncached-terms="$uncached_terms"
echo "== build_effective_allowlist over the corpus"
run '^build_effective_allowlist'
echo

# grep counts matching lines per file; summed per term it is the same figure as the hit counts.
export LC_ALL=C.UTF-8
echo "== grep -c -i -F, one run per term over the $documents text files"
start=$(date +%s.%N)
while IFS= read -r term; do
  # grep exits with 1 when no line matches; that is a count of 0, not a failure.
  count=$({ grep -c -i -F -e "$term" -- "$work"/text/*.txt || true; } |
    awk -F: '{s += $NF} END {print s + 0}')
  printf '%s\t%s\n' "$term" "$count"
done <"$work/terms.txt" >"$work/hits-grep.tsv"
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v b="$text_bytes" -v t="$terms" \
  'BEGIN {printf "  %.2f s, %.0f MB/s (%d terms x %.1f MB)\n", e - s, b * t / 1e6 / (e - s), t, b / 1e6}'
/usr/bin/time -v grep -c -i -F -e "$(head -n 1 "$work/terms.txt")" -- "$work"/text/*.txt \
  >/dev/null 2>"$work/err.txt" || true
awk -F': ' '/Maximum resident set size/ {printf "  peak memory (one run): %.1f MB\n", $2 / 1024}' \
  "$work/err.txt"

echo "== grep -c -i -F -f terms.txt, all terms in one pass"
/usr/bin/time -v grep -c -i -F -f "$work/terms.txt" -- "$work"/text/*.txt >/dev/null \
  2>"$work/err.txt" || true
awk -F': ' -v b="$text_bytes" '
  /Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]}
  /Maximum resident set size/ {m = $2}
  END {printf "  %.2f s, %.0f MB/s, peak memory %.1f MB\n", s, b / 1e6 / s, m / 1024}' "$work/err.txt"

echo
echo "== hit counts per term, search_corpus against grep"
awk -F'\t' 'NR == FNR {g[$1] = $2; next}
  {n++; if (g[$1] == $2) same++; else {diff++; if (diff <= 10) printf "  differs: %s fennick %s grep %s\n", $1, $2, g[$1]}}
  END {printf "  %d of %d terms agree\n", same, n}' "$work/hits-grep.tsv" "$work/hits-fennick.tsv"
