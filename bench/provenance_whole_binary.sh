#!/usr/bin/env bash
# Whole runs of `fennick verify-provenance` on a generated project: a BRD of 1,000 claims and the
# typed corpus of 2,000 documents (100 MB) that bench/corpus_search.sh searches, made by the same
# generator (corpus_search_bench --generate). Prints wall time and peak memory per run, their
# median, the verdicts against the ones the BRD was built to produce, and, when perf works, the
# functions that take the time. The inputs go to a temporary directory that is removed at exit.
#   bench/provenance_whole_binary.sh [BUILD_DIR]                          (default: build)
#   CLAIMS=1000 DOCUMENTS=2000 MEGABYTES=100 RUNS=3 PERF=1 bench/provenance_whole_binary.sh build
#
# Claim i (1-based) of the BRD is built by i mod 20, so the verdicts are known in advance:
#   0, 1  names one name that occurs nowhere in the corpus (with 1 also a corpus name):
#         searched, no hit, "no_citation_for_external_entity"
#   2     opens with a capitalised word that the corpus holds only inside longer lower-case words
#         ("Port" in portal, report, support): not allowlisted, searched, many hit lines,
#         "citation_unbound". (The corpus's common words themselves are allowlisted: they occur
#         as parts of capitalised compounds such as Varnok-staff.)
#   3     repeats the text of claim i-7 under its own id: both "duplicate_anchor"
#   other plain requirement sentences with up to three names that occur in the corpus, which
#         the allowlist admits: "derived" (unless repeated by a later claim)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
claims=${CLAIMS:-1000}
documents=${DOCUMENTS:-2000}
megabytes=${MEGABYTES:-100}
runs=${RUNS:-3}
profile=${PERF:-1}
fennick="$build/cli/fennick"
generator="$build/bench/corpus_search_bench"
for bin in "$fennick" "$generator"; do
  if [ ! -x "$bin" ]; then
    echo "provenance_whole_binary: build $bin first" \
      "(cmake --build $build --target fennick corpus_search_bench)" >&2
    exit 2
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "provenance_whole_binary: needs GNU time (/usr/bin/time, Debian package 'time')" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-provenance-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
project="$work/bench-portal"
mkdir -p "$work/generated/corpus" "$project/.artifacts" "$project/requirements"
"$generator" --generate="$work/generated" --documents="$documents" --megabytes="$megabytes" \
  --no-text
mv "$work/generated/corpus" "$project/.artifacts/corpus"

# The BRD. Names come from the generator's term list: every term that is not in absent-terms.txt
# occurs in the corpus. A Lehmer generator (exact in awk's doubles) keeps the text the same with
# every awk.
brd="$project/requirements/business-requirements-document.md"
awk -v claims="$claims" -v expected="$work/expected.txt" '
  function next_random(n) { state = (state * 48271) % 2147483647; return state % n }
  function any(list, count) { return list[next_random(count) + 1] }
  function sentence(names,    s, k) {
    s = any(subjects, nsubjects) " " any(verbs, nverbs) " " any(objects, nobjects)
    for (k = 0; k < names; k++) s = s " " any(links, nlinks) " " any(present, npresent)
    return s " " any(tails, ntails) "."
  }
  FNR == NR { absent_set[$0] = 1; absent[++nabsent] = $0; next }
  !($0 in absent_set) { present[++npresent] = $0 }
  END {
    state = 20240917
    nsubjects = split("The system|The portal|The service|The application|When a request is " \
      "submitted the system|Within two days the team|For each case the office|All staff " \
      "accounts", subjects, "|")
    nverbs = split("shall provide|must store|shall export|shall notify|must record|shall " \
      "display|must keep|shall send|must review|shall log", verbs, "|")
    nobjects = split("the status of each application|a secure copy of the records|the audit " \
      "log|the funding report|every submitted form|the approval workflow|the case notes|the " \
      "grant decision|a list of open requests|the client profile", objects, "|")
    nlinks = split("for the|to the|from the|with the|on behalf of the|as required by the",
      links, "|")
    ntails = split("office|team|portal|registry|programme|service desk|review board",
      tails, "|")
    ntitles = split("Case intake|Report export|Audit trail|Portal access|Status update|Grant " \
      "review|Funding approval|Client search|Workflow routing|Notification delivery|Document " \
      "upload|Session timeout|Dashboard view|Record retention", titles, "|")
    nopeners = split("Port|Lien|Cure|Rage|Rant|Mitt|Ice|Low",
      openers, "|")
    print "# Business Requirements Document: Bench Portal"
    print ""
    printf "Scope: BR-0001 to BR-%04d; see also SYSREQ-1 and UC-2.\n", claims
    print ""
    print "## Requirements"
    print ""
    for (i = 1; i <= claims; i++) {
      kind = i % 20
      if (kind == 3 && i > 7) {
        title[i] = title[i - 7]; body[i] = body[i - 7]; class[i] = "duplicate_anchor"
        class[i - 7] = "duplicate_anchor"
      } else {
        title[i] = any(titles, ntitles)
        if (kind == 0 || kind == 1) {
          body[i] = sentence(kind) " The " any(absent, nabsent) " gateway " any(verbs, nverbs) \
            " " any(objects, nobjects) "."
          class[i] = "no_citation_for_external_entity"
        } else if (kind == 2) {
          body[i] = any(openers, nopeners) " " any(objects, nobjects) " " any(verbs, nverbs) \
            " be kept " any(links, nlinks) " " any(tails, ntails) "."
          class[i] = "citation_unbound"
        } else {
          body[i] = sentence(next_random(4))
          if (next_random(3) == 0) body[i] = body[i] "\n\n- " sentence(next_random(2))
          if (next_random(4) == 0) body[i] = body[i] "\n- " sentence(0)
          class[i] = "derived"
        }
        # A form number of its own keeps two claims from sharing an anchor by chance.
        body[i] = body[i] " (form " 1000 + i ")"
      }
      printf "### BR-%04d: %s\n\n%s\n\n", i, title[i], body[i]
    }
    for (i = 1; i <= claims; i++) count[class[i]]++
    for (c in count) print c, count[c] > expected
  }
' "$work/generated/absent-terms.txt" "$work/generated/terms.txt" >"$brd"
echo "inputs: $claims claims ($(wc -c <"$brd") bytes of BRD), $documents documents" \
  "($(cat "$project"/.artifacts/corpus/*.json | wc -c) bytes of JSON)"
echo

# One run: report to out.txt, fennick's standard error to err.txt, GNU time's figures to time.txt.
run_once() {
  set +e
  /usr/bin/time -v -o "$work/time.txt" "$fennick" verify-provenance --project "$project" \
    >"$work/out.txt" 2>"$work/err.txt"
  code=$?
  set -e
  wall=$(awk -F': ' '/Elapsed \(wall clock\) time/ {
    n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' \
    "$work/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time.txt")
}

printf '%-5s %10s %14s %6s\n' run "wall (s)" "peak RSS (MB)" exit
for ((r = 1; r <= runs; r++)); do
  run_once
  printf '%-5s %10.2f %14s %6d\n' "$r" "$wall" "$rss" "$code"
  printf '%s %s\n' "$wall" "$rss" >>"$work/runs.txt"
done
sort -n "$work/runs.txt" | awk '{w[NR] = $1; if ($2 > m) m = $2}
  END {printf "%-5s %10.2f %14.1f\n", "median", w[int((NR + 1) / 2)], m}' |
  sed 's/ \([0-9.]*\)$/ \1 (max)/'
echo

summary=$(grep '^provenance audit: ' "$work/err.txt" || true)
echo "summary: ${summary:-<missing>}"
status=0
if [ "$code" -ne 0 ]; then
  echo "FAIL: exit code $code (expected 0 without --fail-on-rejected)" >&2
  status=1
fi
for want in "total=$claims " "brdNotFound=false" "corpusEmpty=false" \
  "corpusSource=TypedArtifactStore"; do
  case "$summary" in
    *"$want"*) ;;
    *)
      echo "FAIL: summary line lacks $want" >&2
      status=1
      ;;
  esac
done

# Verdicts by mode and reason, from the report's "- mode:" lines, against the built-in classes.
echo
printf '%-34s %8s %8s\n' verdict report expected
grep -E '^- mode: ' "$work/out.txt" | sed -e 's/^- mode: `//' -e 's/`$//' -e 's/^rejected: //' |
  sort | uniq -c | awk '{print $2, $1}' >"$work/actual.txt"
awk 'NR == FNR {a[$1] = $2; seen[$1] = 1; next} {e[$1] = $2; seen[$1] = 1}
  END {for (k in seen) printf "%-34s %8d %8d%s\n", k, a[k], e[k], a[k] == e[k] ? "" : "  differs"}' \
  "$work/actual.txt" "$work/expected.txt" | sort
if ! awk 'NR == FNR {a[$1] = $2; next} a[$1] != $2 {bad = 1} END {exit bad}' \
  "$work/actual.txt" "$work/expected.txt"; then
  echo "note: verdicts differ from the classes the BRD was built for" >&2
fi
echo "report: $(wc -c <"$work/out.txt") bytes," \
  "$(grep -c '^  - `' "$work/out.txt" || true) corpusSearchSummary lines"

if [ "$profile" != 0 ] && command -v perf >/dev/null 2>&1; then
  echo
  echo "== perf record (one run), top functions by self time"
  if perf record -q -F 499 -o "$work/perf.data" -- "$fennick" verify-provenance \
    --project "$project" >/dev/null 2>"$work/perf-err.txt"; then
    # Excerpted with sed, which reads all of its input: nothing closes a pipe early under pipefail.
    perf report -q -i "$work/perf.data" --stdio --no-children --sort dso,symbol \
      --percent-limit 0.5 >"$work/perf-report.txt" 2>/dev/null || true
    grep -v '^$' "$work/perf-report.txt" | cut -c1-140 | sed -n '1,25p'
  else
    echo "  perf does not work here: $(grep -v '^provenance audit' "$work/perf-err.txt" |
      head -n 1)"
  fi
fi
exit "$status"
