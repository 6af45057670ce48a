#!/usr/bin/env bash
# Builds SEALWRIT and runs every test:
#   1. release build: unit, differential, command-line, valgrind and constant-time tests
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build: the same tests but valgrind's
#   3. big-endian cross build for s390x: the tests that need no other library, under qemu
#   4. the fuzz targets, each for FUZZ_SECONDS (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

stage() { printf '\n=== %s ===\n' "$*"; }

for preset in default sanitize s390x; do
  stage "$preset: build and test"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

stage "fuzzing"
scripts/fuzz.sh
