// SetKeys and the static EncryptBlock/DecryptBlock with fuzzer-chosen objects (some
// keyed beforehand, some for wider blocks, some not at all), key runs, counts and
// data, on every cipher path this machine has.
//
// SetKeys must answer true exactly when nKeys == nKeyLength / 16 (C++ division,
// truncating toward zero) and, with nKeys > 0, both pointers are given; a false
// answer touches nothing. The block operations are checked block by block against
// a model: block k goes to object k mod nKeys, is AES under that object's key when
// the object is keyed for 16-byte blocks and is otherwise left alone with the
// object's message; the tail is copied. Buffers are heap allocations of exactly
// the size a call may use, so AddressSanitizer sees any access beyond them.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CRijnDael.h"
#include "FuzzSupport.h"
#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

const char kBlockLength[] = "Error: Incorrect block length\n";

// The most keys a successful SetKeys is given; a matching larger count is tried
// with a null object array instead, which must be refused.
const int kMostKeys = 128;

struct MultiKeyCase {
    std::vector<KeyState> objects;  // the array handed to SetKeys, as keyed before it

    int nKeys;
    int nKeyLength;
    bool nullObjects;
    bool nullKeyRun;
    bool setKeysSucceeds;  // by the rule above
    Bytes keyRun;          // exactly the bytes SetKeys may read

    int useKeys;  // the nKeys of the block operations
    bool nullUseObjects;
    int claimedLength;
    bool nullSource;
    bool nullResult;
    char fill;
    Bytes data;
};

int PickCount(std::uint8_t choice) {
    static const int kInteresting[16] = {
        0, 1, 2, 3, 4, 5, 8, -1, -2, -16, 129, INT_MIN, INT_MAX, INT_MAX / 16, 64, kMostKeys};
    if (choice < 0x80) return kInteresting[choice % 16];
    return int(choice & 0x7f) - 16;
}

MultiKeyCase ReadCase(const std::uint8_t* bytes, std::size_t size) {
    FuzzInput input(bytes, size);
    MultiKeyCase c;
    const std::uint8_t flags = input.Byte();
    // Null pointers take two bits each so that most runs exercise real buffers.
    c.nullObjects = (flags & 0x03) == 0x03;
    c.nullKeyRun = (flags & 0x0c) == 0x0c;
    c.nullUseObjects = (flags & 0x30) == 0x30;
    const bool claimNonPositive = flags & 0x40;
    const std::uint8_t moreFlags = input.Byte();
    c.nullSource = (moreFlags & 0x03) == 0x03;
    c.nullResult = (moreFlags & 0x0c) == 0x0c;

    // Objects keyed before SetKeys runs, with keys drawn from one 32-byte pool.
    c.objects.resize(input.Byte() % 9);
    bool anyKeyed = false;
    for (KeyState& object : c.objects) {
        const std::uint8_t choice = input.Byte();
        if (choice % 4 == 0) continue;
        static const int kBlockSizes[4] = {16, 16, 24, 32};
        object.keyed = true;
        object.keyLength = 16 + 8 * (choice / 4 % 3);
        object.blockSize = kBlockSizes[choice / 12 % 4];
        anyKeyed = true;
    }
    if (anyKeyed) {
        const Bytes pool = input.TakePadded(32);
        for (std::size_t i = 0; i < c.objects.size(); ++i) {
            KeyState& object = c.objects[i];
            for (int j = 0; object.keyed && j < object.keyLength; ++j) {
                object.key.push_back(char(pool[(i + std::size_t(j)) % 32] ^ char(i)));
            }
        }
    }

    c.nKeys = PickCount(input.Byte());
    const std::uint8_t lengthChoice = input.Byte();
    if (lengthChoice < 0xc0) {
        // Near 16 * nKeys, where the truncating division decides.
        const long long nearby = 16LL * c.nKeys + (lengthChoice % 32) - 16;
        c.nKeyLength = nearby < INT_MIN ? INT_MIN : nearby > INT_MAX ? INT_MAX : int(nearby);
    } else {
        c.nKeyLength = PickLength(input.Byte());
    }
    const bool countMatches = c.nKeys == c.nKeyLength / 16;
    if (countMatches && c.nKeys > kMostKeys) c.nullObjects = true;
    c.setKeysSucceeds = countMatches && !(c.nKeys > 0 && (c.nullObjects || c.nullKeyRun));
    if (c.setKeysSucceeds && c.nKeys > 0) {
        // Only whole keys are read: bytes past the last one are ignored, so the run
        // ends there even when nKeyLength claims a few more.
        c.keyRun = input.TakePadded(16 * std::size_t(c.nKeys));
        if (std::size_t(c.nKeys) > c.objects.size()) c.objects.resize(std::size_t(c.nKeys));
    }

    const std::uint8_t useChoice = input.Byte();
    const int arraySize = int(c.objects.size());
    if (useChoice < 0x80) {
        c.useKeys = c.nKeys;
    } else {
        const int kUses[8] = {0, -1, INT_MIN, 1, 2, 3, arraySize, arraySize - 1};
        c.useKeys = kUses[useChoice % 8];
    }
    // The block operations read pKeys[0 .. nKeys-1]; the array holds no more.
    c.useKeys = std::min(c.useKeys, arraySize);

    const std::uint8_t claim = input.Byte();
    c.fill = char(input.Byte());
    c.data = input.Rest();
    c.claimedLength = claimNonPositive ? PickNonPositiveLength(claim) : int(c.data.size());
    return c;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}

// Runs SetKeys as the case asks and returns the keys the objects hold afterwards.
std::vector<KeyState> ApplyKeys(ZeroedArray<CRijnDael>& objects, const MultiKeyCase& c) {
    std::vector<KeyState> states = c.objects;
    for (std::size_t i = 0; i < states.size(); ++i) {
        if (!states[i].keyed) continue;
        HeapBuffer key(states[i].key);
        objects[i].SetKey(key.data(), states[i].keyLength, states[i].blockSize);
    }
    FUZZ_CHECK(TakeStdout().empty(), "a valid SetKey printed");

    const Bytes before = objects.Representation();
    HeapBuffer keyRun(c.keyRun);
    const bool answer =
        CRijnDael::SetKeys(c.nullObjects ? nullptr : objects.data(),
                           c.nullKeyRun ? nullptr : keyRun.data(), c.nKeys, c.nKeyLength);
    // Descriptions are built only when a check fails: they cost more than the checks.
    const auto call = [&] {
        return "SetKeys(" + std::string(c.nullObjects ? "null" : "objects") + ", " +
               (c.nullKeyRun ? "null" : ToHex(c.keyRun)) + ", " + std::to_string(c.nKeys) + ", " +
               std::to_string(c.nKeyLength) + ")";
    };
    FUZZ_CHECK(answer == c.setKeysSucceeds, call() + " answered " + (answer ? "true" : "false"));
    FUZZ_CHECK(TakeStdout().empty(), call() + " printed");

    // Objects past the keys given (all of them after a false answer) stay as they were.
    const std::size_t keyed = answer ? std::size_t(std::max(c.nKeys, 0)) : 0;
    for (std::size_t i = 0; i < keyed; ++i) {
        states[i] = KeyState{true, 16, 16, Slice(c.keyRun, 16 * i, 16 * i + 16)};
    }
    const Bytes after = objects.Representation();
    const std::size_t untouchedFrom = keyed * sizeof(CRijnDael);
    FUZZ_CHECK(
        Slice(after, untouchedFrom, after.size()) == Slice(before, untouchedFrom, before.size()),
        call() + " changed an object it was not given a key for");
    for (std::size_t i = 0; i < states.size(); ++i) CheckAccessors(objects[i], states[i], "object " + std::to_string(i));
    return states;
}

// What a static block operation should leave in its result and print.
struct Expected {
    Bytes result;
    std::string printed;
};

Expected Model(bool encrypt, const std::vector<KeyState>& states, const MultiKeyCase& c,
               const Bytes& source, char fill) {
    Expected expected{Bytes(source.size(), fill), ""};
    if (c.claimedLength <= 0 || c.nullSource || c.nullResult) return expected;
    if (c.nullUseObjects || c.useKeys < 1) {
        expected.printed = kNotInitialized;
        return expected;
    }
    const std::size_t blocks = source.size() / 16;
    const std::size_t useKeys = std::size_t(c.useKeys);
    for (std::size_t block = 0; block < blocks; ++block) {
        const KeyState& state = states[block % useKeys];
        if (!state.keyed) {
            expected.printed += kNotInitialized;
        } else if (state.blockSize != 16) {
            expected.printed += kBlockLength;
        }
    }
    // Each object's blocks go through OpenSSL together, under that object's key.
    for (std::size_t object = 0; object < std::min(useKeys, blocks); ++object) {
        const KeyState& state = states[object];
        if (!state.keyed || state.blockSize != 16) continue;
        Bytes gathered;
        for (std::size_t block = object; block < blocks; block += useKeys) {
            const Bytes one = Slice(source, 16 * block, 16 * block + 16);
            gathered.insert(gathered.end(), one.begin(), one.end());
        }
        const Bytes answered = OpensslEcb(encrypt, state.key, gathered);
        std::size_t from = 0;
        for (std::size_t block = object; block < blocks; block += useKeys, from += 16) {
            std::copy(answered.begin() + long(from), answered.begin() + long(from + 16),
                      expected.result.begin() + long(16 * block));
        }
    }
    std::copy(source.begin() + long(16 * blocks), source.end(),
              expected.result.begin() + long(16 * blocks));
    return expected;
}

Bytes RunStatic(bool encrypt, ZeroedArray<CRijnDael>& objects, const MultiKeyCase& c,
                const Bytes& source, char fill, const std::vector<KeyState>& states) {
    HeapBuffer in(source), out(source.size(), fill);
    CRijnDael* keys = c.nullUseObjects ? nullptr : objects.data();
    LPCSTR from = c.nullSource ? nullptr : in.data();
    LPSTR to = c.nullResult ? nullptr : out.data();
    if (encrypt) {
        CRijnDael::EncryptBlock(keys, c.useKeys, from, to, c.claimedLength);
    } else {
        CRijnDael::DecryptBlock(keys, c.useKeys, from, to, c.claimedLength);
    }
    const std::string printed = TakeStdout();
    Bytes result = out.contents();

    const Expected expected = Model(encrypt, states, c, source, fill);
    const auto call = [&] {
        std::string text =
            std::string(encrypt ? "EncryptBlock" : "DecryptBlock") + "(" +
            (c.nullUseObjects ? "null" : "objects") + ", " + std::to_string(c.useKeys) + ", " +
            (c.nullSource ? "null" : ToHex(source)) + ", " + (c.nullResult ? "null" : "result") +
            ", " + std::to_string(c.claimedLength) + ")";
        for (std::size_t i = 0; i < std::size_t(std::max(c.useKeys, 0)); ++i) {
            text += "\n  object " + std::to_string(i) + ": " + Describe(states[i]);
        }
        return text;
    };
    FUZZ_CHECK(in.contents() == source, call() + " changed its source");
    FUZZ_CHECK(printed == expected.printed,
               call() + " printed \"" + printed + "\", expected \"" + expected.printed + "\"");
    FUZZ_CHECK(result == expected.result,
               call() + " gave\n  " + ToHex(result) + ", expected\n  " + ToHex(expected.result));
    return result;
}

void RunCase(const MultiKeyCase& c) {
    TakeStdout();  // whatever an earlier failure left behind is not this case's
    ZeroedArray<CRijnDael> objects(c.objects.size());
    const std::vector<KeyState> states = ApplyKeys(objects, c);

    // Each call is held to the model on its own, so a call that went on from where
    // the previous one left off in the objects would fail the second time.
    const Bytes sealed = RunStatic(true, objects, c, c.data, c.fill, states);
    RunStatic(true, objects, c, c.data, c.fill, states);
    RunStatic(false, objects, c, c.data, c.fill, states);
    // Decryption undoes what encryption did: the blocks it processed come back as
    // the data and the rest are again left alone (here as the other fill).
    const char otherFill = char(~c.fill);
    const Bytes opened = RunStatic(false, objects, c, sealed, otherFill, states);
    if (c.claimedLength > 0 && !c.nullSource && !c.nullResult && !c.nullUseObjects &&
        c.useKeys >= 1) {
        for (std::size_t block = 0; block < c.data.size() / 16; ++block) {
            const KeyState& state = states[block % std::size_t(c.useKeys)];
            const Bytes expected = state.keyed && state.blockSize == 16
                                       ? Slice(c.data, 16 * block, 16 * block + 16)
                                       : Bytes(16, otherFill);
            FUZZ_CHECK(Slice(opened, 16 * block, 16 * block + 16) == expected,
                       "DecryptBlock did not undo EncryptBlock in block " + std::to_string(block));
        }
        const std::size_t whole = c.data.size() / 16 * 16;
        FUZZ_CHECK(Slice(opened, whole, opened.size()) == Slice(c.data, whole, c.data.size()),
                   "the round trip changed the tail");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<CipherPath> paths = AvailablePaths();
    const MultiKeyCase c = ReadCase(data, size);
    for (const CipherPath& path : paths) {
        ScopedPath use(path);
        RunCase(c);
    }
    return 0;
}
