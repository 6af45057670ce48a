#!/bin/sh
# Installs the build into a scratch prefix, checks that everything a user needs is
# there, and then builds and runs examples/consumer against it every way a user
# would (tests/consumer_check.sh), and links the static library into a shared object.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   install_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$1 source=$(cd "$2" && pwd) scratch=$3 flags=${4:-}
prefix=$scratch/prefix
rm -rf "$scratch"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for file in bin/SEALWRIT share/man/man1/SEALWRIT.1.gz include/sealwrit/CRijnDael.h \
            include/sealwrit/Types.h include/sealwrit/Config.h "$libdir/libsealwrit.a" \
            "$libdir/libsealwrit.so" "$libdir/libsealwrit.so.1" \
            "$libdir/cmake/sealwrit/sealwrit-config.cmake" "$libdir/pkgconfig/sealwrit.pc"; do
  test -e "$prefix/$file" || { echo "not installed: $file"; exit 1; }
done
output=$("$prefix/bin/SEALWRIT" -t ENC "Attack at dawn, bring the cipher")
[ "$output" = "35AkxO26HjDfA4wWBGdm2He+TnBaXVom1vhyJLtjLOQ=" ] ||
  { echo "the installed program printed: $output"; exit 1; }
# The .pc file must name the prefix it was installed to, not the build's.
grep -qx "prefix=$prefix" "$prefix/$libdir/pkgconfig/sealwrit.pc"

sh "$source/tests/consumer_check.sh" "$prefix" "$libdir" "$scratch" "$flags"

# The archive is built position-independent, so it can be linked into a shared
# library of the user's; without that the link fails on its relocations. The class
# is exported from it, the library's internals are not.
c++ -std=c++17 $flags -shared -fPIC -o "$scratch/libconsumer.so" \
  "$source/examples/consumer/main.cpp" -I"$prefix/include" "$prefix/$libdir/libsealwrit.a"
nm -DC --defined-only "$scratch/libconsumer.so" >"$scratch/consumer-exports"
grep -q 'CRijnDael::Encrypt' "$scratch/consumer-exports"
! grep sealwrit:: "$scratch/consumer-exports"
echo "libconsumer.so: ok"
