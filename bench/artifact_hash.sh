#!/usr/bin/env bash
# Artifact re-hashing figures: verify_offline_chain against `openssl dgst -sha256` on the same
# generated files in the same run, and peak memory with one large artifact. The files go to a
# temporary directory that is removed at exit.
#   bench/artifact_hash.sh [BUILD_DIR]                  (default: build)
#   PARTS=16 PART_MIB=64 BIG_MIB=1024 REPEAT=3 bench/artifact_hash.sh build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
parts=${PARTS:-16}
part_mib=${PART_MIB:-64}
big_mib=${BIG_MIB:-1024}
repeat=${REPEAT:-3}
bin="$build/bench/artifact_hash_bench"
if [ ! -x "$bin" ]; then
  echo "artifact_hash: build $bin first (cmake --build $build --target artifact_hash_bench)" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fennick-artifact-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Random content in two sets: PARTS files spread over four stages, and one big file alone.
mkdir -p "$work/many" "$work/one/release"
for ((i = 0; i < parts; i++)); do
  stage="$work/many/stage-$((i % 4))"
  mkdir -p "$stage"
  head -c "$((part_mib << 20))" /dev/urandom >"$stage/part-$i.bin"
done
head -c "$((big_mib << 20))" /dev/urandom >"$work/one/release/big.bin"
echo "artifacts: $parts x $part_mib MiB in 4 stages, and 1 x $big_mib MiB"

# Wall seconds of the best of REPEAT runs of a command, its output kept from the last run.
best_of() {
  local out=$1 best="" start end t
  shift
  for ((r = 0; r < repeat; r++)); do
    start=$(date +%s.%N)
    "$@" >"$out"
    end=$(date +%s.%N)
    t=$(awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$t; fi
  done
  echo "$best"
}

peak_mib() {
  awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$1"
}

for set in many one; do
  dir="$work/$set"
  bytes=$(find "$dir" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
  cat "$dir"/*/* >/dev/null  # both tools read from the page cache
  echo
  echo "== $set: $((bytes >> 20)) MiB"
  # The names are generated above and start with "stage-", and the digests file needs paths
  # relative to the set's directory.
  # shellcheck disable=SC2035
  (cd "$dir" && openssl dgst -sha256 -r */* >"$work/$set.digests")
  # shellcheck disable=SC2035
  ssl=$(cd "$dir" && best_of "$work/ssl.out" openssl dgst -sha256 -r */*)
  /usr/bin/time -v "$bin" --artifact-dir="$dir" --digests="$work/$set.digests" \
    --repeat="$repeat" >"$work/fennick.out" 2>"$work/time.out" || {
    cat "$work/fennick.out" "$work/time.out" >&2
    exit 1
  }
  sed 's/^/  /' "$work/fennick.out"
  fennick=$(sed -n 's/.*best of [0-9]*: \([0-9.]*\) s.*/\1/p' "$work/fennick.out")
  awk -v b="$bytes" -v t="$ssl" 'BEGIN {printf "  openssl dgst -sha256: best of '"$repeat"': %.3f s, %.0f MB/s\n", t, b / 1e6 / t}'
  awk -v f="$fennick" -v s="$ssl" 'BEGIN {printf "  throughput ratio fennick / openssl: %.2f (target >= 0.90)\n", s / f}'
  echo "  peak memory (fennick, whole process, $repeat passes): $(peak_mib "$work/time.out") MiB"
  /usr/bin/time -v openssl dgst -sha256 -r "$dir"/*/* >/dev/null 2>"$work/time.out"
  echo "  peak memory (openssl dgst): $(peak_mib "$work/time.out") MiB"
done

# The process's fixed cost, with one tiny artifact, to set the figures above against.
mkdir -p "$work/tiny/s"
printf 'x' >"$work/tiny/s/a"
(cd "$work/tiny" && openssl dgst -sha256 -r s/a >"$work/tiny.digests")
/usr/bin/time -v "$bin" --artifact-dir="$work/tiny" --digests="$work/tiny.digests" \
  >/dev/null 2>"$work/time.out"
echo
echo "baseline peak memory (one 1-byte artifact): $(peak_mib "$work/time.out") MiB"
