// The interface between CRijnDael and the back ends that run its rounds: the
// portable one, which every CPU runs, and the CPU-specific AES-instruction ones.
//
// Round keys are given as rows of kRoundKeyRowBytes bytes in block order: the
// block's words one after another, each word's most significant byte first (the
// form the AES instructions take). Row 0 is added first; for decryption the rows are
// those of the equivalent inverse cipher, as CRijnDael keeps them in m_Kd. A 16-byte
// block reads the first 16 bytes of each row.
//
// A back end also offers the two key-schedule steps that would otherwise look bytes
// up in a table indexed by the key, so that keying need not leak the key through the
// cache.
//
// AvailableAesBackends() lists the back ends that this CPU and its operating system
// can run, so callers and tests can enumerate them. The portable back end is always
// there.
#ifndef SEALWRIT_AES_BACKEND_H
#define SEALWRIT_AES_BACKEND_H

#include <atomic>
#include <cstddef>

#include "../../_inc/Lib.h"

namespace sealwrit::detail {

constexpr std::size_t kRoundKeyRowBytes = 32;
typedef BYTE RoundKeyRow[kRoundKeyRowBytes];

// The round keys of the objects of a multi-key array: object i's rows start at
// first + i * stride bytes, and there are count objects.
struct RoundKeyArray {
    const BYTE* first;
    std::size_t stride;
    std::size_t count;
};

struct AesBackend {
    const char* name;
    // Whole 16-byte blocks; rk holds rounds + 1 rows. in and out may be the same
    // buffer; no other overlap.
    void (*encrypt_blocks)(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks);
    void (*decrypt_blocks)(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks);
    // One Rijndael block of blockBytes (24 or 32) bytes; in may equal out.
    void (*encrypt_wide_block)(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                               BYTE* out);
    void (*decrypt_wide_block)(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                               BYTE* out);
    // Whole 16-byte blocks, block k under the round keys of object k % keys.count,
    // every object with the same number of rounds; in may equal out, no other overlap
    // (blocks in flight are read before earlier ones are written).
    void (*encrypt_blocks_multikey)(const RoundKeyArray& keys, int rounds, const BYTE* in,
                                    BYTE* out, std::size_t blocks);
    void (*decrypt_blocks_multikey)(const RoundKeyArray& keys, int rounds, const BYTE* in,
                                    BYTE* out, std::size_t blocks);
    // The S-box applied to each byte of a word.
    DWORD (*sub_word)(DWORD w);
    // InvMixColumns of one column, its first byte in the top bits of w.
    DWORD (*inv_mix_column)(DWORD w);
};

// The software back ends' tables, each defined in its own file; the dispatcher hands
// out the vector-permute one only where the CPU can run it. The dispatcher takes
// their addresses rather than calling into their files, so that a process which
// never runs a back end never faults its code in (on a virtual machine each page
// of code first touched cost a short run some 15 us).
extern const AesBackend kPortableBackend;
extern const AesBackend kVectorPermuteBackend;
extern const unsigned kVectorPermuteFeatures;  // what its file was compiled for

// A short list of back ends, held in place: listing them allocates nothing, so the
// program links neither the C++ runtime's allocator nor its exception support, whose
// start-up work (an emergency exception pool, the malloc arena) would cost a short
// run of the program a tenth of its time.
class AesBackendList {
public:
    const AesBackend* const* begin() const { return m_items; }
    const AesBackend* const* end() const { return m_items + m_count; }
    const AesBackend* back() const { return m_items[m_count - 1]; }
    std::size_t size() const { return m_count; }
    void push_back(const AesBackend* backend) { m_items[m_count++] = backend; }

private:
    const AesBackend* m_items[8] = {};
    std::size_t m_count = 0;
};

// The instruction sets (CpuFeatures.h) this CPU has and its operating system lets
// a program use; detected once.
unsigned DetectedCpuFeatures();
// The instruction sets a back end needs: those of every file it runs code from.
unsigned RequiredCpuFeatures(const AesBackend* backend);
// The back ends a CPU offering `features` runs: the portable one first, then the
// others narrowest first. Every back end compiled in, with features ~0u.
AesBackendList AesBackendsFor(unsigned features);
// The back ends that run here.
inline AesBackendList AvailableAesBackends() { return AesBackendsFor(DetectedCpuFeatures()); }

// The back end CRijnDael uses, chosen once from what the CPU offers; never null.
// Every block call asks, so the question is answered inline: a call to another file
// would make each caller save registers and set up a frame around it.
extern std::atomic<const AesBackend*> g_activeAesBackend;
const AesBackend* ChooseActiveAesBackend();
inline const AesBackend* ActiveAesBackend() {
    const AesBackend* active = g_activeAesBackend.load(std::memory_order_acquire);
    return active != nullptr ? active : ChooseActiveAesBackend();
}

// Lets tests and benchmarks run every back end this machine has. Not for use while
// another thread encrypts. Defined in AesTestHooks.cpp, which only the tests and
// benchmarks link: the installed library has no switch that changes the cipher.
void SelectAesBackendForTesting(const AesBackend* backend);

}  // namespace sealwrit::detail

#endif
