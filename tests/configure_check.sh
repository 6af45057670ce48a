#!/bin/sh
# A configure on a machine without the tests' libraries and tools names each one
# with its Debian package. The machine is made to lack them by hiding the folders
# they are found in from CMake's searches.
#   configure_check.sh SOURCE_DIR SCRATCH_DIR
set -u
source=$1 scratch=$2
rm -rf "$scratch"
ma=$(gcc -print-multiarch)
hidden="$(echo /usr/lib/llvm-*/lib/clang/*/include | tr " " ";");/usr/lib/$ma;/lib/$ma;/usr/include;/usr/bin;/bin"
output=$(cmake -S "$source" -B "$scratch" -G Ninja -DCMAKE_MAKE_PROGRAM="$(command -v ninja)" \
         -DCMAKE_CXX_COMPILER="$(command -v c++)" -DGZIP="$(command -v gzip)" \
         -DCMAKE_IGNORE_PATH="$hidden" 2>&1 | tr -s ' \n' '  ')
rm -rf "$scratch"
for expected in "Configuring incomplete" "libmcrypt (libmcrypt-dev)" "FuzzedDataProvider.h (libclang-rt-14-dev)" \
                "OpenSSL's libcrypto (libssl-dev)" "valgrind (valgrind)" "groff (groff-base)" \
                "PHP (php8.2-cli)" "Mono's C# compiler (mono-mcs)" \
                "sudo apt install " "-DSEALWRIT_TESTS=OFF"; do
  case $output in
    *"$expected"*) ;;
    *) echo "the configure message does not name: $expected"; echo "$output"; exit 1 ;;
  esac
done
echo "configure names every missing piece: ok"
