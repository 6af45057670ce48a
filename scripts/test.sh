#!/usr/bin/env bash
# Builds SEALWRIT and runs every test:
#   1. release build: unit, differential, command-line, valgrind, constant-time,
#      install and documentation tests
#   2. the shared library built with -g, its binary interface compared with abi/
#   3. AddressSanitizer + UndefinedBehaviorSanitizer build: the same tests but valgrind's
#   4. ThreadSanitizer build: only the test that shares one object between threads
#   5. big-endian cross build for s390x: the tests that need no other library, under qemu
#   6. cross build for 64-bit ARM: the same tests under qemu, on the AES instructions and
#      the portable path, and a check that the library carries the instructions
#   7. the Debian packages: built, checked with lintian, unpacked, the program run and
#      the consumer built against the static and the shared library; SEALWRIT built by
#      another project through FetchContent
#   8. the fuzz targets, each for FUZZ_SECONDS (default 60)
# and ends with one line counting the tests of all stages.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

stage() { printf '\n=== %s ===\n' "$*"; }
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

for preset in release abi sanitize tsan s390x aarch64; do
  stage "$preset: build and test"
  cmake --workflow --preset "$preset" 2>&1 | tee "$logs/$preset.log"
done

stage "Debian packages, and SEALWRIT as a subproject"
cmake --workflow --preset package
tests/package_check.sh build/package 2>&1 | tee "$logs/package.log"

stage "fuzzing"
scripts/fuzz.sh 2>&1 | tee "$logs/fuzz.log"

# Every stage above stops the script on a failure, so reaching here means all passed
# but the tests CTest reports skipped (a path this CPU or valgrind cannot run), which
# are counted apart so that the total never claims more than ran.
tests=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$logs"/*.log |
        awk '{ sum += $1 } END { print sum + 0 }')
skipped=$(grep -h '^[[:space:]]*[0-9]* - .* (Skipped)$' "$logs"/*.log | wc -l)
fuzzers=$(grep -c ' executions in .* no failures$' "$logs/fuzz.log")
package=$(grep -c '^package: ok$' "$logs/package.log")
printf '\nall stages: %d passed, 0 failed, %d skipped\n' "$((tests - skipped + package + fuzzers))" "$skipped"
