# shellcheck shell=bash
# Sourced by the benchmarks that run a yardstick binary beside this build's.
#   resolve_baseline BUILD_DIR
# Sets BASELINE_BIN to the yardstick `fennick`, or to "" when there is none (the yardstick column
# then says "-"):
#   BASELINE=/path/to/fennick      that binary, used as given (ignored when not executable);
#   BASELINE_REV=<git revision>    the `fennick` of that revision of this repository, built once
#                                  into BUILD_DIR/baseline-<short rev>/build from a `git archive`
#                                  of it in BUILD_DIR/baseline-<short rev>/src, and reused after.
# The build's own output goes to stderr. Generators always come from the current build.
resolve_baseline() {
  local build=$1
  BASELINE_BIN=""
  if [ -n "${BASELINE:-}" ]; then
    [ -x "$BASELINE" ] && BASELINE_BIN=$BASELINE
    [ -n "$BASELINE_BIN" ] || echo "baseline: $BASELINE is not executable: no yardstick" >&2
    return 0
  fi
  [ -n "${BASELINE_REV:-}" ] || return 0
  local repo short
  repo=$(git -C "$(dirname "${BASH_SOURCE[0]}")" rev-parse --show-toplevel)
  short=$(git -C "$repo" rev-parse --short=7 --verify "${BASELINE_REV}^{commit}") || {
    echo "baseline: BASELINE_REV=$BASELINE_REV is not a revision of $repo" >&2
    return 1
  }
  local root
  root="$(cd "$build" && pwd)/baseline-$short"
  # The stamp is written only after a whole build, so an interrupted one is redone.
  if [ ! -f "$root/built" ] || [ ! -x "$root/build/cli/fennick" ]; then
    echo "baseline: building fennick of $short in $root" >&2
    rm -rf "$root/src"
    mkdir -p "$root/src"
    git -C "$repo" archive "$short" | tar -x -C "$root/src"
    cmake -S "$root/src" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DFENNICK_BUILD_TESTS=OFF -DFENNICK_BUILD_BENCH=OFF >&2
    cmake --build "$root/build" -j"${BASELINE_JOBS:-4}" --target fennick >&2
    touch "$root/built"
  fi
  BASELINE_BIN="$root/build/cli/fennick"
}
