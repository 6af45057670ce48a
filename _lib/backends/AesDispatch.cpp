// Finds out which AES back ends this CPU and operating system can run, and chooses,
// once per process, the one CRijnDael uses. Compiled for the
// baseline CPU: this is the code that runs before anything is known.
#include <atomic>
#include <initializer_list>

#include "AesBackend.h"

#if defined(SEALWRIT_X86_AES)
#include <cpuid.h>

#include "AesX86Backends.h"
#endif

#if defined(SEALWRIT_ARM64_AES)
#include <sys/auxv.h>

#include "AesArm64.h"
#endif

namespace sealwrit::detail {

namespace {

#if defined(SEALWRIT_X86_AES)
struct CpuFeatures {
    bool vperm = false;
    bool aesni = false;
    bool aesniAvx = false;
    bool vaes256 = false;
    bool vaes512 = false;
};

// The register state the operating system saves on a context switch (XCR0); wide
// registers it does not save must not be used even when the CPU has them.
unsigned long long SavedRegisterState() {
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}

CpuFeatures DetectFeatures() {
    CpuFeatures f;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    const bool sse2 = edx & (1u << 26);
    const bool ssse3 = ecx & (1u << 9);
    const bool sse41 = ecx & (1u << 19);
    const bool aes = ecx & (1u << 25);
    const bool osxsave = ecx & (1u << 27);
    const bool avx = ecx & (1u << 28);
    // The wide blocks' byte moves need SSSE3 and SSE4.1, which every CPU with AES-NI
    // has; checking costs nothing and keeps an odd emulator safe.
    f.vperm = sse2 && ssse3;
    f.aesni = sse2 && ssse3 && sse41 && aes;

    const unsigned long long xcr0 = osxsave ? SavedRegisterState() : 0;
    const bool ymmSaved = (xcr0 & 0x06) == 0x06;  // SSE and AVX state
    const bool zmmSaved = (xcr0 & 0xE6) == 0xE6;  // plus opmask and the upper ZMM
    f.aesniAvx = f.aesni && avx && ymmSaved;
    if (!f.aesniAvx || __get_cpuid_max(0, nullptr) < 7) return f;

    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    const bool avx2 = ebx & (1u << 5);
    const bool avx512f = ebx & (1u << 16);
    const bool avx512vl = ebx & (1u << 31);
    const bool avx512vbmi = ecx & (1u << 1);
    const bool vaes = ecx & (1u << 9);
    f.vaes256 = vaes && avx2;
    // Its wide blocks use VBMI's byte permutation on 128-bit registers; every CPU with
    // VAES and AVX-512F so far has both.
    f.vaes512 = vaes && avx512f && avx512vl && avx512vbmi && zmmSaved;
    return f;
}

// Detected on first use and kept; threads racing to it store the same answer.
CpuFeatures Features() {
    static std::atomic<unsigned> known{0};  // bit 0: detected; then one bit a feature
    unsigned bits = known.load(std::memory_order_relaxed);
    if (bits == 0) {
        const CpuFeatures f = DetectFeatures();
        bits = 1u | (f.aesni ? 2u : 0u) | (f.vaes256 ? 4u : 0u) | (f.vaes512 ? 8u : 0u) |
               (f.vperm ? 16u : 0u) | (f.aesniAvx ? 32u : 0u);
        known.store(bits, std::memory_order_relaxed);
    }
    CpuFeatures f;
    f.aesni = (bits & 2u) != 0;
    f.vaes256 = (bits & 4u) != 0;
    f.vaes512 = (bits & 8u) != 0;
    f.vperm = (bits & 16u) != 0;
    f.aesniAvx = (bits & 32u) != 0;
    return f;
}
#endif

}  // namespace

// Chosen on first use. Plain atomics rather than function-local statics: those need
// a guard from the C++ runtime, whose exception support would then be linked into
// the program and cost its start-up (see AesBackendList). Threads racing to the
// first choice store the same answer.
std::atomic<const AesBackend*> g_activeAesBackend{nullptr};

const AesBackend* GetPortableBackend() { return &kPortableBackend; }

const AesBackend* GetVpermBackend() {
#if defined(SEALWRIT_X86_AES)
    return Features().vperm ? &kVectorPermuteBackend : nullptr;
#elif defined(SEALWRIT_ARM64_AES)
    return &kVectorPermuteBackend;  // every 64-bit ARM CPU has NEON's TBL
#else
    return nullptr;
#endif
}

#if defined(SEALWRIT_X86_AES)
const AesBackend* GetAesniBackend() { return Features().aesni ? &kAesniBackend : nullptr; }
const AesBackend* GetAesniAvxBackend() { return Features().aesniAvx ? &kAesniAvxBackend : nullptr; }
const AesBackend* GetVaes256Backend() { return Features().vaes256 ? &kVaes256Backend : nullptr; }
const AesBackend* GetVaes512Backend() { return Features().vaes512 ? &kVaes512Backend : nullptr; }
#else
const AesBackend* GetAesniBackend() { return nullptr; }
const AesBackend* GetAesniAvxBackend() { return nullptr; }
const AesBackend* GetVaes256Backend() { return nullptr; }
const AesBackend* GetVaes512Backend() { return nullptr; }
#endif

#if defined(SEALWRIT_ARM64_AES)
// The kernel sets HWCAP_AES only when the CPU has the instructions and user space
// may run them.
const AesBackend* GetArmv8Backend() {
    return (getauxval(AT_HWCAP) & HWCAP_AES) != 0 ? &kArmv8Backend : nullptr;
}
#else
const AesBackend* GetArmv8Backend() { return nullptr; }
#endif

AesBackendList AvailableAesBackends() {
    AesBackendList available;
    for (const AesBackend* b :
         {GetPortableBackend(), GetVpermBackend(), GetAesniBackend(), GetAesniAvxBackend(),
          GetVaes256Backend(), GetVaes512Backend(), GetArmv8Backend()}) {
        if (b != nullptr) available.push_back(b);
    }
    return available;
}

const AesBackend* ChooseActiveAesBackend() {
    const AesBackend* active = AvailableAesBackends().back();  // the widest
    g_activeAesBackend.store(active, std::memory_order_release);
    return active;
}

}  // namespace sealwrit::detail
