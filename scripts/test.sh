#!/usr/bin/env bash
# Builds SEALWRIT and runs every test: the unit, differential and command-line
# tests in a release build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

stage() { printf '\n=== %s ===\n' "$*"; }

stage "release build and tests"
cmake --preset default
cmake --build --preset default
ctest --preset default -j2
