#!/usr/bin/env bash
# rijndael -records on a table column against the shell loop that runs the program once
# a record, in the same run: RECORDS (default 100 000) records of 100 bytes of text,
# Rijndael-256 in CBC mode with PKCS #7 padding and the IV in front, one Base64 value a
# line, decrypted to /dev/null. The loop opens the first LOOP (default 1 000) of them.
# Peak resident memory for a tenth of the records and for all shows that it does not
# grow with their number.
#
# Usage: bench/records.sh [PATH_TO_RIJNDAEL]     (default: build/program/rijndael)
# Environment: RUNS (default 5) runs of each, medians shown.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=$(realpath "${1:-build/program/rijndael}")
runs=${RUNS:-5} records=${RECORDS:-100000} loop=${LOOP:-1000}
[ -x "$binary" ] || { echo "records.sh: no executable at $binary" >&2; exit 1; }
scripts/install-deps.sh time

key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
cipher=(-b 32 -m cbc -ivprefix -K $key)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Lines of 100 printable characters, encrypted a line a record.
head -c $((75 * records)) /dev/urandom | base64 -w 100 >"$work/text"
"$binary" -e -records -raw "${cipher[@]}" -in "$work/text" -out "$work/column"
head -n $((records / 10)) "$work/column" >"$work/tenth"
head -n "$loop" "$work/column" >"$work/first"
cmp -s "$work/text" <("$binary" -d -records -raw "${cipher[@]}" -in "$work/column") ||
  { echo "records.sh: the records do not open again" >&2; exit 1; }

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() {  # COMMAND...: wall-clock seconds of one run
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }'
}
shell_loop() {
  while IFS= read -r line; do
    echo "$line" | "$binary" -d -a "${cipher[@]}"
  done <"$work/first"
}
peak() {  # FILE: peak RSS in KiB of opening it
  /usr/bin/time -f %M -o "$work/rss" "$binary" -d -records "${cipher[@]}" -in "$1" -out /dev/null
  cat "$work/rss"
}

for ((r = 0; r < runs; ++r)); do
  seconds "$binary" -d -records "${cipher[@]}" -in "$work/column" -out /dev/null >>"$work/records"
  seconds shell_loop >>"$work/loop"
  peak "$work/tenth" >>"$work/rss.tenth"
  peak "$work/column" >>"$work/rss.all"
done

t_records=$(median <"$work/records") t_loop=$(median <"$work/loop")
echo "CPU: $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(nproc) cores"
echo "$records records of 100 bytes, Rijndael-256-CBC, PKCS #7, IV in front, Base64; $runs runs, medians"
printf '%-34s %10s %14s\n' command seconds records/s
printf '%-34s %10.3f %14.0f\n' "rijndael -d -records" "$t_records" "$(awk -v n="$records" -v t="$t_records" 'BEGIN { print n / t }')"
printf '%-34s %10.3f %14.0f\n' "shell loop, $loop records" "$t_loop" "$(awk -v n="$loop" -v t="$t_loop" 'BEGIN { print n / t }')"
printf 'records against the loop: %.0fx its rate\n' \
  "$(awk -v n="$records" -v t="$t_records" -v m="$loop" -v u="$t_loop" 'BEGIN { print (n / t) / (m / u) }')"
printf 'peak RSS: %d KiB for %d records, %d KiB for %d\n' "$(median <"$work/rss.tenth")" \
  $((records / 10)) "$(median <"$work/rss.all")" "$records"
