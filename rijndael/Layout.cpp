#include "Layout.h"

#include <cstdio>
#include <cstring>

#include "../_lib/modes/OsRandom.h"

namespace sealwrit {
namespace detail {

namespace {

// Random bytes are drawn a page at a time, so that a table of records does not make
// a system call for each of its IVs. IVs are public, so what is left needs no wipe.
unsigned char g_pool[4096];
std::size_t g_poolLeft = 0;

}  // namespace

bool FreshIv(unsigned char* iv, int blockSize) {
    const std::size_t n = std::size_t(blockSize);
    if (g_poolLeft < n) {
        if (!OsRandomBytes(g_pool, sizeof g_pool)) return false;
        g_poolLeft = sizeof g_pool;
    }
    g_poolLeft -= n;
    std::memcpy(iv, g_pool + g_poolLeft, n);
    return true;
}

void ExplainResult(CRijnDaelMode::Result result, const Options& o, std::uint64_t bytes,
                   char* message, std::size_t size) {
    const unsigned long long n = bytes;
    switch (result) {
        case CRijnDaelMode::BAD_PADDING:
            std::snprintf(message, size, "bad decrypt");
            break;
        case CRijnDaelMode::BAD_LENGTH:
            if (o.decrypt) {
                std::snprintf(message, size,
                              "%llu bytes of cipher text cannot come from mode %s with padding "
                              "%s and %d-byte blocks",
                              n, o.modeName, o.paddingName, o.blockSize);
            } else {
                std::snprintf(message, size,
                              "%llu bytes of input are not a whole number of %d-byte blocks, "
                              "as mode %s without padding needs (-p pads)",
                              n, o.blockSize, o.modeName);
            }
            break;
        case CRijnDaelMode::NO_RANDOMNESS:
            std::snprintf(message, size,
                          "iso10126 padding needs random bytes, and the system gives none");
            break;
        default:
            std::snprintf(message, size, "internal error: %s",
                          CRijnDaelMode::ResultString(result));
            break;
    }
}

}  // namespace detail
}  // namespace sealwrit
