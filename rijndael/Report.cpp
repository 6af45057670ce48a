#include "Report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace sealwrit {
namespace detail {

void Report(const char* format, ...) {
    char line[1024] = "rijndael: ";
    const std::size_t prefix = sizeof "rijndael: " - 1;
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line + prefix, sizeof line - prefix - 1, format, args);
    va_end(args);
    // A message cut at the buffer's end still ends its line.
    std::size_t length = prefix + (n < 0 ? 0 : std::size_t(n));
    if (length > sizeof line - 2) length = sizeof line - 2;
    line[length++] = '\n';
    (void)WriteAll(STDERR_FILENO, line, length);
}

bool WriteAll(int fd, const void* data, std::size_t n) {
    const char* at = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t written = write(fd, at, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        at += written;
        n -= std::size_t(written);
    }
    return true;
}

}  // namespace detail
}  // namespace sealwrit
