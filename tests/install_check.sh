#!/bin/sh
# Installs the build into a scratch prefix, checks that everything a user needs is
# there, and then builds and runs examples/consumer against it every way a user
# would (tests/consumer_check.sh), and links the static library into a shared object.
# It also checks that the library defines no global name outside its public classes
# and the sealwrit namespace, and that a program with its own names like the
# library's internal ones, and X11's BYTE and BOOL, builds and runs with it.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   install_check.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR [FLAGS]
set -eu
build=$1 source=$(cd "$2" && pwd) scratch=$3 flags=${4:-}
prefix=$scratch/prefix
rm -rf "$scratch"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for file in bin/SEALWRIT share/man/man1/SEALWRIT.1.gz bin/rijndael share/man/man1/rijndael.1.gz \
            include/sealwrit/CRijnDael.h \
            include/sealwrit/CRijnDaelMode.h \
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

echo "global names:"
# Every defined global symbol is a member of a public class or in namespace sealwrit
# (guard variables and the like name what they belong to, and a function template's
# instance its return type first). AddressSanitizer adds an indicator for each
# global, named after it.
strays=$(nm -g --defined-only "$prefix/$libdir/libsealwrit.a" | awk 'NF >= 3 { print $3 }' |
         sed 's/^__odr_asan\.//' | c++filt |
         sed 's/^\(guard variable\|typeinfo\|typeinfo name\|vtable\) for //' |
         sed -E 's/^[^ (]+ (sealwrit::)/\1/' |
         grep -Ev '^(CRijnDael|CRijnDaelMode)::|^sealwrit::' || true)
[ -z "$strays" ] || { echo "global symbols outside the public classes and namespace sealwrit:"; echo "$strays"; exit 1; }
echo "ok"

echo "beside other names:"
c++ -std=c++17 $flags -o "$scratch/foreign_names" "$source/tests/foreign_names.cpp" \
  -I"$prefix/include" "$prefix/$libdir/libsealwrit.a"
"$scratch/foreign_names"
