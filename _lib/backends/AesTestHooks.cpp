// The paths and the switch between them for tests and benchmarks. Built into a
// library of its own that only they link, so that no program using the installed
// library can change the cipher it runs.
#include "AesTestHooks.h"

namespace sealwrit::detail {

AesPathList AvailableAesPaths() {
    const unsigned features = DetectedCpuFeatures();
    bool offered[kFamilyCount] = {};
    for (const AesImplementation& implementation : AesImplementationsFor(features)) {
        offered[implementation.family] = true;
    }
    AesPathList paths;
    for (unsigned family = 0; family < kFamilyCount; ++family) {
        if (offered[family]) {
            paths.push_back({kFamilyNames[family], AesOperationsFor(features, AesFamily(family))});
        }
    }
    const AesOperations& chosen = ChosenAesOperations();
    for (unsigned op = 0; op < kOperationCount; ++op) {
        if (chosen.family[op] != paths.back().operations.family[op]) {
            paths.push_back({"default", chosen});
            break;
        }
    }
    return paths;
}

void SelectAesOperationsForTesting(const AesOperations* operations) {
    g_activeOperations.store(operations, std::memory_order_release);
}

}  // namespace sealwrit::detail
