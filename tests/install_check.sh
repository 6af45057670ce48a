#!/bin/sh
# Installs the build into a scratch prefix, checks that everything a user needs is
# there, and then builds and runs examples/consumer against it both ways a user
# would: through find_package(sealwrit CONFIG) and through pkg-config. It also checks
# that the library defines no global name outside its public classes and the
# sealwrit namespace, and that a program with its own names like the library's
# internal ones, and X11's BYTE and BOOL, builds and runs with it.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   install_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$1 source=$(cd "$2" && pwd) scratch=$3 flags=${4:-}
prefix=$scratch/prefix
rm -rf "$scratch"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for file in bin/SEALWRIT share/man/man1/SEALWRIT.1.gz \
            include/sealwrit/CRijnDael.h include/sealwrit/Types.h "$libdir/libsealwrit.a" \
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

echo "global names:"
# Every defined global symbol is a member of a public class or in namespace sealwrit
# (guard variables and the like name what they belong to). AddressSanitizer adds
# an indicator for each global, named after it.
strays=$(nm -g --defined-only "$prefix/$libdir/libsealwrit.a" | awk 'NF >= 3 { print $3 }' |
         sed 's/^__odr_asan\.//' | c++filt |
         sed 's/^\(guard variable\|typeinfo\|typeinfo name\|vtable\) for //' |
         grep -Ev '^(CRijnDael|CRijnDaelMode)::|^sealwrit::' || true)
[ -z "$strays" ] || { echo "global symbols outside the public classes and namespace sealwrit:"; echo "$strays"; exit 1; }
echo "ok"

echo "beside other names:"
c++ -std=c++17 $flags -o "$scratch/pkg-config/foreign_names" "$source/tests/foreign_names.cpp" \
  $(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs sealwrit)
"$scratch/pkg-config/foreign_names"
