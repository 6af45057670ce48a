#!/usr/bin/env bash
# Builds the "bench" preset (build/bench/) and measures:
#   1. cipher_bench: CRijnDael on every cipher path this CPU has, against OpenSSL's
#      AES-128-ECB as it normally runs (with the CPU's AES instructions);
#   2. cipher_bench again with OpenSSL's AES instructions masked off, so that the
#      portable rounds meet OpenSSL's own software AES;
#   3. bench/process.sh: SEALWRIT's whole-process time and peak memory against
#      `openssl enc`;
#   4. multikey_bench: the multi-key walk on each path against its one-key rate;
#   5. wide_block_bench: member EncryptBlock/DecryptBlock on 24- and 32-byte blocks,
#      every key length and path, and whole-buffer ECB through the table on each
#      implementation, against libmcrypt's ECB;
#   6. mode_bench: CRijnDaelMode's one-shot calls on 16 KiB in each of libmcrypt's
#      modes, each block size and key length and on every path, against libmcrypt,
#      OpenSSL's AES modes and the same mode written on the member block calls;
#   7. burst_bench: the chaining modes' one-shot calls back to back, one message after
#      a millisecond of scalar work and a few after one, at 1, 16 and 128 KiB, on every
#      path, against the default path (and at 16 KiB libmcrypt and OpenSSL).
# and ends with one table of all cipher figures (medians of the repetitions).
#
# Environment: MIN_TIME (seconds per repetition, default 0.1), REPETITIONS
# (default 3) for cipher_bench, multikey_bench, mode_bench (some 550 rows) and
# burst_bench (some 1000), WIDE_REPETITIONS (default 7) for wide_block_bench; RUNS and
# WARMUP are passed on to process.sh. SEALWRIT_CPU (docs/CRijnDael.md) changes the
# default path as it does for any program.
# The JSON results stay in build/bench/results/.
#
# The machine may be running other work; timings are only as quiet as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

min_time=${MIN_TIME:-0.1}
repetitions=${REPETITIONS:-3}
wide_repetitions=${WIDE_REPETITIONS:-7}
results=build/bench/results

scripts/install-deps.sh cmake ninja-build g++ libbenchmark-dev libssl-dev libmcrypt-dev python3

stage() { printf '\n=== %s ===\n' "$*"; }

stage "build (preset bench)"
cmake --preset bench >/dev/null
cmake --build build/bench --target cipher_bench multikey_bench wide_block_bench mode_bench burst_bench SEALWRIT
mkdir -p "$results"

run_cipher_bench() {
  local out=$1
  build/bench/bench/cipher_bench \
    --benchmark_min_time="$min_time" \
    --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$out" --benchmark_out_format=json
}

stage "cipher_bench, OpenSSL as it normally runs"
run_cipher_bench "$results/cipher.json"

# Bit 57 is AES-NI and bit 33 PCLMULQDQ in OpenSSL's capability vector. On a CPU
# with SSSE3 OpenSSL then runs its vector-permutation AES, its fastest software one.
stage "cipher_bench, OpenSSL with its AES instructions masked off"
OPENSSL_ia32cap="~0x200000200000000" run_cipher_bench "$results/cipher-openssl-noaes.json"

stage "whole process"
bench/process.sh build/bench/SEALWRIT | tee "$results/process.txt"

stage "multikey_bench"
build/bench/bench/multikey_bench \
  --benchmark_min_time="$min_time" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/multikey.json" --benchmark_out_format=json >/dev/null

# libmcrypt's rows and ours are each a fraction of a second; on a busy machine the
# load drifts between them, so the repetitions are interleaved at random and the
# summary compares medians.
stage "wide_block_bench, against libmcrypt"
build/bench/bench/wide_block_bench \
  --benchmark_min_time="$min_time" \
  --benchmark_repetitions="$wide_repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/wide-blocks.json" --benchmark_out_format=json >/dev/null

stage "mode_bench, against libmcrypt, OpenSSL and the member block calls"
build/bench/bench/mode_bench \
  --benchmark_min_time="$min_time" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/modes.json" --benchmark_out_format=json >/dev/null

# Each burst_bench row times its own samples (the median of up to 41) and runs once a
# repetition, so MIN_TIME does not apply.
stage "burst_bench, back to back and after a pause"
build/bench/bench/burst_bench \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/burst.json" --benchmark_out_format=json >/dev/null

stage "summary"
python3 - "$results/cipher.json" "$results/cipher-openssl-noaes.json" <<'EOF'
import json, sys

def load(path):
    """Median rows by benchmark name, and the run's context."""
    data = json.load(open(path))
    rows = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
            continue
        rows[b["run_name"]] = b
    return rows, data["context"]

normal, context = load(sys.argv[1])
masked, _ = load(sys.argv[2])

print(f"CPU: {context.get('cpu_model', '?')} ({context.get('num_cpus')} x "
      f"{context.get('mhz_per_cpu')} MHz); {context.get('openssl_version', '')}")
print(f"CRijnDael's default path here: {context.get('default_path', '?')}")
print("MB/s = 10^6 bytes per second (median of the repetitions). A ratio is the rate divided"
      " by OpenSSL's for the\nsame operation and size in the same run: 'vs OpenSSL' as OpenSSL"
      " normally runs, 'vs no AES-NI' with\nOPENSSL_ia32cap masking its AES instructions."
      " Above 1 is faster than OpenSSL.\n")

def ratio(row):
    return f"{row['vs_openssl']:.3f}" if row and "vs_openssl" in row else "-"

header = f"{'path':<9} {'operation':<9} {'bytes':>8} {'MB/s':>9} {'vs OpenSSL':>11} {'vs no AES-NI':>13}"
print(header)
print("-" * len(header))
for name, row in normal.items():
    parts = name.split("/")
    if len(parts) != 3:
        continue
    operation, path, size = parts
    mbps = row["bytes_per_second"] / 1e6
    if path == "openssl":
        other = masked.get(name)
        note = f"{other['bytes_per_second'] / 1e6:9.1f} MB/s without AES-NI" if other else ""
        print(f"{path:<9} {operation:<9} {size:>8} {mbps:9.1f} {'1':>11} {'':>13}  {note}")
    else:
        print(f"{path:<9} {operation:<9} {size:>8} {mbps:9.1f} {ratio(row):>11} "
              f"{ratio(masked.get(name)):>13}")

print(f"\n{'path':<9} {'SetKey ns':>10} {'vs OpenSSL':>11} {'vs no AES-NI':>13}")
for name, row in normal.items():
    parts = name.split("/")
    if parts[0] != "SetKey":
        continue
    ns = 1e9 / row["items_per_second"]
    other = masked.get(name)
    extra = ""
    if parts[1] == "openssl" and other:
        extra = f"  {1e9 / other['items_per_second']:.0f} ns without AES-NI"
    print(f"{parts[1]:<9} {ns:10.0f} {ratio(row):>11} {ratio(other):>13}{extra}")
print("(SetKey builds both schedules; OpenSSL's row rekeys an encrypting and a decrypting"
      " context.)")
EOF
sed -n '/=== whole process on a 1 KiB text ===/,$p' "$results/process.txt"

echo
python3 - "$results/multikey.json" <<'PY'
import json, sys

rows = {b["run_name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median" and not b.get("error_occurred")}
counts = sorted({int(n.split("/")[2]) for n in rows if n.count("/") == 2})
print("Multi-key walk on 16 KiB: MB/s (median), and in brackets the rate over the same"
      " path's one-key\nEncrypt/Decrypt in the same run.")
print(f"{'path':<9} {'direction':<9} {'one key':>9} " + " ".join(f"{f'{n} keys':>16}" for n in counts))
for name, row in rows.items():
    if name.count("/") != 1:
        continue
    direction, path = name.split("/")
    cells = []
    for n in counts:
        multi = rows.get(f"{direction}Block/{path}/{n}")
        cells.append(f"{multi['bytes_per_second'] / 1e6:9.0f} ({multi['vs_one_key']:.2f})"
                     if multi and "vs_one_key" in multi else f"{'-':>16}")
    print(f"{path:<9} {direction:<9} {row['bytes_per_second'] / 1e6:9.0f} " + " ".join(cells))
PY

echo
python3 - "$results/wide-blocks.json" <<'PY'
import json, sys

rates = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median" and not b.get("error_occurred"):
        rates[tuple(b["run_name"].split("/"))] = b["bytes_per_second"] / 1e6
order = ("portable", "vperm", "aesni", "aesni_avx", "vbmi", "vaes256", "vaes512", "armv8")
for kind, title in (("Block", "Member block calls, one block a call over 256 blocks"),
                    ("Ecb", "Whole-buffer ECB through the table, 16 KiB in one call")):
    present = {path for (operation, path, _, _) in rates if operation.endswith(kind)}
    paths = [p for p in order if p in present]
    print(f"\n{title}, against libmcrypt's ECB over the same buffer: MB/s (median), in brackets"
          " the ratio to libmcrypt's median ('-': the path has no implementation of its own).")
    print(f"{'operation':<13} {'block':>5} {'key':>4} {'libmcrypt':>9} " +
          " ".join(f"{p:>14}" for p in paths))
    for (operation, path, block, key), reference in sorted(
            rates.items(), key=lambda item: (item[0][0][:7] != "Encrypt", int(item[0][2]), int(item[0][3]))):
        if path != "libmcrypt" or not operation.endswith(kind):
            continue
        cells = []
        for p in paths:
            rate = rates.get((operation, p, block, key))
            cells.append(f"{rate:7.0f} ({rate / reference:4.1f})" if rate else "-")
        print(f"{operation:<13} {block:>5} {key:>4} {reference:9.0f} " + " ".join(f"{c:>14}" for c in cells))
PY
echo
python3 - "$results/modes.json" <<'PY'
import json, sys

data = json.load(open(sys.argv[1]))
rates = {}
for b in data["benchmarks"]:
    if b.get("aggregate_name") == "median" and not b.get("error_occurred"):
        operation, who, mode, block, key = b["run_name"].split("/")
        rates[(operation, mode, int(block), int(key), who)] = b["bytes_per_second"] / 1e6
default = data["context"].get("default_path", "?")
order = ("portable", "vperm", "aesni", "aesni_avx", "vbmi", "vaes256", "vaes512", "armv8")
paths = [p for p in order if any(k[4] == p for k in rates)]
modes = ("ecb", "cbc", "ncfb", "cfb", "nofb", "ofb", "ctr")
cases = sorted({k[:4] for k in rates},
               key=lambda k: (k[0] != "Encrypt", modes.index(k[1]), k[2], k[3]))

def cell(rate, reference):
    return f"{rate:,.0f} ({rate / reference:.2f})".replace(",", " ") if rate and reference else "-"

print(f"CRijnDaelMode's one-shot calls on 16 KiB, default path ({default}): MB/s (median), in"
      " brackets our rate\nover that column's. 'blocks' is the mode on the member block calls."
      " libmcrypt's ncfb/nofb are the\nwhole-block CFB/OFB, cfb/ofb the 1-byte segments.\n")
print("| operation | mode | block | key | ours | vs libmcrypt | vs OpenSSL | vs blocks |")
print("|---|---|---|---|---|---|---|---|")
for case in cases:
    ours = rates.get(case + (default,))
    if not ours:
        continue
    ratios = []
    for peer in ("libmcrypt", "openssl", "blocks"):
        rate = rates.get(case + (peer,))
        ratios.append(f"{ours / rate:.2f}" if rate else "-")
    print(f"| {case[0]} | {case[1]} | {case[2]} | {case[3]} | {ours:,.0f} | ".replace(",", " ") +
          " | ".join(ratios) + " |")

print("\nEvery path, key as long as the block (16 bytes for 16-byte blocks): MB/s (median), in"
      " brackets the\nratio to OpenSSL's same mode for 16-byte blocks where it has one,"
      " otherwise to libmcrypt's.\n")
print("| operation | mode | block | " + " | ".join(paths) + " |")
print("|---|---|---|" + "---|" * len(paths))
for case in cases:
    if not any(rates.get(case + (p,)) for p in paths[:-1]):
        continue
    reference = rates.get(case + ("openssl",)) or rates.get(case + ("libmcrypt",))
    print(f"| {case[0]} | {case[1]} | {case[2]} | " +
          " | ".join(cell(rates.get(case + (p,)), reference) for p in paths) + " |")
PY
echo
python3 - "$results/burst.json" <<'PY'
import json, sys

data = json.load(open(sys.argv[1]))
rates = {}
for b in data["benchmarks"]:
    if b.get("aggregate_name", "median") == "median" and not b.get("error_occurred"):
        regime, operation, who, size = b["run_name"].split("/")[:4]
        rates[(regime, operation, int(size), who)] = b["bytes_per_second"] / 1e6
default = data["context"].get("default_path", "?")
peers = ("libmcrypt", "openssl")
titles = {"burst": "back to back", "one": "one message after 1 ms of scalar work",
          "few": "8 messages after 1 ms of scalar work"}
print(f"CRijnDaelMode's one-shot calls in bursts, default path ({default}): MB/s (median of"
      " the repetitions, each\nthe median of its samples); 'best' is the fastest path in the"
      " same regime, 'vs best' the default's\nrate over it; at 16 KiB the default's rate over"
      " libmcrypt's and OpenSSL's (AES-128) in the same regime.\n")
print("| regime | operation | bytes | default | best | vs best | vs libmcrypt | vs OpenSSL |")
print("|---|---|---|---|---|---|---|---|")
operations = [f"{name}{block}" for block in (16, 24, 32)
              for name in ("ecb", "cbcdec", "ctr", "cbcenc", "cfb1_")]
operations += sorted({key[1] for key in rates} - set(operations))
for regime in ("burst", "one", "few"):
    for operation in operations:
        for size in (1024, 16384, 131072):
            ours = rates.get((regime, operation, size, default))
            paths = {w: r for (g, o, s, w), r in rates.items()
                     if (g, o, s) == (regime, operation, size) and w not in peers}
            if not ours or not paths:
                continue
            best = max(paths, key=paths.get)
            cells = []
            for peer in peers:
                rate = rates.get((regime, operation, size, peer))
                cells.append(f"{ours / rate:.2f}" if rate else "-")
            print(f"| {titles[regime]} | {operation} | {size} | {ours:,.0f} | ".replace(",", " ") +
                  f"{best} {paths[best]:,.0f} | ".replace(",", " ") +
                  f"{ours / paths[best]:.2f} | " + " | ".join(cells) + " |")
PY
