#!/usr/bin/env bash
# Start-up cost of SEALWRIT as it is built for the packages (the C library shared,
# the C++ runtime linked in): whole-process wall time on a 1 KiB text, next to an
# empty C program linked the same way, which is the floor for any program that
# loads the C library. The target is SEALWRIT within 10 % of it.
#
# Two more rows show where the rest goes: SEALWRIT printing its usage line (the
# program loaded and run, nothing allocated or encrypted), and a C program that
# makes one malloc and nothing else (the Base64 encoder's result is malloc'ed).
#
# The machine may be busy with other work, and its load drifts, so the programs are
# run in turn, one run each at a time (bench/alternate.c), and compared by medians.
#
# Usage: bench/startup.sh [PATH_TO_SEALWRIT]     (default: build/program/SEALWRIT)
# Environment: RUNS (default 2000) runs of each program.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/program/SEALWRIT}
runs=${RUNS:-2000}
[ -x "$binary" ] || { echo "startup.sh: no executable at $binary" >&2; exit 1; }
scripts/install-deps.sh gcc

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int main(void) { return 0; }\n' >"$work/empty.c"
# The empty asm keeps the compiler from dropping the malloc and free as unused.
cat >"$work/malloc-once.c" <<'C'
#include <stdlib.h>
int main(void) {
    char* p = malloc(1400);
    if (p) p[0] = 1;
    __asm__ volatile("" : : "r"(p) : "memory");
    free(p);
    return 0;
}
C
for program in empty malloc-once; do cc -O2 -o "$work/$program" "$work/$program.c"; done
cc -O2 -Wall -Wextra -Werror -o "$work/alternate" bench/alternate.c

text=$(printf 'Attack_at_dawn,_bring_the_cipher%.0s' {1..32})  # 1 KiB
echo "=== start-up on a 1 KiB text: $runs runs of each, taken in turn ==="
"$work/alternate" "$runs" "$work/empty" -- "$binary" -t ENC "$text" -- "$binary" -- "$work/malloc-once"
