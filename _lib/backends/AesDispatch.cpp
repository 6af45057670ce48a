// Finds out which AES back ends this CPU and operating system can run, and chooses,
// once per process, the one CRijnDael uses. Compiled for the baseline CPU: this is
// the code that runs before anything is known.
#include <atomic>

#include "AesBackend.h"
#include "CpuFeatures.h"

#if defined(SEALWRIT_X86_AES)
#include <cpuid.h>

#include "AesX86Backends.h"
#endif

#if defined(SEALWRIT_ARM64_AES)
#include "AesArm64.h"
#if defined(__linux__)
#include <sys/auxv.h>
#endif
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

unsigned DetectFeatures() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    unsigned f = Bit(edx, 26, kSse2) | Bit(ecx, 0, kSse3) | Bit(ecx, 9, kSsse3) |
                 Bit(ecx, 19, kSse41) | Bit(ecx, 20, kSse42) | Bit(ecx, 23, kPopcnt) |
                 Bit(ecx, 25, kAesNi);
    const bool osxsave = (ecx >> 27) & 1u;
    const unsigned long long xcr0 = osxsave ? SavedRegisterState() : 0;
    const bool ymmSaved = (xcr0 & 0x06) == 0x06;  // SSE and AVX state
    const bool zmmSaved = (xcr0 & 0xE6) == 0xE6;  // plus opmask and the upper ZMM
    if (ymmSaved) f |= Bit(ecx, 28, kAvx);
    if (__get_cpuid_max(0, nullptr) < 7) return f;
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
// CPU has the instructions and user space may run them. Systems whose query is not written
// here run NEON without the AES instructions.
unsigned DetectFeatures() {
#if defined(__linux__)
    const unsigned long hwcap = getauxval(AT_HWCAP);
    return ((hwcap & HWCAP_AES) != 0 ? kArmAes : 0u) | ((hwcap & HWCAP_SHA2) != 0 ? kArmSha2 : 0u);
#else
    return 0;
#endif
}
#else
unsigned DetectFeatures() { return 0; }
#endif

struct Candidate {
    const AesBackend* backend;
    unsigned required;
};

// Every back end compiled in, narrowest first, each with what its files need:
// adding or dropping a back end is a line here.
template <typename Visit>
void ForEachCandidate(Visit visit) {
    visit(Candidate{&kPortableBackend, 0u});
#if defined(SEALWRIT_X86_AES) || defined(SEALWRIT_ARM64_AES)
    visit(Candidate{&kVectorPermuteBackend, kVectorPermuteFeatures});
#endif
#if defined(SEALWRIT_X86_AES)
    visit(Candidate{&kAesniBackend, kAesNiFeatures | kAesNiWideFeatures});
    visit(Candidate{&kAesniAvxBackend, kAesNiFeatures | kAesNiAvxWideFeatures});
    visit(Candidate{&kVaes256Backend, kVaes256Features | kAesNiFeatures | kAesNiAvxWideFeatures});
    visit(Candidate{&kVaes512Backend, kVaes512Features | kAesNiFeatures | kVbmiWideFeatures});
#endif
#if defined(SEALWRIT_ARM64_AES)
    visit(Candidate{&kArmv8Backend, kArmv8Features});
#endif
}

}  // namespace

// Detected on first use and kept; threads racing to it store the same answer. Bit
// 31 says the rest is known. Plain atomics rather than function-local statics:
// those need a guard from the C++ runtime, whose exception support would then be
// linked into the program and cost its start-up (see AesBackendList).
unsigned DetectedCpuFeatures() {
    static std::atomic<unsigned> known{0};
    unsigned bits = known.load(std::memory_order_relaxed);
    if (bits == 0) {
        bits = DetectFeatures() | (1u << 31);
        known.store(bits, std::memory_order_relaxed);
    }
    return bits & ~(1u << 31);
}

unsigned RequiredCpuFeatures(const AesBackend* backend) {
    unsigned required = ~0u;
    ForEachCandidate([&](const Candidate& c) {
        if (c.backend == backend) required = c.required;
    });
    return required;
}

AesBackendList AesBackendsFor(unsigned features) {
    AesBackendList list;
    ForEachCandidate([&](const Candidate& c) {
        if ((c.required & ~features) == 0) list.push_back(c.backend);
    });
    return list;
}

// Chosen on first use; threads racing to the first choice store the same answer.
std::atomic<const AesBackend*> g_activeAesBackend{nullptr};

const AesBackend* ChooseActiveAesBackend() {
    const AesBackend* active = AvailableAesBackends().back();  // the widest
    g_activeAesBackend.store(active, std::memory_order_release);
    return active;
}

}  // namespace sealwrit::detail
