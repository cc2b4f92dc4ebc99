# shellcheck shell=bash
# Sourced by the hostile-input benchmarks: one fresh run of a binary under a time and an
# address-space limit, so that a hang shows as "> N s" and an abort or a kill as such.
#   limited_run TIMEOUT_S MEMORY_MB WORK OUT BIN ARGS...
# Runs BIN ARGS with stdout to OUT, GNU time's record in WORK/time, and sets RESULT to "WALL s,
# PEAK MB peak, OUTCOME" (OUTCOME: "exit N", "timed out", "aborted", "killed"). Stderr is
# discarded, or, when LIMITED_RUN_STDERR names a file, its last 64 KB are kept there (never more,
# whatever the binary writes).
limited_run() {
  local timeout_s=$1 memory_mb=$2 work=$3 out=$4
  shift 4
  if [ -n "${LIMITED_RUN_STDERR:-}" ]; then
    { /usr/bin/time -o "$work/time" -f '%e %M %x' timeout "$timeout_s" \
      prlimit --as=$((memory_mb * 1024 * 1024)) "$@" 2>&1 >"$out" </dev/null; } |
      tail -c 65536 >"$LIMITED_RUN_STDERR" || true
  else
    /usr/bin/time -o "$work/time" -f '%e %M %x' timeout "$timeout_s" \
      prlimit --as=$((memory_mb * 1024 * 1024)) "$@" >"$out" 2>/dev/null </dev/null || true
  fi
  local wall peak code signal outcome
  read -r wall peak code < <(tail -n 1 "$work/time")
  # Killed by a signal: GNU time says so on a line of its own and reports status 0.
  signal=$(sed -n 's/^Command terminated by signal \([0-9]*\)$/\1/p' "$work/time")
  [ -n "$signal" ] && code=$((128 + signal))
  case "$code" in
    124) outcome="timed out"; wall="> $timeout_s" ;;
    134) outcome=aborted ;;
    137) outcome=killed ;;
    *) outcome="exit $code" ;;
  esac
  RESULT="$wall s, $(awk -v k="$peak" 'BEGIN { printf "%.0f MB", k / 1024 }') peak, $outcome"
}
