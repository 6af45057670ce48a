#!/usr/bin/env bash
# Whole-process cost of SEALWRIT on a 1 KiB text, next to `openssl enc` doing the
# same AES-128-ECB work with Base64 output on the same bytes: wall time (hyperfine,
# no intermediate shell) and peak resident memory (GNU time).
#
# Usage: bench/process.sh [PATH_TO_SEALWRIT]     (default: build/program/SEALWRIT)
# Environment: RUNS (default 300) and WARMUP (default 30) for hyperfine; RSS_RUNS
# (default 11) for the memory measurement, of which the median is shown.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/program/SEALWRIT}
runs=${RUNS:-300}
warmup=${WARMUP:-30}
rss_runs=${RSS_RUNS:-11}

[ -x "$binary" ] || { echo "process.sh: no executable at $binary" >&2; exit 1; }
scripts/install-deps.sh hyperfine time openssl python3

# The first 16 letters of the key built into SEALWRIT ("TCYIUKRZLMXHAOUJ"), the only
# ones it uses, so that both programs produce the same cipher text.
key_hex=54435949554b525a4c4d5848414f554a

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1 KiB of text without blanks, so it passes as one argument with no shell in
# between; 64 whole blocks, so neither program pads or leaves a tail.
text=$(printf 'Attack_at_dawn,_bring_the_cipher%.0s' {1..32})
printf '%s' "$text" >"$work/text"
[ "$(wc -c <"$work/text")" -eq 1024 ]

sealwrit_cmd=("$binary" -t ENC "$text")
openssl_cmd=(openssl enc -aes-128-ecb -a -A -K "$key_hex" -nopad -in "$work/text")

# Timing two programs that disagree would compare different work.
ours=$("${sealwrit_cmd[@]}")
theirs=$("${openssl_cmd[@]}")
if [ "$ours" != "$theirs" ]; then
  echo "process.sh: SEALWRIT and openssl enc produce different cipher texts" >&2
  exit 1
fi

echo "=== wall time: $runs runs after $warmup warm-up runs each ==="
# hyperfine -N splits each command on blanks itself; the text has none.
hyperfine -N --warmup "$warmup" --runs "$runs" --export-json "$work/times.json" \
  -n SEALWRIT "${sealwrit_cmd[*]}" \
  -n "openssl enc" "${openssl_cmd[*]}"

peak_rss_kib() {
  local i
  for ((i = 0; i < rss_runs; ++i)); do
    /usr/bin/time -v "$@" 2>&1 >/dev/null | sed -n 's/^\s*Maximum resident set size (kbytes): //p'
  done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
sealwrit_rss=$(peak_rss_kib "${sealwrit_cmd[@]}")
openssl_rss=$(peak_rss_kib "${openssl_cmd[@]}")

python3 - "$work/times.json" "$sealwrit_rss" "$openssl_rss" <<'EOF'
import json, sys

results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ours, theirs = results["SEALWRIT"], results["openssl enc"]
rss = {"SEALWRIT": int(sys.argv[2]), "openssl enc": int(sys.argv[3])}

print("\n=== whole process on a 1 KiB text ===")
print(f"{'program':<12} {'mean ms':>8} {'± ms':>6} {'min ms':>7} {'median ms':>9} {'peak RSS KiB':>12}")
for name, r in (("SEALWRIT", ours), ("openssl enc", theirs)):
    print(f"{name:<12} {r['mean'] * 1e3:8.3f} {r['stddev'] * 1e3:6.3f} {r['min'] * 1e3:7.3f}"
          f" {r['median'] * 1e3:9.3f} {rss[name]:12d}")
print(f"time ratio SEALWRIT / openssl enc: mean {ours['mean'] / theirs['mean']:.3f},"
      f" median {ours['median'] / theirs['median']:.3f}")
print(f"peak RSS ratio SEALWRIT / openssl enc: {rss['SEALWRIT'] / rss['openssl enc']:.3f}")
EOF
