#!/usr/bin/env bash
# Rebuilds the shared library as the ABI check does (the abi preset: a release
# build with -g, for abidw to see the class layouts) and rewrites its description,
# abi/<SONAME>.abi, which CI compares every build with (tests/abi_check.sh).
#
# Run it on purpose only, and commit its result with the change that needs it:
#  - a new public function (or class): the description then holds it, so that its
#    later removal is caught;
#  - a new SONAME: a change the check refuses (a removed or changed function, a
#    changed class size or layout) needs a new major version in project(); the new
#    SONAME gets its description and the old one is removed.
# It refuses to record an incompatible change under the same SONAME.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh cmake ninja-build g++ abigail-tools
cmake --preset abi >/dev/null
cmake --build --preset abi
sh tests/abi_check.sh --update build/abi/libsealwrit.so build/abi/include/sealwrit abi
