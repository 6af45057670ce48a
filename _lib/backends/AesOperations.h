// The operations CRijnDael runs on the CPU, and the table that says which
// implementation of each runs here.
//
// Round keys are given as rows of kRoundKeyRowBytes bytes in block order: the
// block's words one after another, each word's most significant byte first (the
// form the AES instructions take). Row 0 is added first; for decryption the rows are
// those of the equivalent inverse cipher, as CRijnDael keeps them in m_Kd. A 16-byte
// block reads the first 16 bytes of each row, a 24-byte block the first 24.
//
// An operation may have several implementations, each in a file compiled for the
// instruction sets it needs (portable C++, vector permutes, AES-NI in SSE or AVX
// encodings, VAES, AVX-512 VBMI, ARMv8). The dispatcher (AesDispatch.cpp) lists
// them all and fills the table once with the best of each that this CPU runs; the
// caller validates its arguments and calls through the table.
#ifndef SEALWRIT_AES_OPERATIONS_H
#define SEALWRIT_AES_OPERATIONS_H

#include <atomic>
#include <cstddef>

#include "../../_inc/Lib.h"
#include "../Feedback.h"

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

// The operations' signatures; rk holds rounds + 1 rows. Every buffer operation
// allows in == out and no other overlap: blocks in flight are read before earlier
// ones are written.
//
// Whole 16-byte blocks.
typedef void BlocksOp(const RoundKeyRow* rk, int rounds, const BYTE* in, BYTE* out,
                      std::size_t blocks);
// Whole blocks of blockBytes (24 or 32) bytes: throughput, many blocks in flight.
typedef void WideBlocksOp(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                          BYTE* out, std::size_t blocks);
// One block of blockBytes (24 or 32) bytes: latency, for a caller that needs each
// block's result before it has the next block.
typedef void WideBlockOp(const RoundKeyRow* rk, int rounds, int blockBytes, const BYTE* in,
                         BYTE* out);
// Whole 16-byte blocks, block k under the rows of object k % keys.count, every object
// with the same number of rounds.
typedef void MultiKeyOp(const RoundKeyArray& keys, int rounds, const BYTE* in, BYTE* out,
                        std::size_t blocks);
// The two key-schedule steps that would otherwise look a table up at an index the key
// decides: the S-box on each byte of a word, and InvMixColumns of one column (its first
// byte in the top bits).
typedef DWORD KeyStepOp(DWORD w);

// The chaining modes on 16-byte blocks, with the chaining value held in a register
// from one block to the next rather than stored and loaded back between calls.
// `reg` is the mode's 16-byte register: the previous cipher block (CBC, CFB) or the
// previous key stream block (OFB), read first and left as the next block needs it.
// A message's encrypting direction, one block after another: CBC and CFB encryption,
// and OFB either way; rk holds the encryption rows.
// Its decrypting direction, where every block's cipher input is known in advance and
// many run in flight: CBC decryption (rk: the decryption rows) and CFB decryption
// (rk: the encryption rows); never OFB.
typedef void FeedbackOp(const RoundKeyRow* rk, int rounds, Feedback mode, BYTE* reg,
                        const BYTE* in, BYTE* out, std::size_t blocks);
// The counter mode: out is in XORed with the encrypted counter blocks counter,
// counter + 1, ... (16 bytes, big-endian, wrapping), and counter moves on past them.
typedef void CounterOp(const RoundKeyRow* rk, int rounds, BYTE* counter, const BYTE* in,
                       BYTE* out, std::size_t blocks);

// The encrypting direction on blocks of blockBytes (24 or 32) bytes, as FeedbackOp's;
// reg holds a block.
typedef void WideFeedbackOp(const RoundKeyRow* rk, int rounds, int blockBytes, Feedback mode,
                            BYTE* reg, const BYTE* in, BYTE* out, std::size_t blocks);

enum AesOperation : unsigned {
    kBlocksOp,
    kWideBlocksOp,
    kWideBlockOp,
    kMultiKeyOp,
    kKeyScheduleOp,
    kFeedbackOp,
    kCounterOp,
    kWideFeedbackOp,
    kOperationCount
};
constexpr const char* kOperationNames[kOperationCount] = {
    "blocks",   "wide_blocks", "wide_block",   "multikey",
    "key_schedule", "feedback", "counter", "wide_feedback"};

// The families implementations come in, by the instructions they run, in the order
// the dispatcher prefers them: an operation takes the last of its implementations
// the CPU can run. A "path" (AesTestHooks.h) is every operation's best
// implementation up to one family. AES-NI with AVX-512 VBMI's byte permutation
// (vbmi) comes before VAES on 256-bit registers: its lone wide block is the fastest
// there is, but its whole buffers ran no faster than vaes256's.
enum AesFamily : unsigned {
    kPortableFamily,
    kVpermFamily,
    kAesniFamily,
    kAesniAvxFamily,
    kVbmiFamily,
    kVaes256Family,
    kVaes512Family,
    kArmv8Family,
    kFamilyCount
};
constexpr const char* kFamilyNames[kFamilyCount] = {"portable", "vperm",   "aesni",   "aesni_avx",
                                                    "vbmi",     "vaes256", "vaes512", "armv8"};

// What runs each operation; the implementation's family for each operation.
struct AesOperations {
    BlocksOp* encrypt_blocks;
    BlocksOp* decrypt_blocks;
    WideBlocksOp* encrypt_wide_blocks;
    WideBlocksOp* decrypt_wide_blocks;
    WideBlockOp* encrypt_wide_block;
    WideBlockOp* decrypt_wide_block;
    MultiKeyOp* encrypt_multikey;
    MultiKeyOp* decrypt_multikey;
    KeyStepOp* sub_word;
    KeyStepOp* inv_mix_column;
    FeedbackOp* encrypt_feedback;  // the message's directions (FeedbackOp)
    FeedbackOp* decrypt_feedback;
    CounterOp* counter;
    WideFeedbackOp* encrypt_wide_feedback;
    AesFamily family[kOperationCount];
};

// Electronic codebook over `blocks` whole blocks of blockBytes (16, 24 or 32) bytes:
// the one call a mode that runs whole buffers needs.
inline void RunEcb(const AesOperations& ops, bool decrypt, const RoundKeyRow* rk, int rounds,
                   int blockBytes, const BYTE* in, BYTE* out, std::size_t blocks) {
    if (blockBytes == 16) {
        (decrypt ? ops.decrypt_blocks : ops.encrypt_blocks)(rk, rounds, in, out, blocks);
    } else {
        (decrypt ? ops.decrypt_wide_blocks : ops.encrypt_wide_blocks)(rk, rounds, blockBytes, in,
                                                                      out, blocks);
    }
}

// One implementation of one operation, and the instruction sets (CpuFeatures.h) of
// every file it runs code from.
struct AesImplementation {
    AesOperation operation;
    AesFamily family;
    unsigned required;
};

// A short list held in place: listing allocates nothing, so the program links
// neither the C++ runtime's allocator nor its exception support, whose start-up
// work (an emergency exception pool, the malloc arena) would cost a short run of the
// program a tenth of its time.
template <class T, std::size_t kCapacity>
class FixedList {
public:
    const T* begin() const { return m_items; }
    const T* end() const { return m_items + m_count; }
    const T& back() const { return m_items[m_count - 1]; }
    std::size_t size() const { return m_count; }
    void push_back(const T& item) { m_items[m_count++] = item; }

private:
    T m_items[kCapacity] = {};
    std::size_t m_count = 0;
};
typedef FixedList<AesImplementation, 64> AesImplementationList;

// The instruction sets (CpuFeatures.h) this CPU has and its operating system lets
// a program use; detected once.
unsigned DetectedCpuFeatures();
// The implementations a CPU offering `features` runs, every operation's in order of
// preference; every one compiled in, with features ~0u.
AesImplementationList AesImplementationsFor(unsigned features);
// The table for a CPU offering `features`, each operation taking its last
// implementation from a family up to `highest`, or from the families `choice` allows
// it (AesTuning.h).
AesOperations AesOperationsFor(unsigned features, AesFamily highest = AesFamily(kFamilyCount - 1));
struct AesChoice;
AesOperations AesOperationsFor(unsigned features, const AesChoice& choice);

// The table this CPU gets: the implementations its instruction sets allow, as its
// model's tuning or the override (AesTuning.h) chooses among them; filled once.
const AesOperations& ChosenAesOperations();

// The table CRijnDael uses, the chosen one unless a test switched it. Every block call
// asks, so the question is answered inline: a call to another file would make each
// caller save registers and set up a frame around it.
extern std::atomic<const AesOperations*> g_activeOperations;
const AesOperations* ChooseActiveOperations();
inline const AesOperations& ActiveOperations() {
    const AesOperations* active = g_activeOperations.load(std::memory_order_acquire);
    return active != nullptr ? *active : *ChooseActiveOperations();
}

}  // namespace sealwrit::detail

#endif
