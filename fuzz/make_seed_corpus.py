#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target to fuzz/corpus/<target>/.

Each seed is a small input laid out the way its target reads it (see ReadCase in
cipher_fuzz.cpp and multikey_fuzz.cpp), chosen to start the fuzzer at the cases
that matter: every key and block size, each refusal, the truncating key count,
null pointers and non-positive lengths. Run it again after changing a layout;
it replaces the seed files and nothing else.
"""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def pseudo_random(label, size):
    out = b""
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{label}/{counter}".encode()).digest()
        counter += 1
    return out[:size]


def write(target, name, data):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(bytes(data))


# Bytes that PickLength (FuzzSupport.cpp) turns into these lengths.
LENGTH = {16: 0, 24: 1, 32: 2, 0: 10, 15: 11, 20: 13, 33: 17, -1: 25, "INT_MIN": 30}
FIPS_KEY = bytes(range(16))
FIPS_PLAIN = bytes.fromhex("00112233445566778899aabbccddeeff")


def base64_seeds():
    for name, data in [
        ("empty", b""),
        ("one-byte", b"f"),
        ("two-bytes", b"fo"),
        ("three-bytes", b"foo"),
        ("foobar", b"foobar"),
        ("high-and-low-bits", bytes([0xFF, 0xFE, 0xFD, 0x80, 0x7F, 0x00, 0x01])),
        ("hundred-bytes", pseudo_random("base64", 100)),
    ]:
        write("base64_fuzz", name, data)


def cipher_case(flags=0, geometry=0, pre_key=b"", key_length=16, block_size=16, key=b"",
                claim=0, fill=0x5A, data=b""):
    return (bytes([flags, geometry]) + pre_key +
            bytes([LENGTH[key_length], LENGTH[block_size]]) + key + bytes([claim, fill]) + data)


def cipher_seeds():
    data = FIPS_PLAIN + pseudo_random("cipher-data", 21)
    seeds = {
        "aes128-fips-key-two-blocks-and-tail": cipher_case(key=FIPS_KEY, data=data),
        "aes192": cipher_case(key_length=24, key=pseudo_random("k24", 24), data=data),
        "aes256": cipher_case(key_length=32, key=pseudo_random("k32", 32), data=data),
        "rijndael-24-byte-block": cipher_case(block_size=24, key=FIPS_KEY,
                                              data=pseudo_random("b24", 31)),
        "rijndael-32-byte-block-32-byte-key": cipher_case(
            key_length=32, block_size=32, key=pseudo_random("k32b", 32),
            data=pseudo_random("b32", 40)),
        # Past the eight and sixteen blocks that the AES-instruction paths keep in flight.
        "aes128-seventeen-blocks-and-tail": cipher_case(
            key=pseudo_random("k17", 16), data=pseudo_random("seventeen", 16 * 17 + 5)),
        "tail-only": cipher_case(key=FIPS_KEY, data=pseudo_random("tail", 15)),
        "no-data": cipher_case(key=FIPS_KEY),
        # Refusals, on an object keyed before (24-byte key and block) or not.
        "key-length-15-on-keyed-object": cipher_case(
            flags=0x01, geometry=4, pre_key=pseudo_random("pre24", 24), key_length=15,
            key=pseudo_random("k15", 15), data=data),
        "key-length-33": cipher_case(key_length=33, key=pseudo_random("k33", 33), data=data),
        "key-length-0": cipher_case(key_length=0, data=data),
        "key-length-negative": cipher_case(key_length=-1, data=data),
        "key-length-int-min": cipher_case(key_length="INT_MIN", data=data),
        "block-size-20": cipher_case(block_size=20, key=FIPS_KEY, data=data),
        "null-key": cipher_case(flags=0x06, key=FIPS_KEY, data=data),
        # A 32/32 object keyed again for 16/16: nothing of the old schedule may show.
        "rekeyed-from-32-byte-block": cipher_case(
            flags=0x01, geometry=8, pre_key=pseudo_random("pre32", 32), key=FIPS_KEY, data=data),
        "claimed-length-int-min": cipher_case(flags=0x80, key=FIPS_KEY, claim=6, data=data),
        "claimed-length-minus-16": cipher_case(flags=0x80, key=FIPS_KEY, claim=3, data=data),
        "null-source-and-result": cipher_case(flags=0x18 | 0x60, key=FIPS_KEY, data=data),
    }
    for name, seed in seeds.items():
        write("cipher_fuzz", name, seed)


# Bytes that PickCount (multikey_fuzz.cpp) turns into these counts.
COUNT = {0: 0, 1: 1, 2: 2, 3: 3, 5: 5, 8: 6, -1: 7, "INT_MIN": 11}
# The length byte below 0xC0 gives 16 * nKeys + (byte % 32) - 16.
EXACT = 16


def multikey_case(flags=0, more_flags=0, objects=(), nkeys=1, length_byte=EXACT,
                  length_pick=None, key_run=b"", use=0x00, claim=0, fill=0x5A, data=b""):
    out = bytes([flags, more_flags, len(objects)]) + bytes(objects)
    if any(o % 4 != 0 for o in objects):
        out += pseudo_random("pool", 32)
    out += bytes([COUNT[nkeys], length_byte])
    if length_pick is not None:
        out += bytes([LENGTH[length_pick]])
    return out + key_run + bytes([use, claim, fill]) + data


def multikey_seeds():
    data = pseudo_random("multikey-data", 16 * 7 + 9)
    run3 = pseudo_random("run3", 48)
    # Object states: 0 unkeyed; 1 AES-128; 2+4*1 AES-192; 1+12*2 24-byte block.
    unkeyed, aes128, aes192, wide24 = 0, 1, 6, 25
    seeds = {
        "three-keys-in-turn": multikey_case(nkeys=3, key_run=run3, data=data),
        "one-key": multikey_case(nkeys=1, key_run=FIPS_KEY, data=data[:37]),
        "two-keys-from-47-bytes": multikey_case(nkeys=2, length_byte=EXACT + 15,
                                                key_run=run3[:32], data=data),
        "two-keys-from-31-bytes-refused": multikey_case(
            objects=(aes128, unkeyed), nkeys=2, length_byte=EXACT - 1, data=data),
        "minus-one-key-from-minus-16": multikey_case(
            objects=(aes128, aes192), nkeys=-1, length_byte=EXACT, use=0x80 + 6, data=data),
        "minus-one-key-from-minus-11-refused": multikey_case(
            objects=(aes128,), nkeys=-1, length_byte=EXACT + 5, use=0x80 + 6, data=data),
        "no-keys-from-15-bytes": multikey_case(
            objects=(aes192, wide24, unkeyed), nkeys=0, length_byte=EXACT + 15,
            use=0x80 + 6, data=data),
        "five-keys-from-32-bytes-refused": multikey_case(
            objects=(aes128, aes128), nkeys=5, length_byte=0xC0, length_pick=32,
            use=0x80 + 6, data=data),
        "int-min-keys-refused": multikey_case(nkeys="INT_MIN", length_byte=0xC0,
                                              length_pick="INT_MIN", data=data),
        "null-objects-refused": multikey_case(flags=0x03, nkeys=1, data=data),
        "null-key-run-refused": multikey_case(flags=0x0C, objects=(aes128,), nkeys=1,
                                              use=0x80 + 6, data=data),
        "null-objects-for-blocks": multikey_case(flags=0x30, nkeys=1, key_run=FIPS_KEY,
                                                 data=data),
        "no-objects-for-blocks": multikey_case(nkeys=1, key_run=FIPS_KEY, use=0x80 + 0,
                                               data=data),
        "wide-and-unkeyed-objects-skipped": multikey_case(
            objects=(aes128, wide24, unkeyed, aes192), nkeys=1, key_run=FIPS_KEY,
            use=0x80 + 6, data=data),
        "eight-keys": multikey_case(nkeys=8, key_run=pseudo_random("run8", 128),
                                    data=pseudo_random("multikey-long", 16 * 10 + 3)),
        "claimed-length-minus-one": multikey_case(flags=0x40, nkeys=1, key_run=FIPS_KEY,
                                                  claim=1, data=data),
        "null-source-and-result": multikey_case(more_flags=0x0F, nkeys=1, key_run=FIPS_KEY,
                                                data=data),
    }
    for name, seed in seeds.items():
        write("multikey_fuzz", name, seed)


if __name__ == "__main__":
    base64_seeds()
    cipher_seeds()
    multikey_seeds()
