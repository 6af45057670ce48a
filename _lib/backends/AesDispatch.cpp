// What runs each operation: every implementation compiled in, the instruction sets
// each needs, and the table CRijnDael uses, filled once per process with the best of
// each that this CPU and its operating system run. Compiled for the baseline CPU:
// this is the code that runs before anything is known.
#include <atomic>
#include <cstdlib>

#include "AesGenericModes.h"
#include "AesImplementations.h"
#include "AesOperations.h"
#include "AesTuning.h"
#include "CpuFeatures.h"

#if defined(SEALWRIT_X86_AES)
#include <cpuid.h>
#endif

#if defined(SEALWRIT_ARM64_AES) && defined(__linux__)
#include <sys/auxv.h>
#endif

namespace sealwrit::detail {

namespace {

#if defined(SEALWRIT_X86_AES)
// The register state the operating system saves on a context switch (XCR0); wide
// registers it does not save must not be used even when the CPU has them.
unsigned long long SavedRegisterState() {
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}

unsigned Bit(unsigned reg, int bit, unsigned feature) { return (reg >> bit) & 1u ? feature : 0u; }

// Family and model as leaf 1's signature gives them: the extended fields count only
// beside base family 15 (both) and 6 (the model's).
CpuIdentity IdentityOf(unsigned vendorWord, unsigned signature) {
    const unsigned base = (signature >> 8) & 0xF;
    CpuIdentity cpu{vendorWord == signature_INTEL_ebx ? kIntelVendor
                    : vendorWord == signature_AMD_ebx ? kAmdVendor
                                                      : kOtherVendor,
                    base, (signature >> 4) & 0xF};
    if (base == 0xF) cpu.family += (signature >> 20) & 0xFF;
    if (base == 0xF || base == 6) cpu.model |= ((signature >> 16) & 0xF) << 4;
    return cpu;
}

// The vendor comes from the same leaf 0 that says how many leaves there are: each
// cpuid is a trip out of a virtual machine, dearer than the rest of this put together.
unsigned DetectFeatures(CpuIdentity* cpu) {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0, vendorWord = 0;
    const unsigned leaves = __get_cpuid_max(0, &vendorWord);
    if (leaves < 1) return 0;
    __cpuid(1, eax, ebx, ecx, edx);
    *cpu = IdentityOf(vendorWord, eax);
    unsigned f = Bit(edx, 26, kSse2) | Bit(ecx, 0, kSse3) | Bit(ecx, 9, kSsse3) |
                 Bit(ecx, 19, kSse41) | Bit(ecx, 20, kSse42) | Bit(ecx, 23, kPopcnt) |
                 Bit(ecx, 25, kAesNi);
    const bool osxsave = (ecx >> 27) & 1u;
    const unsigned long long xcr0 = osxsave ? SavedRegisterState() : 0;
    const bool ymmSaved = (xcr0 & 0x06) == 0x06;  // SSE and AVX state
    const bool zmmSaved = (xcr0 & 0xE6) == 0xE6;  // plus opmask and the upper ZMM
    if (ymmSaved) f |= Bit(ecx, 28, kAvx);
    if (leaves < 7) return f;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if (ymmSaved) f |= Bit(ebx, 5, kAvx2) | Bit(ecx, 9, kVaes);
    if (zmmSaved) {
        f |= Bit(ebx, 16, kAvx512f) | Bit(ebx, 30, kAvx512bw) | Bit(ebx, 31, kAvx512vl) |
             Bit(ecx, 1, kAvx512vbmi);
    }
    return f;
}
#elif defined(SEALWRIT_ARM64_AES)
// Asked of the operating system, which sets HWCAP_AES and HWCAP_SHA2 only when the
// CPU has the instructions and user space may run them. Systems whose query is not
// written here run NEON without the AES instructions.
unsigned DetectFeatures(CpuIdentity*) {
#if defined(__linux__)
    const unsigned long hwcap = getauxval(AT_HWCAP);
    return ((hwcap & HWCAP_AES) != 0 ? kArmAes : 0u) | ((hwcap & HWCAP_SHA2) != 0 ? kArmSha2 : 0u);
#else
    return 0;
#endif
}
#else
unsigned DetectFeatures(CpuIdentity*) { return 0; }
#endif

#if defined(SEALWRIT_X86_AES)
constexpr bool kX86 = true, kArm64 = false;
#elif defined(SEALWRIT_ARM64_AES)
constexpr bool kX86 = false, kArm64 = true;
#else
constexpr bool kX86 = false, kArm64 = false;
#endif
constexpr bool kPermutes = kX86 || kArm64;  // a byte shuffle in every such CPU's vector unit

// An implementation is a pair of functions, whose type says which operation it is.
constexpr AesOperation OperationOf(BlocksOp*) { return kBlocksOp; }
constexpr AesOperation OperationOf(WideBlocksOp*) { return kWideBlocksOp; }
constexpr AesOperation OperationOf(WideBlockOp*) { return kWideBlockOp; }
constexpr AesOperation OperationOf(MultiKeyOp*) { return kMultiKeyOp; }
constexpr AesOperation OperationOf(KeyStepOp*) { return kKeyScheduleOp; }
constexpr AesOperation OperationOf(FeedbackOp*) { return kFeedbackOp; }
constexpr AesOperation OperationOf(CounterOp*) { return kCounterOp; }
constexpr AesOperation OperationOf(WideFeedbackOp*) { return kWideFeedbackOp; }

void Install(AesOperations& table, BlocksOp* encrypt, BlocksOp* decrypt) {
    table.encrypt_blocks = encrypt;
    table.decrypt_blocks = decrypt;
}
void Install(AesOperations& table, WideBlocksOp* encrypt, WideBlocksOp* decrypt) {
    table.encrypt_wide_blocks = encrypt;
    table.decrypt_wide_blocks = decrypt;
}
void Install(AesOperations& table, WideBlockOp* encrypt, WideBlockOp* decrypt) {
    table.encrypt_wide_block = encrypt;
    table.decrypt_wide_block = decrypt;
}
void Install(AesOperations& table, MultiKeyOp* encrypt, MultiKeyOp* decrypt) {
    table.encrypt_multikey = encrypt;
    table.decrypt_multikey = decrypt;
}
void Install(AesOperations& table, KeyStepOp* subWord, KeyStepOp* invMixColumn) {
    table.sub_word = subWord;
    table.inv_mix_column = invMixColumn;
}
void Install(AesOperations& table, FeedbackOp* encrypt, FeedbackOp* decrypt) {
    table.encrypt_feedback = encrypt;
    table.decrypt_feedback = decrypt;
}
void Install(AesOperations& table, CounterOp* counter, CounterOp*) { table.counter = counter; }
void Install(AesOperations& table, WideFeedbackOp* encrypt, WideFeedbackOp*) {
    table.encrypt_wide_feedback = encrypt;
}

// Every implementation compiled in, operation by operation in order of preference
// (that of their families), each with the instruction sets of every file it runs
// code from: adding or dropping an implementation is a line here. Lines for another
// CPU are discarded at compile time and name nothing the linker must find.
template <class Visit>
void ForEachImplementation(Visit visit) {
    // 16-byte blocks. The VAES loops hand AES-NI the blocks that fill no register.
    visit(kPortableFamily, 0u, &PortableEncryptBlocks, &PortableDecryptBlocks);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures, &VpermEncryptBlocks, &VpermDecryptBlocks);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiFeatures, &AesniEncryptBlocks, &AesniDecryptBlocks);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxFeatures, &AesniAvxEncryptBlocks, &AesniAvxDecryptBlocks);
    if constexpr (kX86)
        visit(kVaes256Family, kVaes256Features | kAesNiFeatures, &Vaes256EncryptBlocks,
              &Vaes256DecryptBlocks);
    if constexpr (kX86)
        visit(kVaes512Family, kVaes512Features | kAesNiFeatures, &Vaes512EncryptBlocks,
              &Vaes512DecryptBlocks);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &Armv8EncryptBlocks, &Armv8DecryptBlocks);

    // Whole buffers of 24- or 32-byte blocks.
    visit(kPortableFamily, 0u, &PortableEncryptWideBlocks, &PortableDecryptWideBlocks);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures, &VpermEncryptWideBlocks,
              &VpermDecryptWideBlocks);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiWideFeatures, &AesniEncryptWideBlocks, &AesniDecryptWideBlocks);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxWideFeatures, &AesniAvxEncryptWideBlocks,
              &AesniAvxDecryptWideBlocks);
    if constexpr (kX86)
        visit(kVbmiFamily, kVbmiWideFeatures, &VbmiEncryptWideBlocks, &VbmiDecryptWideBlocks);
    if constexpr (kX86)
        visit(kVaes256Family, kVaes256WideFeatures, &Vaes256EncryptWideBlocks,
              &Vaes256DecryptWideBlocks);
    if constexpr (kX86)
        visit(kVaes512Family, kVaes512WideFeatures, &Vaes512EncryptWideBlocks,
              &Vaes512DecryptWideBlocks);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &Armv8EncryptWideBlocks, &Armv8DecryptWideBlocks);

    // A lone 24- or 32-byte block.
    visit(kPortableFamily, 0u, &PortableEncryptWideBlock, &PortableDecryptWideBlock);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures, &VpermEncryptWideBlock, &VpermDecryptWideBlock);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiWideFeatures, &AesniEncryptWideBlock, &AesniDecryptWideBlock);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxWideFeatures, &AesniAvxEncryptWideBlock,
              &AesniAvxDecryptWideBlock);
    if constexpr (kX86)
        visit(kVbmiFamily, kVbmiWideFeatures, &VbmiEncryptWideBlock, &VbmiDecryptWideBlock);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &Armv8EncryptWideBlock, &Armv8DecryptWideBlock);

    // The multi-key walk. The VAES walks hand AES-NI's the objects that come round too
    // seldom to keep their keys in registers, and the blocks that fill no register.
    visit(kPortableFamily, 0u, &PortableEncryptMultiKey, &PortableDecryptMultiKey);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiFeatures, &AesniEncryptMultiKey, &AesniDecryptMultiKey);
    if constexpr (kX86)
        visit(kVaes256Family, kVaes256Features | kAesNiFeatures, &Vaes256EncryptMultiKey,
              &Vaes256DecryptMultiKey);
    if constexpr (kX86)
        visit(kVaes512Family, kVaes512Features | kAesNiFeatures, &Vaes512EncryptMultiKey,
              &Vaes512DecryptMultiKey);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &Armv8EncryptMultiKey, &Armv8DecryptMultiKey);

    // The key schedule's S-box and InvMixColumns.
    visit(kPortableFamily, 0u, &PortableSubWord, &PortableInvMixColumn);
    if constexpr (kX86) visit(kAesniFamily, kAesNiFeatures, &AesniSubWord, &AesniInvMixColumn);
    if constexpr (kArm64) visit(kArmv8Family, kArmv8Features, &Armv8SubWord, &Armv8InvMixColumn);

    // The chaining modes on 16-byte blocks: the message's encrypting direction, a block
    // at a time, and its decrypting one, many in flight. The VAES loops hand AES-NI's
    // the encrypting direction, which no wide register speeds, and the blocks that fill
    // no register.
    visit(kPortableFamily, 0u, &GenericEncryptFeedback<PortableEncryptBlocks>,
          &GenericDecryptFeedback<PortableEncryptBlocks, PortableDecryptBlocks>);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures, &GenericEncryptFeedback<VpermEncryptBlocks>,
              &GenericDecryptFeedback<VpermEncryptBlocks, VpermDecryptBlocks>);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiFeatures, &AesniEncryptFeedback, &AesniDecryptFeedback);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxFeatures, &AesniAvxEncryptFeedback,
              &AesniAvxDecryptFeedback);
    if constexpr (kX86)
        visit(kVaes256Family, kVaes256Features | kAesNiFeatures, &AesniEncryptFeedback,
              &Vaes256DecryptFeedback);
    if constexpr (kX86)
        visit(kVaes512Family, kVaes512Features | kAesNiFeatures, &AesniEncryptFeedback,
              &Vaes512DecryptFeedback);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &GenericEncryptFeedback<Armv8EncryptBlocks>,
              &GenericDecryptFeedback<Armv8EncryptBlocks, Armv8DecryptBlocks>);

    // The encrypting direction on 24- and 32-byte blocks, a block at a time; the VAES
    // paths take VBMI's, whose lone block is theirs too.
    visit(kPortableFamily, 0u, &GenericEncryptWideFeedback<PortableEncryptWideBlock>,
          &GenericEncryptWideFeedback<PortableEncryptWideBlock>);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures,
              &GenericEncryptWideFeedback<VpermEncryptWideBlock>,
              &GenericEncryptWideFeedback<VpermEncryptWideBlock>);
    if constexpr (kX86)
        visit(kAesniFamily, kAesNiWideFeatures, &AesniEncryptWideFeedback,
              &AesniEncryptWideFeedback);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxWideFeatures, &AesniAvxEncryptWideFeedback,
              &AesniAvxEncryptWideFeedback);
    if constexpr (kX86)
        visit(kVbmiFamily, kVbmiWideFeatures, &VbmiEncryptWideFeedback, &VbmiEncryptWideFeedback);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &GenericEncryptWideFeedback<Armv8EncryptWideBlock>,
              &GenericEncryptWideFeedback<Armv8EncryptWideBlock>);

    // The counter mode on 16-byte blocks.
    visit(kPortableFamily, 0u, &GenericCounter<PortableEncryptBlocks>,
          &GenericCounter<PortableEncryptBlocks>);
    if constexpr (kPermutes)
        visit(kVpermFamily, kVectorPermuteFeatures, &GenericCounter<VpermEncryptBlocks>,
              &GenericCounter<VpermEncryptBlocks>);
    if constexpr (kX86) visit(kAesniFamily, kAesNiFeatures, &AesniCounter, &AesniCounter);
    if constexpr (kX86)
        visit(kAesniAvxFamily, kAesNiAvxFeatures, &AesniAvxCounter, &AesniAvxCounter);
    if constexpr (kX86)
        visit(kVaes256Family, kVaes256Features | kAesNiFeatures, &Vaes256Counter, &Vaes256Counter);
    if constexpr (kX86)
        visit(kVaes512Family, kVaes512Features | kAesNiFeatures, &Vaes512Counter, &Vaes512Counter);
    if constexpr (kArm64)
        visit(kArmv8Family, kArmv8Features, &GenericCounter<Armv8EncryptBlocks>,
              &GenericCounter<Armv8EncryptBlocks>);
}

// Detected on first use and kept; threads racing to it store the same answer. Bit
// 31 says the rest is known. Plain atomics rather than function-local statics with
// initialisers: those need a guard from the C++ runtime, whose exception support
// would then be linked into the program and cost its start-up (see FixedList).
std::atomic<unsigned> g_features{0};
std::atomic<unsigned> g_identity{0};  // vendor << 24 | family << 8 | model

void Detect() {
    CpuIdentity cpu{kOtherVendor, 0, 0};
    const unsigned features = DetectFeatures(&cpu);
    g_identity.store(
        (1u << 31) | cpu.vendor << 24 | (cpu.family & 0xFFFF) << 8 | (cpu.model & 0xFF),
        std::memory_order_relaxed);
    g_features.store(features | (1u << 31), std::memory_order_relaxed);
}

}  // namespace

unsigned DetectedCpuFeatures() {
    if (g_features.load(std::memory_order_relaxed) == 0) Detect();
    return g_features.load(std::memory_order_relaxed) & ~(1u << 31);
}

CpuIdentity DetectedCpuIdentity() {
    if (g_identity.load(std::memory_order_relaxed) == 0) Detect();
    const unsigned bits = g_identity.load(std::memory_order_relaxed);
    return {CpuVendor((bits >> 24) & 0x7F), (bits >> 8) & 0xFFFF, bits & 0xFF};
}

AesImplementationList AesImplementationsFor(unsigned features) {
    AesImplementationList list;
    ForEachImplementation([&](AesFamily family, unsigned required, auto encrypt, auto) {
        if ((required & ~features) == 0) list.push_back({OperationOf(encrypt), family, required});
    });
    return list;
}

AesOperations AesOperationsFor(unsigned features, const AesChoice& choice) {
    AesOperations table{};
    ForEachImplementation([&](AesFamily family, unsigned required, auto encrypt, auto decrypt) {
        const AesOperation operation = OperationOf(encrypt);
        if ((required & ~features) != 0 || (choice.allowed[operation] & FamilyBit(family)) == 0)
            return;
        Install(table, encrypt, decrypt);
        table.family[operation] = family;
    });
    return table;
}

AesOperations AesOperationsFor(unsigned features, AesFamily highest) {
    AesChoice choice;
    for (FamilySet& allowed : choice.allowed) allowed = FamiliesUpTo(highest);
    return AesOperationsFor(features, choice);
}

// The override is read here, once, with secure_getenv: a program running with more
// privileges than its caller ignores it, as it must any setting that changes the code
// it runs. C libraries without secure_getenv get no override.
static const char* OverrideFromEnvironment() {
#if defined(__GLIBC__)
    return secure_getenv(kOverrideVariable);
#else
    return nullptr;
#endif
}

// Filled on first use. A thread that finds another filling it waits the few
// nanoseconds that takes. The table is zero-initialised storage rather than an object
// with an initialiser, so it needs no guard either.
const AesOperations& ChosenAesOperations() {
    static AesOperations chosen;
    static std::atomic<unsigned> state{0};  // 0 empty, 1 being filled, 2 filled
    unsigned empty = 0;
    if (state.compare_exchange_strong(empty, 1, std::memory_order_acquire)) {
        chosen = AesOperationsFor(DetectedCpuFeatures(),
                                  ChoiceFor(DetectedCpuIdentity(), OverrideFromEnvironment()));
        state.store(2, std::memory_order_release);
    }
    while (state.load(std::memory_order_acquire) != 2) {
    }
    return chosen;
}

std::atomic<const AesOperations*> g_activeOperations{nullptr};

const AesOperations* ChooseActiveOperations() {
    const AesOperations* chosen = &ChosenAesOperations();
    g_activeOperations.store(chosen, std::memory_order_release);
    return chosen;
}

}  // namespace sealwrit::detail
