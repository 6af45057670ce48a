#!/bin/sh
# Compares the binary interface of a build of libsealwrit.so with the description
# stored for its SONAME (ABI_DIR/<SONAME>.abi, made by abidw), and fails on every
# change that can break a program built against the stored one: a removed or changed
# function or variable, or a changed size or layout of a type the interface reaches
# (CRijnDael's 1024 bytes and its members among them). An added function passes.
# Such a change needs a new SONAME, that is a new major version in project(), and
# the new SONAME needs a description: scripts/update-abi.sh writes it.
# With --update, writes the description instead, unless the change is incompatible
# and the SONAME is the same.
#   abi_check.sh [--update] LIBRARY PUBLIC_HEADER_DIR ABI_DIR
set -eu
update=false
[ "$1" != --update ] || { update=true; shift; }
library=$1 headers=$2 dir=$3
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
stored=$dir/$soname.abi
current=$(mktemp)
trap 'rm -f "$current"' EXIT
# Types that only the library's own sources declare are left out; the paths of the
# build are not written, so that every checkout describes the same library alike.
abidw --no-corpus-path --no-comp-dir-path --no-show-locs \
      --headers-dir "$headers" --drop-private-types "$library" >"$current"

if [ -f "$stored" ] && ! abidiff --no-added-syms "$stored" "$current"; then
  echo "$soname: incompatible with $stored."
  echo "Keep the interface, or raise the major version in project() (a new SONAME)"
  echo "and run scripts/update-abi.sh."
  exit 1
fi
if $update; then
  # abidw reads back a comment only inside the corpus element.
  { head -n 1 "$current"
    echo "  <!-- The binary interface of $soname as $(abidw --version | sed "s/: / /") describes it"
    echo "       (scripts/update-abi.sh: the abi preset's build, with -g); CI compares"
    echo "       every build with it (tests/abi_check.sh). -->"
    tail -n +2 "$current"; } >"$stored"
  find "$dir" -name '*.abi' ! -name "$soname.abi" -print -delete
  echo "wrote $stored"
elif [ ! -f "$stored" ]; then
  echo "no ABI description for $soname in $dir: run scripts/update-abi.sh"
  exit 1
elif ! abidiff "$stored" "$current" >/dev/null; then
  echo "$soname: compatible with $stored, with additions; scripts/update-abi.sh records them"
else
  echo "$soname: the same interface as $stored"
fi
