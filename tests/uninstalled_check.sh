#!/bin/sh
# Builds examples/consumer against the library in the build tree, nothing installed,
# as the README shows: with the flags of sealwrit-uninstalled.pc alone, which must
# reach <sealwrit/Config.h> (generated under the build tree) and let the program
# load the build tree's libsealwrit.so.1 with nothing in LD_LIBRARY_PATH.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   uninstalled_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$(cd "$1" && pwd) source=$2 scratch=$3 flags=${4:-}
rm -rf "$scratch"
mkdir -p "$scratch"
unset LD_LIBRARY_PATH

c++ -std=c++17 $flags -o "$scratch/consumer" "$source/examples/consumer/main.cpp" \
  $(PKG_CONFIG_PATH="$build" pkg-config --cflags --libs sealwrit-uninstalled)
version=$(PKG_CONFIG_PATH="$build" pkg-config --modversion sealwrit-uninstalled)
printed=$("$scratch/consumer")
[ "$printed" = "consumer: ok, SEALWRIT $version" ] || { echo "the consumer printed: $printed"; exit 1; }
loads=$(ldd "$scratch/consumer" | sed -n 's/^[[:space:]]*libsealwrit\.so\.1 => \([^ ]*\).*/\1/p')
[ "$loads" = "$build/libsealwrit.so.1" ] || { echo "the consumer loads '$loads'"; exit 1; }
echo "consumer built against $build, and loading its library: ok"
