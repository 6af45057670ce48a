#include "Report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace sealwrit {
namespace detail {

void Report(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    ReportV("", format, args);
    va_end(args);
}

void ReportV(const char* prefix, const char* format, std::va_list args) {
    char line[1024];
    const int start = std::snprintf(line, sizeof line - 1, "rijndael: %s", prefix);
    const std::size_t at = start < 0 ? 0 : std::size_t(start);
    const int n =
        at < sizeof line - 1 ? std::vsnprintf(line + at, sizeof line - 1 - at, format, args) : 0;
    // A message cut at the buffer's end still ends its line.
    std::size_t length = at + (n < 0 ? 0 : std::size_t(n));
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
