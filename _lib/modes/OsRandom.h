// Random bytes from the operating system, for ISO 10126's filler.
#ifndef SEALWRIT_MODES_OS_RANDOM_H
#define SEALWRIT_MODES_OS_RANDOM_H

#include <cstddef>

#include "../../_inc/Lib.h"

namespace sealwrit::detail {

// Fills out with n bytes from getrandom, or where the kernel lacks it (or a sandbox
// forbids it) from /dev/urandom. Returns false, with out wiped, when neither gives
// them: nothing predictable is ever handed out as random.
bool OsRandomBytes(BYTE* out, std::size_t n);

}  // namespace sealwrit::detail

#endif
