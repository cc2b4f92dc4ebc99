#!/usr/bin/env bash
# build_effective_allowlist on corpus texts shaped against its scan: tokens of 1 MB each, and one
# line of distinct capitalised words. Each size runs in a fresh process; the same input built
# without the allowlist is the yardstick for memory, and the smaller size for linear growth.
#   bench/allowlist_hostile.sh [BUILD_DIR]               (default: build)
#   SIZES="10 100" bench/allowlist_hostile.sh build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sizes=${SIZES:-10 100}
bin="$build/bench/allowlist_hostile_bench"
if [ ! -x "$bin" ]; then
  echo "allowlist_hostile: build $bin first (cmake --build $build --target allowlist_hostile_bench)" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-allowlist-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT

peak_mb() { awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$1"; }

for kind in long-token one-line; do
  for mb in $sizes; do
    /usr/bin/time -v -o "$work/input.time" "$bin" "$kind" "$mb" --input-only >/dev/null
    /usr/bin/time -v -o "$work/run.time" "$bin" "$kind" "$mb" >"$work/run.out"
    seconds=$(awk '/^seconds:/ {print $2}' "$work/run.out")
    bytes=$(awk '/^input:/ {print $2}' "$work/run.out")
    tokens=$(awk '/^tokens:/ {print $2}' "$work/run.out")
    echo "== $kind, $mb MB: $seconds s, $tokens tokens, peak $(peak_mb "$work/run.time") MB" \
      "(input alone $(peak_mb "$work/input.time") MB)"
    awk -v kind="$kind" -v b="$bytes" -v s="$seconds" -v p="$(peak_mb "$work/run.time")" \
      -v i="$(peak_mb "$work/input.time")" -v t="$tokens" 'BEGIN {
        printf "row: build_effective_allowlist, hostile %s (%d tokens)\t%.1f MB\t%.3f s (one run)\t%.0f MB/s\t%s MB\tinput alone: %s MB\n",
          kind, t, b / 1e6, s, b / 1e6 / s, p, i }'
  done
done
