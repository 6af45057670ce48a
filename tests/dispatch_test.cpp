// The dispatcher's choices: which implementations a CPU is offered, from the
// instruction sets it has, and the table and the paths built from them. Needs no
// other library, so the cross builds run it too.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

#if defined(__aarch64__) && defined(__linux__)
#include <sys/auxv.h>
#endif

namespace {

std::string Name(const AesImplementation& i) {
    return std::string(kOperationNames[i.operation]) + "/" + kFamilyNames[i.family];
}

bool Offers(const AesImplementationList& list, const AesImplementation& wanted) {
    for (const AesImplementation& i : list) {
        if (i.operation == wanted.operation && i.family == wanted.family) return true;
    }
    return false;
}

// A detection slip would quietly drop the hardware implementations from every other
// test, or run an instruction the CPU lacks, so the CPU is asked again by other
// means: on x86 the compiler's own query, which answers each feature on its own
// (clang 14's does not know "vaes"); on 64-bit ARM the CPU's ID register, whose AES
// and SHA-2 fields are bits 7-4 and 15-12 (Linux lets user space read it where
// HWCAP_CPUID says so).
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
constexpr unsigned kAskable = (kAvx512vbmi << 1) - 1;
bool CanAskTheCpu() { return true; }
bool CpuSaysItHas(unsigned feature) {
    __builtin_cpu_init();
    switch (feature) {
#define SEALWRIT_ASK(bit, name) \
    case bit:                   \
        return __builtin_cpu_supports(name) != 0;
        SEALWRIT_ASK(kSse2, "sse2")
        SEALWRIT_ASK(kSse3, "sse3")
        SEALWRIT_ASK(kSsse3, "ssse3")
        SEALWRIT_ASK(kSse41, "sse4.1")
        SEALWRIT_ASK(kSse42, "sse4.2")
        SEALWRIT_ASK(kPopcnt, "popcnt")
        SEALWRIT_ASK(kAesNi, "aes")
        SEALWRIT_ASK(kAvx, "avx")
        SEALWRIT_ASK(kAvx2, "avx2")
        SEALWRIT_ASK(kVaes, "vaes")
        SEALWRIT_ASK(kAvx512f, "avx512f")
        SEALWRIT_ASK(kAvx512vl, "avx512vl")
        SEALWRIT_ASK(kAvx512bw, "avx512bw")
        SEALWRIT_ASK(kAvx512vbmi, "avx512vbmi")
#undef SEALWRIT_ASK
    }
    return false;  // not an x86 feature
}
#elif defined(__aarch64__) && defined(__linux__)
constexpr unsigned kAskable = kArmAes | kArmSha2;
bool CanAskTheCpu() { return (getauxval(AT_HWCAP) & HWCAP_CPUID) != 0; }
bool CpuSaysItHas(unsigned feature) {
    unsigned long isar0 = 0;
    __asm__("mrs %0, ID_AA64ISAR0_EL1" : "=r"(isar0));
    return (feature == kArmAes && ((isar0 >> 4) & 0xF) != 0) ||
           (feature == kArmSha2 && ((isar0 >> 12) & 0xF) != 0);
}
#else
constexpr unsigned kAskable = 0;
bool CanAskTheCpu() { return false; }
bool CpuSaysItHas(unsigned) { return false; }
#endif

bool CpuHas(unsigned required) {
    for (unsigned bit = 1; bit != 0; bit <<= 1) {
        if ((required & bit) != 0 && !CpuSaysItHas(bit)) return false;
    }
    return true;
}

TEST(Dispatch, OffersExactlyTheImplementationsWhoseInstructionsTheCpuHas) {
    if (!CanAskTheCpu()) GTEST_SKIP() << "no second way to ask this CPU what it has";
    for (unsigned bit = 1; bit <= kAskable; bit <<= 1) {
        EXPECT_EQ((DetectedCpuFeatures() & bit) != 0, CpuSaysItHas(bit)) << "bit " << bit;
    }
    const AesImplementationList offered = AesImplementationsFor(DetectedCpuFeatures());
    for (const AesImplementation& i : AesImplementationsFor(~0u)) {
        EXPECT_EQ(Offers(offered, i), CpuHas(i.required)) << Name(i);
    }
}

// A CPU, or a virtual machine, that lacks any one instruction set an implementation's
// files were built for must be neither offered it nor given it in its table: each is
// taken away in turn.
TEST(Dispatch, RefusesAnImplementationWhenAnyOneOfItsInstructionSetsIsMissing) {
    for (unsigned bit = 1; bit != 0; bit <<= 1) {
        const AesImplementationList offered = AesImplementationsFor(~bit);
        const AesOperations table = AesOperationsFor(~bit);
        for (const AesImplementation& i : AesImplementationsFor(~0u)) {
            const bool needed = (i.required & bit) != 0;
            EXPECT_EQ(Offers(offered, i), !needed) << Name(i) << " without feature bit " << bit;
            if (needed) {
                EXPECT_NE(table.family[i.operation], i.family) << Name(i);
            }
        }
    }
}

// An operation lists its implementations in the order of their families, one each,
// which lets a path stop at a family; the table takes the last one offered.
TEST(Dispatch, EachOperationTakesTheLastOfItsImplementationsOffered) {
    const AesImplementationList all = AesImplementationsFor(~0u),
                                offered = AesImplementationsFor(DetectedCpuFeatures());
    for (unsigned op = 0; op < kOperationCount; ++op) {
        int previous = -1, best = -1;
        for (const AesImplementation& i : all) {
            if (i.operation != op) continue;
            EXPECT_GT(int(i.family), previous) << Name(i);
            previous = int(i.family);
        }
        for (const AesImplementation& i : offered) best = i.operation == op ? int(i.family) : best;
        EXPECT_EQ(int(ActiveOperations().family[op]), best) << kOperationNames[op];
        EXPECT_EQ(AvailablePaths().back().operations.family[op], ActiveOperations().family[op]);
    }
}

// Every implementation offered here runs in the path of its family, and no path
// reaches past its own: running every path runs each of them. Those compiled in but
// not offered are named as not tested, so a green run claims no more than it checked.
TEST(Dispatch, EveryPathRunsItsOwnFamilysImplementations) {
    const std::vector<CipherPath> paths = AvailablePaths();
    const AesImplementationList offered = AesImplementationsFor(DetectedCpuFeatures());
    std::string untested;
    for (const AesImplementation& i : AesImplementationsFor(~0u)) {
        if (!Offers(offered, i)) {
            untested += " " + Name(i);
            continue;
        }
        bool ran = false;
        for (const CipherPath& path : paths) {
            ran = ran || (path.name == kFamilyNames[i.family] &&
                          path.operations.family[i.operation] == i.family);
        }
        EXPECT_TRUE(ran) << Name(i);
    }
    for (const CipherPath& path : paths) {
        unsigned own = 0;
        while (own < kFamilyCount && path.name != kFamilyNames[own]) ++own;
        for (unsigned op = 0; op < kOperationCount; ++op) {
            EXPECT_LE(unsigned(path.operations.family[op]), own) << path.name;
        }
    }
    if (!untested.empty()) GTEST_SKIP() << "compiled in, not run on this CPU:" << untested;
}

}  // namespace
