#!/bin/sh
# Installs the build into a scratch prefix, checks that everything a user needs is
# there, and then builds and runs examples/consumer against it both ways a user
# would: through find_package(sealwrit CONFIG) and through pkg-config.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   install_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$1 source=$(cd "$2" && pwd) scratch=$3 flags=${4:-}
prefix=$scratch/prefix
rm -rf "$scratch"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for file in bin/SEALWRIT share/man/man1/SEALWRIT.1.gz bin/rijndael share/man/man1/rijndael.1.gz \
            include/sealwrit/CRijnDael.h include/sealwrit/CRijnDaelMode.h include/sealwrit/Types.h "$libdir/libsealwrit.a" \
            "$libdir/cmake/sealwrit/sealwrit-config.cmake" "$libdir/pkgconfig/sealwrit.pc"; do
  test -e "$prefix/$file" || { echo "not installed: $file"; exit 1; }
done
output=$("$prefix/bin/SEALWRIT" -t ENC "Attack at dawn, bring the cipher")
[ "$output" = "35AkxO26HjDfA4wWBGdm2He+TnBaXVom1vhyJLtjLOQ=" ] ||
  { echo "the installed program printed: $output"; exit 1; }

echo "through CMake:"
cmake -S "$source/examples/consumer" -B "$scratch/cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/consumer"

echo "through pkg-config:"
# The .pc file must name the prefix it was installed to, not the build's.
grep -qx "prefix=$prefix" "$prefix/$libdir/pkgconfig/sealwrit.pc"
mkdir -p "$scratch/pkg-config"
PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" CXXFLAGS="$flags" LDFLAGS="$flags" \
  make -s -C "$scratch/pkg-config" -f "$source/examples/consumer/Makefile" \
       VPATH="$source/examples/consumer" consumer
"$scratch/pkg-config/consumer"

echo "into a shared object:"
# The archive is built position-independent, so it can be linked into a shared
# library of the user's; without that the link fails on its relocations.
c++ -std=c++17 $flags -shared -fPIC -o "$scratch/pkg-config/libconsumer.so" \
  "$source/examples/consumer/main.cpp" \
  $(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs sealwrit)
nm -D --defined-only "$scratch/pkg-config/libconsumer.so" | grep -q 'CRijnDael.*Encrypt'
echo "libconsumer.so: ok"
