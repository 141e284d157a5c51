#!/usr/bin/env bash
# Runs the fuzz targets of a ZEF_FUZZ build (make fuzz, make fuzz-replay).
#
#   fuzz/run.sh fuzz BUILD     each target for FUZZ_SECONDS (default 180) on a
#                              working copy of its seed corpus in
#                              BUILD/fuzz-work/<target>; crashes go to
#                              BUILD/fuzz-artifacts/ (copy each one into
#                              fuzz/regressions/<target>/ once it is fixed)
#   fuzz/run.sh replay BUILD   each target over its seed corpus and its
#                              regression inputs, then a short fixed pass
#                              (fixed seed, bounded run count), as CI does
#
# A target that crashes, leaks or finds pools not back where they were ends
# the run with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:?usage: fuzz/run.sh fuzz|replay BUILD}
build=${2:?usage: fuzz/run.sh fuzz|replay BUILD}
seconds=${FUZZ_SECONDS:-180}

# target and the runs of its fixed pass: the catalog target opens a SQLite
# file per input and is much the slowest (so is host_reads_fuzz, for its opens).
targets=(options_fuzz:20000 names_fuzz:20000 zefcat_names_fuzz:10000 catalog_fuzz:600 host_reads_fuzz:600)
# Longest input each target is given: enough for every plan it reads.
max_len=512

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}
  runs=${entry##*:}
  binary=$build/fuzz/$target
  inputs=()
  for dir in fuzz/corpus/$target fuzz/regressions/$target; do
    [ -d "$dir" ] && inputs+=("$dir")
  done
  case "$mode" in
    replay)
      # New inputs go to a scratch directory, never into the checked-in ones.
      work=$(mktemp -d)
      mkdir -p "$build/fuzz-artifacts"
      echo "== $target: replay of ${inputs[*]}, then $runs runs"
      if ! "$binary" -runs="$runs" -seed=1 -max_len=$max_len -print_final_stats=1 \
             -artifact_prefix="$build/fuzz-artifacts/$target-" "$work" "${inputs[@]}" >"$work.log" 2>&1; then
        tail -n 40 "$work.log"
        failed=1
      else
        grep -E '^(stat::number_of_executed_units|Done)' "$work.log" || true
      fi
      rm -rf "$work" "$work.log"
      ;;
    fuzz)
      work=$build/fuzz-work/$target
      artifacts=$build/fuzz-artifacts
      mkdir -p "$work" "$artifacts"
      [ -d fuzz/corpus/$target ] && cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
      echo "== $target: fuzzing for ${seconds}s in $work"
      regressions=()
      [ -d fuzz/regressions/$target ] && regressions=(fuzz/regressions/$target)
      if ! "$binary" -max_total_time="$seconds" -max_len=$max_len -print_final_stats=1 \
             -artifact_prefix="$artifacts/$target-" "$work" "${regressions[@]}" 2>&1 | tail -n 12; then
        failed=1
      fi
      ;;
    *) echo "fuzz/run.sh: unknown mode '$mode'" >&2; exit 2 ;;
  esac
done
exit $failed
