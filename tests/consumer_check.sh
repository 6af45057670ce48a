#!/bin/sh
# Builds and runs examples/consumer against an installed SEALWRIT every way a user
# would, and checks which library each build loads:
#  - find_package(sealwrit): sealwrit::rijndael is the static library, and the
#    shared one when the consumer builds shared libraries (BUILD_SHARED_LIBS);
#  - pkg-config: the shared library, and with --static in a static link the archive;
# each consumer names the version of its headers, which must be pkg-config's. The
# shared library must export the public classes of its headers and nothing else.
# Nothing is put in LD_LIBRARY_PATH: a consumer finds libsealwrit.so.1 under ROOT
# through its run path, as CMake writes it into a build tree and as -Wl,-rpath does.
# FLAGS are the compiler flags of the build (a sanitizer build's consumer needs them).
#   consumer_check.sh ROOT LIBDIR SCRATCH [FLAGS]    (ROOT holds include/ and LIBDIR/)
set -eu
root=$1 libdir=$1/$2 scratch=$3 flags=${4:-}
source=$(cd "$(dirname "$0")/.." && pwd)
export PKG_CONFIG_PATH="$libdir/pkgconfig"
version=$(pkg-config --modversion sealwrit)
pkg_config="pkg-config --define-variable=prefix=$root"
test -f "$libdir/libsealwrit.so.$version" || { echo "no libsealwrit.so.$version in $libdir"; exit 1; }

unset LD_LIBRARY_PATH

run() {  # PROGRAM static|shared: runs it, and checks the library it loads
  [ "$("$1")" = "consumer: ok, SEALWRIT $version" ] || { echo "$1 printed: $("$1")"; exit 1; }
  loads=$(ldd "$1" 2>/dev/null | sed -n 's/^[[:space:]]*libsealwrit\.so\.1 => \([^ ]*\).*/\1/p')
  case $2:$loads in
    static:) ;;
    shared:"$libdir/libsealwrit.so.1") ;;
    *) echo "$1, built $2, loads libsealwrit.so.1 from '$loads'"; exit 1 ;;
  esac
  echo "$1: ok, $2"
}

for shared in OFF ON; do
  cmake -S "$source/examples/consumer" -B "$scratch/cmake-$shared" -G Ninja \
    -DCMAKE_PREFIX_PATH="$root" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_SHARED_LIBS=$shared >/dev/null
  cmake --build "$scratch/cmake-$shared" >/dev/null
done
run "$scratch/cmake-OFF/consumer" static
run "$scratch/cmake-ON/consumer" shared

mkdir -p "$scratch/pkg-config" "$scratch/pkg-config-static"
PKG_CONFIG=$pkg_config CXXFLAGS="$flags" LDFLAGS="$flags -Wl,-rpath,$libdir" \
  make -s -C "$scratch/pkg-config" -f "$source/examples/consumer/Makefile" \
       VPATH="$source/examples/consumer" consumer
run "$scratch/pkg-config/consumer" shared
# A sanitizer's run-time library cannot be linked statically.
case $flags in *-fsanitize*) ;; *)
  PKG_CONFIG="$pkg_config --static" LDFLAGS=-static \
    make -s -C "$scratch/pkg-config-static" -f "$source/examples/consumer/Makefile" \
         VPATH="$source/examples/consumer" consumer
  run "$scratch/pkg-config-static/consumer" static ;;
esac

# Every defined dynamic symbol is a member of a class its headers export, and every
# such class has some.
classes=$(sed -n 's/^class SEALWRIT_EXPORT \([A-Za-z_0-9]*\).*/\1/p' "$root"/include/sealwrit/*.h)
nm -DC --defined-only "$libdir/libsealwrit.so.1" | cut -d' ' -f3- >"$scratch/exports"
for class in $classes; do
  grep -q "^$class::" "$scratch/exports" || { echo "libsealwrit.so.1 exports nothing of $class"; exit 1; }
  sed -i "/^$class::/d" "$scratch/exports"
done
[ ! -s "$scratch/exports" ] || { echo "libsealwrit.so.1 exports more than $classes:"; cat "$scratch/exports"; exit 1; }
echo "libsealwrit.so.1 exports only $classes"
