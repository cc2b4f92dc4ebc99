#!/usr/bin/env bash
# fennick's certificate reading and canonical writing beside RapidJSON's DOM parse and Writer on
# the 48.8 MB synthetic certificate of certificate_bench.cpp, driving json_peer_bench.cpp: one
# fresh process per measurement, RUNS per step, the four steps interleaved so that the machine's
# load falls on each alike; median time, largest peak memory (GNU time; the process holds the
# file's text too, and for the writes the records or DOM read beforehand).
#   bench/json_peer.sh [BUILD_DIR]            (default: build)
#   RUNS=7 bench/json_peer.sh build-bench
# json_peer_bench is built only where RapidJSON's headers are (Debian rapidjson-dev); without it
# the script prints one row saying the peer rows were skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
prog="$build/bench/json_peer_bench"
command -v /usr/bin/time >/dev/null || { echo "json_peer: /usr/bin/time is missing" >&2; exit 2; }
if [ ! -x "$prog" ]; then
  echo "json_peer: $prog is not built (RapidJSON's headers, Debian rapidjson-dev, are missing)"
  printf 'row: JSON peer rows skipped: json_peer_bench not built (no rapidjson-dev)\t-\t-\t-\t-\t-\n'
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-peer.XXXXXX")
trap 'rm -rf "$work"' EXIT
file="$work/certificate.json"
"$prog" generate "$file"
bytes=$(stat -c %s "$file")
size=$(awk -v b="$bytes" 'BEGIN { printf "%.1f MB", b / 1e6 }')
echo "input: $size ($bytes bytes), $runs runs per step"

steps=(fennick-read rapidjson-parse fennick-write rapidjson-write)
for ((i = 1; i <= runs; i++)); do
  for step in "${steps[@]}"; do
    /usr/bin/time -o "$work/time" -f '%M' "$prog" "$step" "$file" >"$work/out"
    read -r name seconds _ <"$work/out"
    [ "$name" = "$step" ] || { echo "json_peer: $step printed: $(cat "$work/out")" >&2; exit 1; }
    echo "$step $seconds $(cat "$work/time")" | tee -a "$work/runs"
  done
done

# Median seconds, MB/s and largest peak (MB) of one step: "S MBPS PEAK".
figures() {
  awk -v step="$1" -v b="$bytes" '$1 == step { t[++n] = $2; if ($3 > p) p = $3 }
    END {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (t[j] < t[i]) { x = t[i]; t[i] = t[j]; t[j] = x }
      m = (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
      printf "%.3f %.0f %.0f\n", m, b / 1e6 / m, p / 1024 }' "$work/runs"
}

# One row: fennick's step against the peer's, the ratio of their throughputs (above 1: fennick
# is faster).
peer_row() {
  local what=$1 ours=$2 theirs=$3 peer_name=$4
  local s mbps peak ps pmbps ppeak
  read -r s mbps peak < <(figures "$ours")
  read -r ps pmbps ppeak < <(figures "$theirs")
  local ratio
  ratio=$(awk -v a="$ps" -v b="$s" 'BEGIN { printf "%.2f", a / b }')
  echo "$what: $s s, $mbps MB/s, $peak MB; $peer_name: $ps s, $pmbps MB/s, $ppeak MB; fennick/peer ${ratio}x"
  printf 'row: %s, fresh process\t%s\t%s s (median of %d)\t%s MB/s\t%s MB\t%s: %s s, %s MB/s, %s MB; fennick/peer %sx\n' \
    "$what" "$size" "$s" "$runs" "$mbps" "$peak" "$peer_name" "$ps" "$pmbps" "$ppeak" "$ratio"
}

peer_row "read_certificate_json (records, freeing included)" fennick-read rapidjson-parse \
  "RapidJSON DOM parse (freeing included)"
peer_row "write_certificate_json" fennick-write rapidjson-write "RapidJSON Writer"
