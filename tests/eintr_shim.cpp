// Put in front of the C library's read with LD_PRELOAD: every other call fails with
// EINTR before reading anything, as one that a signal interrupted does, so that a
// program that does not retry shows it.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

extern "C" ssize_t read(int fd, void* buffer, size_t n) {
    typedef ssize_t Read(int, void*, size_t);
    static Read* const next = reinterpret_cast<Read*>(dlsym(RTLD_NEXT, "read"));
    static thread_local bool interrupt = false;
    interrupt = !interrupt;
    if (interrupt) {
        errno = EINTR;
        return -1;
    }
    return next(fd, buffer, n);
}
