#!/usr/bin/env bash
# rijndael on a large file next to `openssl enc` doing the same work in the same run:
# AES-128-CBC decryption of a 256 MiB file (PKCS #7 padding, output to /dev/null),
# the same with 32-byte blocks (which openssl enc does not have), and the peak
# resident memory of each run against rijndael's own at start-up (printing its
# version), which shows what the data costs in memory. Then Base64 input: 32 MiB of
# AES-128-CBC data in lines of 76 characters (as base64 and PHP's chunk_split write
# them) decrypted with -a beside openssl enc -d -a, and the same data in CFB.
#
# Usage: bench/tool.sh [PATH_TO_RIJNDAEL]     (default: build/program/rijndael)
# Environment: RUNS (default 7) runs of each command, taken in turn; medians shown.
# SIZE_MIB (default 256) the file's size.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/program/rijndael}
runs=${RUNS:-7}
size_mib=${SIZE_MIB:-256}
[ -x "$binary" ] || { echo "tool.sh: no executable at $binary" >&2; exit 1; }
scripts/install-deps.sh time openssl

key=000102030405060708090a0b0c0d0e0f iv=101112131415161718191a1b1c1d1e1f
iv32=$iv$iv
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c "$((size_mib << 20))" /dev/urandom >"$work/plain"
openssl enc -e -aes-128-cbc -K $key -iv $iv -in "$work/plain" -out "$work/aes"
"$binary" -e -b 32 -K $key -iv $iv32 -in "$work/plain" -out "$work/wide"

# Timing programs that disagree would compare different work.
cmp -s "$work/plain" <("$binary" -d -K $key -iv $iv -in "$work/aes") ||
  { echo "tool.sh: rijndael does not open what openssl enc wrote" >&2; exit 1; }
cmp -s "$work/plain" <(openssl enc -d -aes-128-cbc -K $key -iv $iv -in "$work/aes") ||
  { echo "tool.sh: openssl enc does not open its own file" >&2; exit 1; }

head -c 32M "$work/plain" >"$work/plain32"
openssl enc -e -aes-128-cbc -K $key -iv $iv -in "$work/plain32" | base64 -w 76 >"$work/cbc.b64"
openssl enc -e -aes-128-cfb -K $key -iv $iv -in "$work/plain32" | base64 -w 76 >"$work/cfb.b64"
cmp -s "$work/plain32" <("$binary" -d -a -m cfb -K $key -iv $iv -in "$work/cfb.b64") ||
  { echo "tool.sh: rijndael -a does not open openssl's CFB in Base64" >&2; exit 1; }

names=("rijndael -b 16" "openssl enc" "rijndael -b 32"
       "rijndael -a" "openssl enc -a" "rijndael -a -m cfb")
commands=("$binary -d -K $key -iv $iv -in $work/aes -out /dev/null"
          "openssl enc -d -aes-128-cbc -K $key -iv $iv -in $work/aes -out /dev/null"
          "$binary -d -b 32 -K $key -iv $iv32 -in $work/wide -out /dev/null"
          "$binary -d -a -K $key -iv $iv -in $work/cbc.b64 -out /dev/null"
          "openssl enc -d -a -aes-128-cbc -K $key -iv $iv -in $work/cbc.b64 -out /dev/null"
          "$binary -d -a -m cfb -K $key -iv $iv -in $work/cfb.b64 -out /dev/null")

# One run: "SECONDS PEAK_KIB". GNU time gives the peak; the shell's clock the time,
# to the microsecond.
measure() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/rss" $1
  end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }') $(cat "$work/rss")"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for ((r = 0; r < runs; ++r)); do
  for i in "${!commands[@]}"; do measure "${commands[$i]}" >>"$work/result.$i"; done
  /usr/bin/time -f %M -o "$work/rss" "$binary" -version >/dev/null
  cat "$work/rss" >>"$work/startup"
done

startup=$(median <"$work/startup")
echo "CPU: $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(nproc) cores," \
  "AES flags: $(grep -m1 -ow -E 'aes|vaes|avx2|avx512f|avx512vbmi' /proc/cpuinfo | tr '\n' ' ')"
echo "file: $size_mib MiB, $runs runs of each command in turn, medians"
echo "rijndael at start-up (-version): peak RSS $startup KiB"
printf '%-20s %9s %9s %12s %14s\n' command seconds MiB/s "peak KiB" "over start-up"
for i in "${!commands[@]}"; do
  t=$(cut -d' ' -f1 "$work/result.$i" | median)
  m=$(cut -d' ' -f2 "$work/result.$i" | median)
  mib=$size_mib
  [ "$i" -lt 3 ] || mib=32
  printf '%-20s %9.3f %9.0f %12d %14d\n' "${names[$i]}" "$t" "$(awk -v s="$mib" -v t="$t" 'BEGIN { print s / t }')" "$m" "$((m - startup))"
  times[$i]=$t
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "rijndael -b 16 against openssl enc: $(ratio "${times[1]}" "${times[0]}")x its speed"
echo "rijndael -a against openssl enc -a: $(ratio "${times[4]}" "${times[3]}")x its speed"
echo "rijndael -a -m cfb against rijndael -a (cbc): $(ratio "${times[3]}" "${times[5]}")x its speed"
