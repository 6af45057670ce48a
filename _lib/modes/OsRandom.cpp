// The operating system's random bytes: getrandom, then /dev/urandom.
#include "OsRandom.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sealwrit::detail {

namespace {

// Short reads and interrupted calls are retried; any other failure gives up.
template <class Read>
bool ReadFully(BYTE* out, std::size_t n, Read read) {
    for (std::size_t got = 0; got < n;) {
        const ssize_t r = read(out + got, n - got);
        if (r > 0) {
            got += std::size_t(r);
        } else if (r == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool FromUrandom(BYTE* out, std::size_t n) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ReadFully(out, n, [fd](BYTE* p, std::size_t k) { return read(fd, p, k); });
    close(fd);
    return ok;
}

}  // namespace

bool OsRandomBytes(BYTE* out, std::size_t n) {
    // Flags 0: blocks only until the kernel's pool has first been seeded, so what
    // comes back is never a predictable early-boot value.
    if (ReadFully(out, n, [](BYTE* p, std::size_t k) { return getrandom(p, k, 0); }) ||
        FromUrandom(out, n)) {
        return true;
    }
    std::memset(out, 0, n);
    return false;
}

}  // namespace sealwrit::detail
