// One CRijnDael object under fuzzer-chosen key and block lengths (valid and not),
// key, data and claimed lengths, on every cipher path this machine has.
//
// Every buffer is a heap allocation of exactly the size the call may use, so an
// access outside it is an AddressSanitizer report. A refused SetKey must print its
// one message and leave the object byte for byte as it was. A keyed object must
// undo its own Encrypt and EncryptBlock, give OpenSSL's AES for 16-byte blocks and
// libmcrypt's Rijndael for wider ones, and every path must give the same answers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CRijnDael.h"
#include "FuzzSupport.h"
#include "McryptOracle.h"
#include "OpensslOracle.h"
#include "TestSupport.h"

namespace {

bool IsRijndaelLength(int bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

// What the fuzzer's bytes ask for.
struct CipherCase {
    bool preKeyed;  // keyed once, validly, before the call under test
    int preKeyLength;
    int preBlockSize;
    Bytes preKey;

    bool nullKey;
    int keyLength;
    int blockSize;
    Bytes key;  // max(keyLength, 0) bytes

    int claimedLength;  // the n passed to Encrypt and Decrypt
    bool nullSource;
    bool nullResult;
    char fill;  // what result buffers hold before a call
    Bytes data;
};

CipherCase ReadCase(const std::uint8_t* bytes, std::size_t size) {
    FuzzInput input(bytes, size);
    CipherCase c;
    const std::uint8_t flags = input.Byte();
    c.preKeyed = flags & 0x01;
    // Null pointers take two bits each so that most runs exercise real buffers.
    c.nullKey = (flags & 0x06) == 0x06;
    c.nullSource = (flags & 0x18) == 0x18;
    c.nullResult = (flags & 0x60) == 0x60;
    const bool claimNonPositive = flags & 0x80;

    const std::uint8_t geometry = input.Byte();
    c.preKeyLength = 16 + 8 * (geometry % 3);
    c.preBlockSize = 16 + 8 * (geometry / 3 % 3);
    if (c.preKeyed) c.preKey = input.TakePadded(std::size_t(c.preKeyLength));

    c.keyLength = PickLength(input.Byte());
    c.blockSize = PickLength(input.Byte());
    c.key = input.TakePadded(c.keyLength > 0 ? std::size_t(c.keyLength) : 0);

    const std::uint8_t claim = input.Byte();
    c.fill = char(input.Byte());
    c.data = input.Rest();
    c.claimedLength = claimNonPositive ? PickNonPositiveLength(claim) : int(c.data.size());
    return c;
}

// What one path produced, for comparison with the other paths.
struct Outcome {
    std::vector<DWORD> schedule;
    Bytes encrypted, decrypted, blockEncrypted, blockDecrypted;
};

// Keys the object as the case asks and checks what SetKey printed and left.
KeyState ApplyKeys(ZeroedArray<CRijnDael>& object, const CipherCase& c) {
    CRijnDael& cipher = object[0];
    KeyState state;
    CheckAccessors(cipher, state, "the object");
    if (c.preKeyed) {
        HeapBuffer preKey(c.preKey);
        cipher.SetKey(preKey.data(), c.preKeyLength, c.preBlockSize);
        FUZZ_CHECK(TakeStdout().empty(), "a valid SetKey printed");
        state = KeyState{true, c.preKeyLength, c.preBlockSize, c.preKey};
        CheckAccessors(cipher, state, "the object");
    }

    const Bytes before = object.Representation();
    HeapBuffer key(c.key);
    cipher.SetKey(c.nullKey ? nullptr : key.data(), c.keyLength, c.blockSize);
    const std::string printed = TakeStdout();

    // The checks run in a fixed order and only the first failure is told.
    const std::string expected = c.nullKey                        ? "Error: Empth key\n"
                                 : !IsRijndaelLength(c.keyLength) ? "Error: Incorrect key length\n"
                                 : !IsRijndaelLength(c.blockSize)
                                     ? "Error: Incorrect block length\n"
                                     : "";
    FUZZ_CHECK(printed == expected, "SetKey(" + std::string(c.nullKey ? "null" : ToHex(c.key)) +
                                        ", " + std::to_string(c.keyLength) + ", " +
                                        std::to_string(c.blockSize) + ") printed \"" + printed +
                                        "\", expected \"" + expected + "\"");
    if (expected.empty()) {
        state = KeyState{true, c.keyLength, c.blockSize, c.key};
    } else {
        FUZZ_CHECK(object.Representation() == before,
                   "a refused SetKey(" + std::to_string(c.keyLength) + ", " +
                       std::to_string(c.blockSize) + ") changed the object");
    }
    CheckAccessors(cipher, state, "the object");
    return state;
}

// Encrypt or Decrypt with the case's own pointers and claimed length, into a buffer
// that starts as the case's fill; returns that buffer.
Bytes RunAsClaimed(const CRijnDael& cipher, bool encrypt, const CipherCase& c) {
    HeapBuffer source(c.data), result(c.data.size(), c.fill);
    Crypt(encrypt, cipher, c.nullSource ? nullptr : source.data(),
          c.nullResult ? nullptr : result.data(), c.claimedLength);
    return result.contents();
}

void CheckUnkeyed(CRijnDael& cipher, const CipherCase& c) {
    for (bool encrypt : {true, false}) {
        const Bytes result = RunAsClaimed(cipher, encrypt, c);
        FUZZ_CHECK(TakeStdout() == kNotInitialized, "an unkeyed buffer operation did not say so");
        FUZZ_CHECK(AllBytesAre(result, c.fill), "an unkeyed buffer operation wrote to its result");

        // GetBlockSize() is 0, so these buffers are empty and must stay untouched.
        HeapBuffer block(0), blockResult(0);
        CryptBlock(encrypt, cipher, block.data(), blockResult.data());
        FUZZ_CHECK(TakeStdout() == kNotInitialized, "an unkeyed block operation did not say so");
    }
}

// Encrypt or Decrypt of data, out of place, into a buffer that starts as fill.
Bytes RunBuffer(const CRijnDael& cipher, bool encrypt, const Bytes& data, char fill) {
    HeapBuffer source(data), result(data.size(), fill);
    Crypt(encrypt, cipher, source.data(), result.data(), int(data.size()));
    FUZZ_CHECK(source.contents() == data, "Encrypt or Decrypt changed its source");
    return result.contents();
}

Bytes RunBufferInPlace(const CRijnDael& cipher, bool encrypt, const Bytes& data) {
    HeapBuffer buffer(data);
    Crypt(encrypt, cipher, buffer.data(), buffer.data(), int(data.size()));
    return buffer.contents();
}

void CheckBufferOperations(const CRijnDael& cipher, const KeyState& state, const CipherCase& c,
                           Outcome& outcome) {
    const Bytes& data = c.data;
    // Built only when a check fails: describing costs more than checking.
    const auto what = [&] {
        return Describe(state) + ", " + std::to_string(c.claimedLength) + "-byte claim on data " +
               ToHex(data);
    };
    if (c.claimedLength <= 0 || c.nullSource || c.nullResult) {
        for (bool encrypt : {true, false}) {
            FUZZ_CHECK(AllBytesAre(RunAsClaimed(cipher, encrypt, c), c.fill),
                       "a call with nothing to do wrote: " + what());
        }
        FUZZ_CHECK(TakeStdout().empty(), "a call with nothing to do printed: " + what());
        return;
    }

    const Bytes encrypted = RunBuffer(cipher, true, data, c.fill);
    const Bytes decrypted = RunBuffer(cipher, false, data, c.fill);
    const std::size_t whole = data.size() / 16 * 16;
    for (const Bytes* result : {&encrypted, &decrypted}) {
        FUZZ_CHECK(Bytes(result->begin() + whole, result->end()) ==
                       Bytes(data.begin() + whole, data.end()),
                   "the tail was not copied unchanged: " + what());
    }
    // Encrypt and Decrypt take 16-byte steps whatever the block size, so they are
    // AES only for 16-byte blocks; for the others the paths are compared instead.
    if (state.blockSize == 16) {
        FUZZ_CHECK(encrypted == OpensslEcb(true, state.key, data),
                   "Encrypt gave " + ToHex(encrypted) + ", not OpenSSL's: " + what());
        FUZZ_CHECK(decrypted == OpensslEcb(false, state.key, data),
                   "Decrypt gave " + ToHex(decrypted) + ", not OpenSSL's: " + what());
    }
    FUZZ_CHECK(RunBuffer(cipher, false, encrypted, char(~c.fill)) == data,
               "Decrypt did not undo Encrypt: " + what());
    FUZZ_CHECK(RunBuffer(cipher, true, decrypted, char(~c.fill)) == data,
               "Encrypt did not undo Decrypt: " + what());
    FUZZ_CHECK(RunBufferInPlace(cipher, true, data) == encrypted,
               "Encrypt in place differs: " + what());
    FUZZ_CHECK(RunBufferInPlace(cipher, false, data) == decrypted,
               "Decrypt in place differs: " + what());
    FUZZ_CHECK(TakeStdout().empty(), "a keyed Encrypt or Decrypt printed: " + what());
    outcome.encrypted = encrypted;
    outcome.decrypted = decrypted;
}

Bytes RunBlock(CRijnDael& cipher, bool encrypt, const Bytes& block, char fill) {
    HeapBuffer source(block), result(block.size(), fill);
    CryptBlock(encrypt, cipher, source.data(), result.data());
    FUZZ_CHECK(source.contents() == block, "EncryptBlock or DecryptBlock changed its source");
    return result.contents();
}

Bytes RunBlockInPlace(CRijnDael& cipher, bool encrypt, const Bytes& block) {
    HeapBuffer buffer(block);
    CryptBlock(encrypt, cipher, buffer.data(), buffer.data());
    return buffer.contents();
}

Bytes OracleBlock(bool encrypt, const KeyState& state, const Bytes& block) {
    return state.blockSize == 16 ? OpensslEcb(encrypt, state.key, block)
                                 : McryptRijndaelEcb(encrypt, state.blockSize, state.key, block);
}

void CheckBlockOperations(CRijnDael& cipher, const KeyState& state, const CipherCase& c,
                          Outcome& outcome) {
    // The first block of the data, zero-filled when the data is shorter.
    Bytes block(c.data.begin(),
                c.data.begin() + std::min(c.data.size(), std::size_t(state.blockSize)));
    block.resize(std::size_t(state.blockSize), '\0');
    const auto what = [&] { return Describe(state) + ", block " + ToHex(block); };

    const Bytes encrypted = RunBlock(cipher, true, block, c.fill);
    const Bytes decrypted = RunBlock(cipher, false, block, c.fill);
    FUZZ_CHECK(encrypted == OracleBlock(true, state, block),
               "EncryptBlock gave " + ToHex(encrypted) + ": " + what());
    FUZZ_CHECK(decrypted == OracleBlock(false, state, block),
               "DecryptBlock gave " + ToHex(decrypted) + ": " + what());
    FUZZ_CHECK(RunBlock(cipher, false, encrypted, char(~c.fill)) == block,
               "DecryptBlock did not undo EncryptBlock: " + what());
    FUZZ_CHECK(RunBlockInPlace(cipher, true, block) == encrypted,
               "EncryptBlock in place differs: " + what());
    FUZZ_CHECK(RunBlockInPlace(cipher, false, block) == decrypted,
               "DecryptBlock in place differs: " + what());
    FUZZ_CHECK(TakeStdout().empty(), "a keyed EncryptBlock or DecryptBlock printed: " + what());
    outcome.blockEncrypted = encrypted;
    outcome.blockDecrypted = decrypted;
}

Outcome RunCase(const CipherCase& c) {
    TakeStdout();  // whatever an earlier failure left behind is not this case's
    ZeroedArray<CRijnDael> object(1);
    CRijnDael& cipher = object[0];
    const KeyState state = ApplyKeys(object, c);
    Outcome outcome;
    outcome.schedule = CRijnDaelInspector::Schedule(cipher);
    if (!state.keyed) {
        CheckUnkeyed(cipher, c);
        return outcome;
    }
    CheckBufferOperations(cipher, state, c, outcome);
    CheckBlockOperations(cipher, state, c, outcome);
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<CipherPath> paths = AvailablePaths();
    const CipherCase c = ReadCase(data, size);
    Outcome first;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScopedPath use(paths[i]);
        const Outcome outcome = RunCase(c);
        if (i == 0) {
            first = outcome;
            continue;
        }
        const std::string against = " on path " + paths[i].name + " and " + paths[0].name;
        FUZZ_CHECK(outcome.schedule == first.schedule, "the key schedules differ" + against);
        FUZZ_CHECK(outcome.encrypted == first.encrypted, "Encrypt differs" + against);
        FUZZ_CHECK(outcome.decrypted == first.decrypted, "Decrypt differs" + against);
        FUZZ_CHECK(outcome.blockEncrypted == first.blockEncrypted,
                   "EncryptBlock differs" + against);
        FUZZ_CHECK(outcome.blockDecrypted == first.blockDecrypted,
                   "DecryptBlock differs" + against);
    }
    return 0;
}
