#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time. Fails on any crash,
# sanitizer report, failed check or timeout.
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   targets to run, space-separated (default: all)
#
# Inputs the fuzzer finds interesting stay in build/fuzz/fuzz-work/<target>/corpus;
# a failing input is saved as build/fuzz/fuzz-work/<target>/crash-* (or timeout-*,
# leak-*) and can be replayed with build/fuzz/fuzz/<target> FILE. A case worth
# keeping becomes a named case in the target's source (see fuzz/README.md).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "FUZZ_SECONDS must be a positive whole number of seconds, not '$seconds'" >&2
  exit 2
fi
read -r -a targets <<< "${FUZZ_TARGETS:-sealwrit_fuzz rijndael_tool_fuzz}"

scripts/install-deps.sh

stage() { printf '\n=== %s ===\n' "$*"; }

stage "fuzz build"
cmake --preset fuzz
cmake --build --preset fuzz -j2 --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
  stage "$target for $seconds s"
  work="build/fuzz/fuzz-work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  log="$work/fuzz.log"

  # -timeout: one input running this long is a hang, reported as a failure.
  # -max_len: room for a few hundred blocks, far more than the seeds hold.
  status=0
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" > "$log" 2>&1 || status=$?

  runs=$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
    echo "$target FAILED (exit status $status); the end of $log:"
    tail -n 60 "$log"
    failed+=("$target")
  else
    echo "$target: $runs executions in $seconds s, no failures"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  printf '\nfuzzing failed: %s\n' "${failed[*]}"
  exit 1
fi
printf '\nfuzzing passed: %s\n' "${targets[*]}"
