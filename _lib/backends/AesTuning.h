// Which families each operation may take on a given CPU model, beyond what its
// instruction sets allow: the tuning per model, and the override a user sets in the
// environment. Pure functions of what they are given, so that tests can ask what any
// CPU would get.
#ifndef SEALWRIT_AES_TUNING_H
#define SEALWRIT_AES_TUNING_H

#include "AesOperations.h"

namespace sealwrit::detail {

enum CpuVendor : unsigned { kOtherVendor, kIntelVendor, kAmdVendor };

// What cpuid says the CPU is: family and model with their extended fields added in,
// as Linux and the vendors' manuals number them (Ice Lake-SP is Intel 6, 0x6A; Zen 4
// is AMD 0x19, 0x11). Other architectures are kOtherVendor, 0, 0.
struct CpuIdentity {
    CpuVendor vendor;
    unsigned family;
    unsigned model;
};

// This CPU's, detected once (AesDispatch.cpp).
CpuIdentity DetectedCpuIdentity();

// A set of families, bit f for family f.
typedef unsigned FamilySet;
constexpr FamilySet FamilyBit(AesFamily family) { return 1u << family; }
constexpr FamilySet kEveryFamily = (1u << kFamilyCount) - 1;
constexpr FamilySet FamiliesUpTo(AesFamily highest) { return (2u << highest) - 1; }

// The families each operation may take; of those the CPU runs, it takes the last.
struct AesChoice {
    FamilySet allowed[kOperationCount];
};

// The tuning for a CPU model: every family for a model no tuning names, which is the
// order the families are listed in.
AesChoice TunedChoice(const CpuIdentity& cpu);

// The override's value (the environment variable kOverrideVariable): terms separated
// by commas, each a family's name (nothing above that family) or a name after '-'
// (that family left out). Returns false, and leaves *allowed alone, for a value it
// does not understand in full: null, empty, an unknown name, "-portable" (the
// families every CPU runs cannot go).
constexpr const char* kOverrideVariable = "SEALWRIT_CPU";
bool ParseFamilyOverride(const char* value, FamilySet* allowed);

// The choice for a CPU: an override understood stands in for the tuning, and
// otherwise the model's tuning.
AesChoice ChoiceFor(const CpuIdentity& cpu, const char* overrideValue);

}  // namespace sealwrit::detail

#endif
