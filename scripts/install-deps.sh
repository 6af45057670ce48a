#!/usr/bin/env bash
# Installs, from Debian's packages, whatever building and testing SEALWRIT needs and
# this machine lacks, or only the packages named on the command line.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
  cmake ninja-build g++ make pkg-config groff-base
  dpkg-dev file lintian abigail-tools
  googletest libgtest-dev libssl-dev libmcrypt-dev libbenchmark-dev
  php8.2-cli php-mcrypt mono-mcs mono-runtime
  clang-14 libclang-rt-14-dev valgrind x11proto-dev openssl
  g++-s390x-linux-gnu g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
