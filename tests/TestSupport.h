// Helpers shared by the tests and the fuzz target: hex, vector files, random data,
// and the cipher paths this machine offers.
#ifndef SEALWRIT_TEST_SUPPORT_H
#define SEALWRIT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "../_lib/backends/AesTestHooks.h"
#include "../_lib/backends/CpuFeatures.h"
#include "CRijnDael.h"
#include "CRijnDaelMode.h"
#include "Lib.h"

using namespace sealwrit::detail;

typedef std::vector<char> Bytes;

// A buffer as the operations (AesOperations.h) take it.
inline const BYTE* Raw(const Bytes& bytes) { return reinterpret_cast<const BYTE*>(bytes.data()); }
inline BYTE* Raw(Bytes& bytes) { return reinterpret_cast<BYTE*>(bytes.data()); }

Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& bytes);
Bytes RandomBytes(std::mt19937_64& rng, std::size_t n);

// The member EncryptBlock or DecryptBlock, in place or not, and over every whole
// block of in into a fresh buffer.
inline void CryptBlock(bool encrypt, const CRijnDael& cipher, LPCSTR in, LPSTR out) {
    encrypt ? cipher.EncryptBlock(in, out) : cipher.DecryptBlock(in, out);
}
Bytes CryptBlocks(bool encrypt, const CRijnDael& cipher, const Bytes& in);

// How a message goes through CRijnDaelMode.
struct ModeShape {
    CRijnDaelMode::Mode mode;
    CRijnDaelMode::Padding padding;
    int segment;
};

// One message through CRijnDaelMode: the one-shot call (in place if asked), or with
// pieces Begin, Update on piece sizes drawn from it, Finish. Every output buffer is
// exactly as large as the call may use. *out gets what was written.
CRijnDaelMode::Result RunMode(bool decrypt, const CRijnDael& key, const ModeShape& shape,
                              const Bytes& iv, const Bytes& in, Bytes* out,
                              std::mt19937_64* pieces = nullptr, bool inPlace = false);

// plain encrypts to sealed and sealed decrypts to stripped (plain when empty), in one
// shot and in pieces, in place and not.
void ExpectModeAnswer(const CRijnDael& key, const ModeShape& shape, const Bytes& iv,
                      const Bytes& plain, const Bytes& sealed, std::mt19937_64& pieces,
                      const Bytes& stripped = {});

// Whole buffers of the cipher's blocks through the table's ECB (CipherAccess.h),
// against sealed, the encryption of plain (300 blocks), both ways: every length up to
// 40 blocks, which meets each in-flight count and register width with its
// neighbours, and 300, the long loop. Each must read only its own input (an exact
// copy, which the sanitizers guard), write nothing past its blocks, and give the same
// in place.
void CheckWholeBufferEcb(const CRijnDael& cipher, const Bytes& plain, const Bytes& sealed);
// The same for every wide block size and key size, random keys and text from rng,
// with sealed from encrypt(cipher, key, plain).
void CheckWholeWideBuffersEcb(
    std::mt19937_64& rng,
    const std::function<Bytes(const CRijnDael&, const Bytes& key, const Bytes& plain)>& encrypt);

// The fields of every line of tests/vectors/<name> that is neither blank nor a
// '#' comment.
std::vector<std::vector<std::string>> ReadVectorFile(const std::string& name);

// Every path this CPU runs (AesTestHooks.h), the portable one first and CRijnDael's
// own last: together they run every implementation of every operation here.
struct CipherPath {
    std::string name;
    AesOperations operations;
};
std::vector<CipherPath> AvailablePaths();

// Makes CRijnDael use one path for the life of the guard.
class ScopedPath {
public:
    explicit ScopedPath(const CipherPath& path) : m_previous(&ActiveOperations()) {
        SelectAesOperationsForTesting(&path.operations);
    }
    ~ScopedPath() { SelectAesOperationsForTesting(m_previous); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    const AesOperations* m_previous;
};

inline void PrintTo(const CipherPath& path, std::ostream* os) { *os << path.name; }

// A test suite run once on each path: INSTANTIATE_PATHS(Suite) after its tests.
class PathTest : public testing::TestWithParam<CipherPath> {
protected:
    void SetUp() override { m_use.reset(new ScopedPath(GetParam())); }
    void TearDown() override { m_use.reset(); }

private:
    std::unique_ptr<ScopedPath> m_use;
};

#define INSTANTIATE_PATHS(suite)                               \
    INSTANTIATE_TEST_SUITE_P(                                  \
        EveryPath, suite, testing::ValuesIn(AvailablePaths()), \
        [](const testing::TestParamInfo<CipherPath>& info) { return info.param.name; })

#endif
