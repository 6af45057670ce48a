#!/bin/sh
# The ARM library must carry the AES instructions, and only in the back end compiled
# for them: without them every test would still pass on the portable path alone, and
# with them elsewhere the library would stop on a CPU that lacks them.
# Usage: arm64_aes_instructions.sh OBJDUMP LIBRARY
set -eu
"$1" -d "$2" | awk '
  / file format / { member = $1 }
  match($0, /\t(aese|aesmc|aesd|aesimc)\t/) {
    seen[substr($0, RSTART + 1, RLENGTH - 2)] = 1
    if (member !~ /^AesArm64/ && !told[member]++) { print "AES instructions in " member; bad = 1 }
  }
  END {
    for (op in seen) n++
    if (n != 4) { print n + 0 " of aese, aesmc, aesd and aesimc found"; bad = 1 }
    exit bad
  }'
