// What tests and benchmarks need to run each implementation of each operation:
// the paths this machine offers, and a switch between them. Defined in
// AesTestHooks.cpp, which only the tests and benchmarks link: the installed library
// has no switch that changes the cipher.
#ifndef SEALWRIT_AES_TEST_HOOKS_H
#define SEALWRIT_AES_TEST_HOOKS_H

#include "AesOperations.h"

namespace sealwrit::detail {

// A whole table, every operation at its best up to one family.
struct AesPath {
    const char* name;  // the family's
    AesOperations operations;
};
typedef FixedList<AesPath, kFamilyCount + 1> AesPathList;

// One path for each family that has an implementation this CPU runs, narrowest
// first. Every implementation that runs here is in the path of its own family, so
// running every path runs each of them. The last path is the table CRijnDael
// chooses: the widest family's, or when this CPU's tuning or the override chose
// otherwise, that table under the name "default".
AesPathList AvailableAesPaths();

// Makes CRijnDael use `operations`, which must stay alive while it is in use. Not for
// use while another thread encrypts.
void SelectAesOperationsForTesting(const AesOperations* operations);

}  // namespace sealwrit::detail

#endif
