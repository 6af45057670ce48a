#!/bin/sh
# Checks the three Debian packages that `cmake --workflow --preset package` made,
# and SEALWRIT as a part of another project's build:
#  - lintian finds no error and no warning in any of them;
#  - each package holds its own files, the library's has the shlibs and ldconfig
#    trigger control files, and the -dev package needs that very library;
#  - unpacked into one scratch root, SEALWRIT and rijndael print known answers, and the
#    consumer (examples/consumer) builds against the static and the shared library
#    there and runs (tests/consumer_check.sh); dpkg-shlibdeps gives the one linked
#    against libsealwrit.so.1 a dependency on libsealwrit1;
#  - examples/subproject builds the library through FetchContent with the test
#    libraries hidden, builds nothing else, runs the same known answer, and gets
#    the program when it asks for it;
#  - at the top level, a missing test library stops the configure with a message
#    that says what to install and how to build without the tests.
#   package_check.sh BUILD_DIR
set -eu
build=$1
source=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
text="Attack at dawn, bring the cipher" answer="35AkxO26HjDfA4wWBGdm2He+TnBaXVom1vhyJLtjLOQ="

one() {  # PACKAGE: the one PACKAGE_*.deb in the build
  set -- "$build/$1"_*.deb
  [ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one such package in $build: $*" >&2; exit 1; }
  echo "$1"
}
program=$(one sealwrit)
library=$(one libsealwrit1)
dev=$(one libsealwrit-dev)
lintian --fail-on error,warning "$program" "$library" "$dev"
version=$(dpkg-deb -f "$dev" Version)

contains() {  # DEB FILE...: every FILE (a pattern) is in DEB
  deb=$1; shift
  dpkg-deb --contents "$deb" | tee "$scratch/contents"
  for file; do
    grep -q " \./$file\$" "$scratch/contents" || { echo "not in $deb: $file"; exit 1; }
  done
}
contains "$program" usr/bin/SEALWRIT usr/share/man/man1/SEALWRIT.1.gz \
  usr/bin/rijndael usr/share/man/man1/rijndael.1.gz usr/share/doc/sealwrit/copyright usr/share/doc/sealwrit/changelog.gz
! grep -q ' \./usr/\(include\|lib\)/' "$scratch/contents" || { echo "$program holds -dev files"; exit 1; }
contains "$library" "usr/lib/.*/libsealwrit\.so\.$version" \
  "usr/lib/.*/libsealwrit\.so\.1 -> libsealwrit\.so\.$version" \
  usr/share/doc/libsealwrit1/copyright usr/share/doc/libsealwrit1/changelog.gz
! grep ' \./usr/\(include/\|lib/.*\.so \|lib/.*\.a\)' "$scratch/contents" || { echo "$library holds -dev files"; exit 1; }
contains "$dev" usr/include/sealwrit/CRijnDael.h usr/include/sealwrit/CRijnDaelMode.h \
  usr/include/sealwrit/Types.h \
  usr/include/sealwrit/Config.h 'usr/lib/.*libsealwrit\.a' \
  'usr/lib/.*/libsealwrit\.so -> libsealwrit\.so\.1' \
  'usr/lib/.*cmake/sealwrit/sealwrit-config\.cmake' \
  'usr/lib/.*pkgconfig/sealwrit\.pc' usr/share/doc/libsealwrit-dev/copyright \
  usr/share/doc/libsealwrit-dev/changelog.gz
[ "$(dpkg-deb -f "$dev" Depends)" = "libsealwrit1 (= $version)" ] || { echo "$dev depends on: $(dpkg-deb -f "$dev" Depends)"; exit 1; }
mkdir "$scratch/root" && dpkg-deb -e "$library" "$scratch/root/DEBIAN"
[ "$(cat "$scratch/root/DEBIAN/triggers")" = "activate-noawait ldconfig" ] || { echo "$library: no ldconfig trigger"; exit 1; }
! ls "$scratch/root/DEBIAN/"post* 2>/dev/null || { echo "$library has maintainer scripts"; exit 1; }

# "Installed into a scratch root" here means unpacked: dpkg --root would need root,
# a dpkg database in the scratch root and everything the packages depend on (the C
# library, the compiler) installed there too, for the same files. What an install
# adds, ldconfig's cache of /usr/lib, a program under the scratch root gets from the
# run path it is linked with; LD_LIBRARY_PATH stays empty (tests/consumer_check.sh).
for deb in "$program" "$library" "$dev"; do dpkg -x "$deb" "$scratch/root"; done
usr=$scratch/root/usr
output=$("$usr/bin/SEALWRIT" -t ENC "$text")
[ "$output" = "$answer" ] || { echo "the packaged program printed: $output"; exit 1; }
# rijndael opens what .NET wrote with 32-byte blocks (the README's example).
opened=$(echo 1/pPd9Y/hEieDnLyypM0bXZLTre9RazYZXwuNfG4FRw= | "$usr/bin/rijndael" -d -a -b 32 \
  -K 3031323334353637383961626364656630313233343536373839616263646566 \
  -iv 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f)
[ "$opened" = "Attack at dawn" ] || { echo "the packaged rijndael printed: $opened"; exit 1; }
# The C library shared, as Debian's policy wants; the C++ runtime linked in, for
# start-up time.
for name in SEALWRIT rijndael; do
  needed=$(readelf -d "$usr/bin/$name" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
  case $needed in *libstdc++*|*libgcc_s*) echo "$name loads $needed"; exit 1 ;; esac
  case $needed in *libc.so*) ;; *) echo "$name does not load the C library: $needed"; exit 1 ;; esac
  warnings=$(gzip -dc "$usr/share/man/man1/$name.1.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "the packaged manual page $name.1: $warnings"; exit 1; }
done
pc=$(find "$usr/lib" -name sealwrit.pc)
grep -qx 'prefix=/usr' "$pc" || { echo "$pc does not name /usr:"; cat "$pc"; exit 1; }

libdir=$(dirname "$(dirname "$pc")")
sh "$source/tests/consumer_check.sh" "$usr" "${libdir#"$usr/"}" "$scratch/consumer"
# dpkg-shlibdeps, as a package built from a program that links libsealwrit.so.1
# runs it, takes the dependency from the library package's shlibs file (in the
# scratch root's DEBIAN/, where it looks for the package of a library it finds
# there). The dependency must be on the run-time package, at this version or later.
mkdir -p "$scratch/shlibdeps/debian" && touch "$scratch/shlibdeps/debian/control"
depends=$(cd "$scratch/shlibdeps" &&
          dpkg-shlibdeps -O "-l$libdir" "$scratch/consumer/cmake-ON/consumer" 2>&1) || true
case $depends in *"libsealwrit1 (>= $version)"*) ;; *) echo "dpkg-shlibdeps: $depends"; exit 1 ;; esac

sub=$scratch/subproject
cmake -S "$source/examples/subproject" -B "$sub" -G Ninja --no-warn-unused-cli \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON >/dev/null
cmake --build "$sub" >/dev/null
"$sub/consumer"
built=$(cd "$sub/_deps/sealwrit-build" && find . -type f \( -name '*.a' -o -perm -u+x \) | tr '\n' ' ')
[ "$built" = "./libsealwrit.a " ] || { echo "as a subproject, SEALWRIT built: $built"; exit 1; }
cmake --build "$sub" --target SEALWRIT >/dev/null
[ "$("$sub/_deps/sealwrit-build/SEALWRIT" -t ENC "$text")" = "$answer" ]

if cmake -S "$source" -B "$scratch/top" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$scratch/top.log" 2>&1 ||
   ! grep -q 'apt install .*libgtest-dev' "$scratch/top.log" || ! grep -q 'SEALWRIT_TESTS=OFF' "$scratch/top.log"; then
  echo "configuring the tests without GoogleTest did not say what to do:"; cat "$scratch/top.log"; exit 1
fi
echo "package: ok"
