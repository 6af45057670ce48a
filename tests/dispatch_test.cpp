// The choice of back end: each one is offered exactly when the compiler's own CPU
// query says the instructions are there, and the default is the widest of them.
// Without this, a detection slip would quietly drop the hardware paths from every
// other test.
#include <gtest/gtest.h>

#include "TestSupport.h"

#if defined(__aarch64__) && defined(__linux__)
#include <sys/auxv.h>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
TEST(Dispatch, OffersExactlyTheBackEndsTheCpuHas) {
    __builtin_cpu_init();
    const bool aes = __builtin_cpu_supports("aes");
    const bool vaes = __builtin_cpu_supports("vaes");
    const bool aesni = aes && __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
    EXPECT_EQ(GetAesniBackend() != nullptr, aesni);
    EXPECT_EQ(GetVaes256Backend() != nullptr, aesni && vaes && __builtin_cpu_supports("avx2"));
    EXPECT_EQ(GetVaes512Backend() != nullptr, aesni && vaes && __builtin_cpu_supports("avx512f") &&
                                                  __builtin_cpu_supports("avx512vl") &&
                                                  __builtin_cpu_supports("avx512vbmi"));
}
#elif defined(__aarch64__) && defined(__linux__)
// The CPU's own ID register (Linux lets user space read it where HWCAP_CPUID says so),
// whose AES field is bits 7-4, against the kernel's summary the dispatcher reads.
TEST(Dispatch, OffersTheArmBackEndExactlyWhenTheCpuHasAes) {
    if ((getauxval(AT_HWCAP) & HWCAP_CPUID) == 0) GTEST_SKIP() << "ID registers unreadable";
    unsigned long isar0 = 0;
    __asm__("mrs %0, ID_AA64ISAR0_EL1" : "=r"(isar0));
    EXPECT_EQ(GetArmv8Backend() != nullptr, ((isar0 >> 4) & 0xF) != 0);
}
#endif

TEST(Dispatch, DefaultIsTheWidestBackEndAvailable) {
    const std::vector<CipherPath> paths = AvailablePaths();
    EXPECT_EQ(ActiveAesBackend(), paths.back().backend) << "expected " << paths.back().name;
}

}  // namespace
