// The dispatcher's choices: which implementations a CPU is offered, from the
// instruction sets it has, and the table and the paths built from them. Needs no
// other library, so the cross builds run it too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "../_lib/backends/AesTuning.h"
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
        EXPECT_EQ(int(AesOperationsFor(DetectedCpuFeatures()).family[op]), best)
            << kOperationNames[op];
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

// The model's tuning, for CPUs this machine is not: each identity with the instruction
// sets that CPU has, and the family every operation must then take, in the order of
// kOperationNames (blocks, wide_blocks, wide_block, multikey, key_schedule,
// feedback, counter, wide_feedback).
#if defined(__x86_64__) || defined(__i386__)
constexpr unsigned kAvx2Vaes = (kVaes << 1) - 1;  // AVX2 and VAES
constexpr unsigned kAvx512NoVaes = ((kAvx512vbmi << 1) - 1) & ~kVaes & ~kAvx512vbmi;
constexpr unsigned kEverything = (kAvx512vbmi << 1) - 1;
constexpr AesFamily kN = kAesniFamily, kA = kAesniAvxFamily, kV = kVbmiFamily, k2 = kVaes256Family,
                    k5 = kVaes512Family;
constexpr AesFamily kWideNoAvx512[] = {k2, k2, kA, k2, kN, k2, k2, kA};
constexpr AesFamily kInOrder[] = {k5, k5, kV, k5, kN, k5, k5, kV};
struct Model {
    const char* name;
    CpuIdentity cpu;
    unsigned features;
    const AesFamily* expected;
};
constexpr AesFamily kNoVaes[] = {kA, kA, kA, kN, kN, kA, kA, kA};
const Model kModels[] = {
    {"Ice Lake-SP", {kIntelVendor, 6, 0x6A}, kEverything, kWideNoAvx512},
    {"Tiger Lake", {kIntelVendor, 6, 0x8C}, kEverything, kWideNoAvx512},
    {"Cascade Lake", {kIntelVendor, 6, 0x55}, kAvx512NoVaes, kNoVaes},
    {"Sapphire Rapids", {kIntelVendor, 6, 0x8F}, kEverything, kInOrder},
    {"unknown Intel model", {kIntelVendor, 6, 0x6B}, kEverything, kInOrder},
    {"Ice Lake's numbers from another vendor", {kOtherVendor, 6, 0x6A}, kEverything, kInOrder},
    {"Zen 3", {kAmdVendor, 0x19, 0x21}, kAvx2Vaes, kWideNoAvx512},
    {"Zen 4", {kAmdVendor, 0x19, 0x11}, kEverything, kInOrder},
    {"Zen 5", {kAmdVendor, 0x1A, 0x44}, kEverything, kInOrder},
};

TEST(Dispatch, EachCpuModelGetsWhatItsTuningPromises) {
    for (const Model& model : kModels) {
        const AesOperations table = AesOperationsFor(model.features, TunedChoice(model.cpu));
        for (unsigned op = 0; op < kOperationCount; ++op) {
            EXPECT_STREQ(kFamilyNames[table.family[op]], kFamilyNames[model.expected[op]])
                << model.name << ", " << kOperationNames[op];
        }
    }
}

// Linux reads the same cpuid fields and prints them in decimal.
TEST(Dispatch, ReadsTheCpusVendorFamilyAndModelAsLinuxDoes) {
    std::ifstream info("/proc/cpuinfo");
    std::string line, vendor;
    long family = -1, model = -1;
    while (std::getline(info, line) && model < 0) {
        const std::string value = line.substr(line.find(':') + 1);
        if (line.rfind("vendor_id", 0) == 0) vendor = value.substr(value.find_first_not_of(' '));
        if (line.rfind("cpu family", 0) == 0) family = std::strtol(value.c_str(), nullptr, 10);
        if (line.rfind("model\t", 0) == 0) model = std::strtol(value.c_str(), nullptr, 10);
    }
    if (model < 0) GTEST_SKIP() << "no /proc/cpuinfo to compare with";
    const CpuIdentity cpu = DetectedCpuIdentity();
    EXPECT_EQ(cpu.vendor, vendor == "GenuineIntel"   ? kIntelVendor
                          : vendor == "AuthenticAMD" ? kAmdVendor
                                                     : kOtherVendor);
    EXPECT_EQ(long(cpu.family), family);
    EXPECT_EQ(long(cpu.model), model);
}
#endif

TEST(Dispatch, OverrideCapsOrLeavesOutFamiliesAndIgnoresWhatItDoesNotUnderstand) {
    const FamilySet kUntouched = 0xDEAD;
    const struct {
        const char* value;
        FamilySet allowed;  // kUntouched: not understood
    } kCases[] = {
        {"aesni", FamiliesUpTo(kAesniFamily)},
        {"portable", FamilyBit(kPortableFamily)},
        {"-vaes512", kEveryFamily & ~FamilyBit(kVaes512Family)},
        {"vaes256,-vbmi,-vperm",
         FamiliesUpTo(kVaes256Family) & ~FamilyBit(kVbmiFamily) & ~FamilyBit(kVpermFamily)},
        {"VAES512,aesni_AVX", FamiliesUpTo(kAesniAvxFamily)},
        {nullptr, kUntouched},
        {"", kUntouched},
        {"vaes1024", kUntouched},
        {"aesni,", kUntouched},
        {",aesni", kUntouched},
        {"aesni,-bogus", kUntouched},
        {"-portable", kUntouched},
        {"-", kUntouched},
        {" aesni", kUntouched},
        {"aesn", kUntouched},
        {"aesni_avx2", kUntouched},
    };
    for (const auto& c : kCases) {
        FamilySet allowed = kUntouched;
        EXPECT_EQ(ParseFamilyOverride(c.value, &allowed), c.allowed != kUntouched)
            << (c.value ? c.value : "(unset)");
        EXPECT_EQ(allowed, c.allowed) << (c.value ? c.value : "(unset)");
    }
    // An override understood stands in for the model's tuning, which comes back when
    // the override is not understood.
    const CpuIdentity iceLake{kIntelVendor, 6, 0x6A};
    const AesChoice tuned = TunedChoice(iceLake), wide = ChoiceFor(iceLake, "vaes512"),
                    ignored = ChoiceFor(iceLake, "vaes512x");
    for (unsigned op = 0; op < kOperationCount; ++op) {
        EXPECT_EQ(wide.allowed[op], kEveryFamily & FamiliesUpTo(kVaes512Family));
        EXPECT_EQ(ignored.allowed[op], tuned.allowed[op]);
        EXPECT_EQ(tuned.allowed[op] & FamilyBit(kVaes512Family), 0u);
    }
}

// What the dispatcher installed follows the override in this process's environment
// (tests/CMakeLists.txt runs this with values understood and not), or the tuning.
TEST(Dispatch, TheTableFollowsTheOverrideInTheEnvironment) {
    const char* value = std::getenv(kOverrideVariable);
    const AesOperations expected =
        AesOperationsFor(DetectedCpuFeatures(), ChoiceFor(DetectedCpuIdentity(), value));
    for (unsigned op = 0; op < kOperationCount; ++op) {
        EXPECT_EQ(ChosenAesOperations().family[op], expected.family[op])
            << kOperationNames[op] << " with " << (value ? value : "no override");
    }
}

}  // namespace
