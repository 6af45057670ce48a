// The instruction sets the implementations' files may be compiled for, one bit each, and
// the set the compiler was allowed to use in the file that includes this header.
//
// An implementation is offered only where the CPU and its operating system offer every
// instruction set that any of its files was compiled for. The set is read from the
// compiler's own predefined macros, so it follows the flags (and whatever they
// imply: -mavx512vbmi brings AVX-512BW with it) rather than a hand-written list
// that could miss one.
#ifndef SEALWRIT_CPU_FEATURES_H
#define SEALWRIT_CPU_FEATURES_H

namespace sealwrit::detail {

enum CpuFeature : unsigned {
    kSse2 = 1u << 0,
    kSse3 = 1u << 1,
    kSsse3 = 1u << 2,
    kSse41 = 1u << 3,
    kSse42 = 1u << 4,
    kPopcnt = 1u << 5,
    kAesNi = 1u << 6,
    kAvx = 1u << 7,
    kAvx2 = 1u << 8,
    kVaes = 1u << 9,
    kAvx512f = 1u << 10,
    kAvx512vl = 1u << 11,
    kAvx512bw = 1u << 12,
    kAvx512vbmi = 1u << 13,
    kArmAes = 1u << 14,
    kArmSha2 = 1u << 15,
};

// What this translation unit was compiled for. A namespace-scope constexpr has
// internal linkage, so each file gets its own value without breaking the
// one-definition rule. The bits cover every instruction set our implementations' flags
// turn on (-mavx also sets __XSAVE__, but the compiler emits XSAVE only for its
// intrinsics, which nothing here calls). Flags a builder adds to the whole build,
// such as -march, bind the dispatcher too, which runs before any check can.
constexpr unsigned kCompiledCpuFeatures = 0u
#ifdef __SSE2__
                                          | kSse2
#endif
#ifdef __SSE3__
                                          | kSse3
#endif
#ifdef __SSSE3__
                                          | kSsse3
#endif
#ifdef __SSE4_1__
                                          | kSse41
#endif
#ifdef __SSE4_2__
                                          | kSse42
#endif
#ifdef __POPCNT__
                                          | kPopcnt
#endif
#ifdef __AES__
                                          | kAesNi
#endif
#ifdef __AVX__
                                          | kAvx
#endif
#ifdef __AVX2__
                                          | kAvx2
#endif
#ifdef __VAES__
                                          | kVaes
#endif
#ifdef __AVX512F__
                                          | kAvx512f
#endif
#ifdef __AVX512VL__
                                          | kAvx512vl
#endif
#ifdef __AVX512BW__
                                          | kAvx512bw
#endif
#ifdef __AVX512VBMI__
                                          | kAvx512vbmi
#endif
#ifdef __ARM_FEATURE_AES
                                          | kArmAes
#endif
#ifdef __ARM_FEATURE_SHA2
                                          | kArmSha2
#endif
    ;

}  // namespace sealwrit::detail

#endif
