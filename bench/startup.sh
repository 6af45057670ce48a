#!/usr/bin/env bash
# Start-up cost of SEALWRIT as it is built for the packages (the C library shared,
# the C++ runtime linked in): whole-process wall time on a 1 KiB text, next to an
# empty C program linked the same way, which is the floor for any program that
# loads the C library. The target is SEALWRIT within 10 % of it.
#
# The machine may be busy with other work, and its load drifts during a long run,
# so the two programs are timed in ROUNDS short hyperfine runs of alternating
# order; the summary gives each round's ratio of medians and the median of those.
#
# Usage: bench/startup.sh [PATH_TO_SEALWRIT]     (default: build/program/SEALWRIT)
# Environment: ROUNDS (default 10), RUNS (default 100) and WARMUP (default 10) per round.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/program/SEALWRIT}
rounds=${ROUNDS:-10}
runs=${RUNS:-100}
warmup=${WARMUP:-10}
[ -x "$binary" ] || { echo "startup.sh: no executable at $binary" >&2; exit 1; }
scripts/install-deps.sh hyperfine gcc python3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'int main(void) { return 0; }\n' >"$work/empty.c"
cc -O2 -o "$work/empty" "$work/empty.c"

# 1 KiB without blanks, so that hyperfine -N passes it as one argument.
text=$(printf 'Attack_at_dawn,_bring_the_cipher%.0s' {1..32})
sealwrit=(-n SEALWRIT "$binary -t ENC $text")
empty=(-n "empty C program" "$work/empty")

for ((round = 1; round <= rounds; ++round)); do
  if ((round % 2)); then order=("${sealwrit[@]}" "${empty[@]}"); else order=("${empty[@]}" "${sealwrit[@]}"); fi
  hyperfine -N --style basic --warmup "$warmup" --runs "$runs" \
    --export-json "$work/round$round.json" "${order[@]}"
done

python3 - "$work"/round*.json <<'EOF'
import json, statistics, sys

print(f"\n=== start-up on a 1 KiB text: {len(sys.argv) - 1} rounds ===")
print(f"{'round':>5} {'SEALWRIT ms':>12} {'empty C ms':>11} {'ratio':>6}   (medians; min in brackets)")
ratios = []
for i, path in enumerate(sys.argv[1:], 1):
    r = {x["command"]: x for x in json.load(open(path))["results"]}
    ours, floor = r["SEALWRIT"], r["empty C program"]
    ratios.append(ours["median"] / floor["median"])
    print(f"{i:5d} {ours['median'] * 1e3:6.3f} ({ours['min'] * 1e3:.3f})"
          f" {floor['median'] * 1e3:5.3f} ({floor['min'] * 1e3:.3f}) {ratios[-1]:6.3f}")
print(f"median ratio SEALWRIT / empty C program: {statistics.median(ratios):.3f}")
EOF
