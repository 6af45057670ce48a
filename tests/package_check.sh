#!/bin/sh
# Checks the Debian package that `cmake --workflow --preset package` made: lists
# it, checks that it holds what a user needs under /usr, unpacks it into a scratch
# folder, runs the unpacked program on an example and builds examples/consumer
# against the unpacked library through CMake and through pkg-config.
#   package_check.sh BUILD_DIR
set -eu
build=$1
source=$(cd "$(dirname "$0")/.." && pwd)

set -- "$build"/sealwrit_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one sealwrit_*.deb in $build, found: $*"; exit 1; }
deb=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

dpkg-deb --info "$deb"
dpkg-deb --contents "$deb" | tee "$scratch/contents"
for file in usr/bin/SEALWRIT usr/share/man/man1/SEALWRIT.1.gz \
            usr/include/sealwrit/CRijnDael.h usr/include/sealwrit/Lib.h \
            'usr/lib/.*libsealwrit\.a' 'usr/lib/.*cmake/sealwrit/sealwrit-config\.cmake' \
            'usr/lib/.*pkgconfig/sealwrit\.pc'; do
  grep -q " \./$file\$" "$scratch/contents" || { echo "not in the package: $file"; exit 1; }
done

dpkg-deb --extract "$deb" "$scratch/root"
usr=$scratch/root/usr
output=$("$usr/bin/SEALWRIT" -t ENC "Attack at dawn, bring the cipher")
[ "$output" = "35AkxO26HjDfA4wWBGdm2He+TnBaXVom1vhyJLtjLOQ=" ] ||
  { echo "the packaged program printed: $output"; exit 1; }
warnings=$(gzip -dc "$usr/share/man/man1/SEALWRIT.1.gz" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || { echo "the packaged manual page: $warnings"; exit 1; }
pc=$(find "$usr/lib" -name sealwrit.pc)
grep -qx 'prefix=/usr' "$pc" || { echo "$pc does not name /usr:"; cat "$pc"; exit 1; }

# The consumer builds against the unpacked library both ways: the CMake package
# finds its files relative to itself, and pkg-config is told where /usr now is.
cmake -S "$source/examples/consumer" -B "$scratch/cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$usr" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/consumer"
mkdir "$scratch/pkg-config"
PKG_CONFIG_PATH=$(dirname "$pc") PKG_CONFIG="pkg-config --define-variable=prefix=$usr" \
  make -s -C "$scratch/pkg-config" -f "$source/examples/consumer/Makefile" \
       VPATH="$source/examples/consumer" consumer
"$scratch/pkg-config/consumer"
echo "package: ok"
