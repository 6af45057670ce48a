#!/bin/sh
# Installs the build into a scratch prefix, then configures, builds and runs a
# separate project that finds the library with find_package(Sealwrit).
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   install_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$1 source=$2 scratch=$3 flags=${4:-}
rm -rf "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
test -x "$scratch/prefix/bin/SEALWRIT"
cmake -S "$source/examples/consumer" -B "$scratch/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
