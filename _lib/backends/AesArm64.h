// The 64-bit ARM AES back end, defined in AesArm64.cpp, which is compiled with the
// Cryptography Extension enabled. Only AesDispatch.cpp, compiled for the baseline
// CPU, decides whether it may run; nothing here runs code on its own.
#ifndef SEALWRIT_AES_ARM64_H
#define SEALWRIT_AES_ARM64_H

#include "AesBackend.h"

namespace sealwrit::detail {

extern const AesBackend kArmv8Backend;
extern const unsigned kArmv8Features;  // what AesArm64.cpp was compiled for

}  // namespace sealwrit::detail

#endif
