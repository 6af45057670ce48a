// The tuning per CPU model and the override. The families' order (AesOperations.h)
// was measured on AMD, where each family outruns the one before it in every way a
// program uses the cipher; some Intel models run wide registers well only once they
// are warm, and there a model's tuning leaves families out.
#include "AesTuning.h"

namespace sealwrit::detail {

namespace {

// Families a model's tuning leaves out: of every operation, and also of the serial
// wide ones (a lone 24- or 32-byte block, and the encrypting directions of the modes
// built on it), whose speed is one block's latency.
struct Tuning {
    FamilySet everywhere;
    FamilySet serialWide;
};

// The Intel cores on which Linux prefers 256-bit vectors to 512-bit ones (its
// X86_FEATURE_PREFER_YMM): their upper vector lanes sleep after about a millisecond
// without wide instructions, wake slowly, and 512-bit code lowers the clock of the
// code around it. Measured on an Ice Lake-SP (family 6, model 0x6A; 2 cores under
// KVM): a few 16 KiB messages after a millisecond of other work ran Rijndael-256 ECB
// at 1 332 MB/s on 512-bit registers, 4 461 on 256-bit ones and 3 602 on AES-NI, and
// 256-bit registers kept 0.83 of 512-bit's speed on 128 KiB back to back, so wide
// buffers go to 256-bit VAES (docs/speed.md says why not AES-NI). The lone wide block
// ran faster on AES-NI than on VBMI's byte permutation (Rijndael-256 CBC encryption
// 949 against 639 MB/s, Rijndael-192 921 against 764).
constexpr Tuning kPreferYmm = {FamilyBit(kVaes512Family), FamilyBit(kVbmiFamily)};
// Every family in order: measured so on Zen 4 (family 0x19, model 0x11) and Zen 5
// (family 0x1A), docs/speed.md; Zen 3 (0x19) has no 512-bit registers to leave out.
constexpr Tuning kInOrder = {0, 0};

struct ModelTuning {
    CpuVendor vendor;
    unsigned family;
    unsigned model;  // kAnyModel: the whole family
    Tuning tuning;
};
constexpr unsigned kAnyModel = ~0u;

constexpr ModelTuning kTunings[] = {
    // Linux's list, models of family 6.
    {kIntelVendor, 6, 0x55, kPreferYmm},      // Skylake-SP, Cascade Lake, Cooper Lake
    {kIntelVendor, 6, 0x6A, kPreferYmm},      // Ice Lake-SP: Linux's list and measured
    {kIntelVendor, 6, 0x6C, kPreferYmm},      // Ice Lake-D
    {kIntelVendor, 6, 0x7D, kPreferYmm},      // Ice Lake client
    {kIntelVendor, 6, 0x7E, kPreferYmm},      // Ice Lake client
    {kIntelVendor, 6, 0x9D, kPreferYmm},      // Ice Lake NNP-I
    {kIntelVendor, 6, 0x8C, kPreferYmm},      // Tiger Lake
    {kIntelVendor, 6, 0x8D, kPreferYmm},      // Tiger Lake
    {kAmdVendor, 0x19, kAnyModel, kInOrder},  // Zen 3, Zen 4
    {kAmdVendor, 0x1A, kAnyModel, kInOrder},  // Zen 5
};

bool IsSerialWide(unsigned operation) {
    return operation == kWideBlockOp || operation == kWideFeedbackOp;
}

// ASCII letters compared without their case.
bool SameName(const char* name, const char* text, const char* end) {
    for (; text != end; ++name, ++text) {
        const char a = *text >= 'A' && *text <= 'Z' ? char(*text - 'A' + 'a') : *text;
        if (*name != a) return false;
    }
    return *name == '\0';
}

}  // namespace

AesChoice TunedChoice(const CpuIdentity& cpu) {
    Tuning tuning = kInOrder;
    for (const ModelTuning& entry : kTunings) {
        if (entry.vendor == cpu.vendor && entry.family == cpu.family &&
            (entry.model == kAnyModel || entry.model == cpu.model)) {
            tuning = entry.tuning;
        }
    }
    AesChoice choice;
    for (unsigned op = 0; op < kOperationCount; ++op) {
        choice.allowed[op] =
            kEveryFamily & ~tuning.everywhere & ~(IsSerialWide(op) ? tuning.serialWide : 0u);
    }
    return choice;
}

bool ParseFamilyOverride(const char* value, FamilySet* allowed) {
    if (value == nullptr || *value == '\0') return false;
    FamilySet families = kEveryFamily;
    for (const char* term = value;; ++term) {
        const char* end = term;
        while (*end != '\0' && *end != ',') ++end;
        const bool leaveOut = *term == '-';
        unsigned named = 0;
        while (named < kFamilyCount && !SameName(kFamilyNames[named], term + leaveOut, end)) {
            ++named;
        }
        if (named == kFamilyCount || (leaveOut && named == kPortableFamily)) return false;
        families &= leaveOut ? ~FamilyBit(AesFamily(named)) : FamiliesUpTo(AesFamily(named));
        if (*end == '\0') break;
        term = end;
    }
    *allowed = families;
    return true;
}

AesChoice ChoiceFor(const CpuIdentity& cpu, const char* overrideValue) {
    FamilySet families = 0;
    if (!ParseFamilyOverride(overrideValue, &families)) return TunedChoice(cpu);
    AesChoice choice;
    for (FamilySet& allowed : choice.allowed) allowed = families;
    return choice;
}

}  // namespace sealwrit::detail
