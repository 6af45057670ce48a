// The switch that lets tests and benchmarks run each back end in turn. Built into a
// library of its own that only they link, so that no program using the installed
// library can change the cipher it runs.
#include "AesBackend.h"

namespace sealwrit::detail {

void SelectAesBackendForTesting(const AesBackend* backend) {
    g_activeAesBackend.store(backend, std::memory_order_release);
}

}  // namespace sealwrit::detail
