#include "OutputFile.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

// The temporary file's directory and name, and whether it exists: the signal handler
// reads them, and may call only async-signal-safe functions.
volatile sig_atomic_t g_dir = -1;
char g_temporary[NAME_MAX + 1];
volatile sig_atomic_t g_armed = 0;

// The signals that end the process and may be caught: SIGQUIT and a file size limit's
// SIGXFSZ end it as the others do, with a core dump besides.
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};

// ".NAME.rijndael-XXXXXX": hidden beside the target, and saying whose it is, so that
// one left by SIGKILL or a crash can be told from the user's own files.
const char kTag[] = ".rijndael-";
const int kRandomLetters = 6;
// As many links as the kernel follows in one path.
const int kMaxLinks = 40;
// Locate's answer for a name that is no file's name in a directory ("dir/", "."):
// opened as it is, so that the system says what it is.
const int kAsGiven = -1;

void RemoveAndReraise(int sig) {
    if (g_armed) unlinkat(g_dir, g_temporary, 0);
    // SA_RESETHAND has put back the default action; the signal, blocked while this
    // handler runs, ends the process as soon as it returns.
    raise(sig);
}

sigset_t Signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    return set;
}

// Between creating or renaming the file and recording it, no handler may run.
class SignalsHeld {
public:
    SignalsHeld() {
        const sigset_t set = Signals();
        sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

void InstallHandlers() {
    for (int sig : kSignals) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup's SIGHUP) stays ignored.
        if (sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveAndReraise;
        action.sa_mask = Signals();
        action.sa_flags = SA_RESETHAND;
        sigaction(sig, &action, nullptr);
    }
}

// A directory to create, rename and flush in. One we may write into but not read
// still takes the rename, though it cannot be flushed.
int OpenDirectory(int at, const char* path) {
    const int fd = openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES) return fd;
    return openat(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Closes fd, a directory Locate opened, and returns result.
int Closed(int fd, int result) {
    if (fd != AT_FDCWD) close(fd);
    return result;
}

// Follows the symbolic links at the end of path, each relative one from its own
// directory, to the file they name, which need not exist: a dangling link names the
// file to create. Opens that file's directory into *dir and puts its name in name.
// Returns 0, kAsGiven, or the error.
int Locate(const char* path, int* dir, char (&name)[NAME_MAX + 1]) {
    char work[PATH_MAX];
    if (std::strlen(path) >= sizeof work) return ENAMETOOLONG;
    std::strcpy(work, path);
    int at = AT_FDCWD;
    for (int links = 0;; ++links) {
        char* const slash = std::strrchr(work, '/');
        const char* const tail = slash ? slash + 1 : work;
        if (*tail == '\0' || std::strcmp(tail, ".") == 0 || std::strcmp(tail, "..") == 0) {
            return Closed(at, kAsGiven);
        }
        if (std::strlen(tail) > NAME_MAX) return Closed(at, ENAMETOOLONG);
        if (links > kMaxLinks) return Closed(at, ELOOP);
        std::strcpy(name, tail);
        const char* head = ".";
        if (slash == work) {
            head = "/";
        } else if (slash != nullptr) {
            *slash = '\0';
            head = work;
        }
        const int next = OpenDirectory(at, head);
        const int error = errno;
        Closed(at, 0);
        if (next < 0) return error;
        at = next;
        const ssize_t n = readlinkat(at, name, work, sizeof work);
        // Not a link, or nothing there: name is the file to write.
        if (n < 0) break;
        if (std::size_t(n) == sizeof work) return Closed(at, ENAMETOOLONG);
        work[n] = '\0';
    }
    *dir = at;
    return 0;
}

// Creates g_temporary in dir, private, from the first keep bytes of name.
int CreateTemporary(int dir, const char* name, std::size_t keep) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    g_temporary[0] = '.';
    std::memcpy(g_temporary + 1, name, keep);
    std::strcpy(g_temporary + 1 + keep, kTag);
    char* const letters = g_temporary + 1 + keep + sizeof kTag - 1;
    letters[kRandomLetters] = '\0';
    // The letters need only be unlikely to be taken: O_EXCL makes it safe if they are.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t state = std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30) ^
                          (std::uint64_t(getpid()) << 40);
    for (int attempt = 0; attempt < 100; ++attempt) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        std::uint64_t bits = state >> 16;
        for (int i = 0; i < kRandomLetters; ++i, bits /= sizeof kLetters - 1)
            letters[i] = kLetters[bits % (sizeof kLetters - 1)];
        const int fd = openat(dir, g_temporary, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool OutputFile::Open(const char* path, const struct stat* in) {
    if (path == nullptr) return true;
    m_path = path;
    m_fd = -1;
    const int located = Locate(path, &m_dir, m_name);
    if (located == kAsGiven) {
        m_fd = open(path, O_WRONLY | O_CLOEXEC);
        if (m_fd < 0) Report("cannot write %s: %s", path, std::strerror(errno));
        return m_fd >= 0;
    }
    if (located != 0) {
        Report("cannot write %s: %s", path, std::strerror(located));
        return false;
    }
    struct stat existing {};
    if (fstatat(m_dir, m_name, &existing, 0) == 0) {
        if (in != nullptr && existing.st_dev == in->st_dev && existing.st_ino == in->st_ino) {
            Report("-in and -out name the same file, %s", path);
            return false;
        }
        if (!S_ISREG(existing.st_mode)) {
            m_fd = openat(m_dir, m_name, O_WRONLY | O_CLOEXEC);
            const int error = errno;
            close(m_dir);
            m_dir = -1;
            if (m_fd < 0) Report("cannot write %s: %s", path, std::strerror(error));
            return m_fd >= 0;
        }
        m_mode = existing.st_mode & 0777;
        m_replacing = true;
        m_owner = existing.st_uid;
        m_group = existing.st_gid;
    } else if (errno == ENOENT) {
        const mode_t mask = umask(0);
        umask(mask);
        m_mode = 0666 & ~mask;
    } else {
        Report("cannot write %s: %s", path, std::strerror(errno));
        return false;
    }

    // In the target's directory, so that the rename stays on one file system and so is
    // atomic; the name part shortened so that any name the directory takes fits, cut
    // where no UTF-8 character is split.
    const long max = fpathconf(m_dir, _PC_NAME_MAX);
    const std::size_t limit = max > 0 && max < NAME_MAX ? std::size_t(max) : NAME_MAX;
    const std::size_t extra = 1 + sizeof kTag - 1 + kRandomLetters;
    std::size_t keep = std::strlen(m_name);
    if (keep + extra > limit) keep = limit > extra ? limit - extra : 0;
    while (keep > 0 && (m_name[keep] & 0xC0) == 0x80) --keep;
    {
        SignalsHeld held;
        InstallHandlers();
        g_dir = m_dir;
        m_fd = CreateTemporary(m_dir, m_name, keep);
        m_temporary = m_fd >= 0;
        g_armed = m_temporary;
    }
    if (m_fd < 0) {
        Report("cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    return true;
}

bool OutputFile::Commit() {
    if (m_path == nullptr) return true;
    int error = 0;
    if (m_temporary) {
        // Only now, with the whole output there, may others read it. The old owner and
        // group are kept where we may set them (as root); the set-ID and sticky bits
        // belonged to the old content and are not.
        if (m_replacing && fchown(m_fd, m_owner, m_group) != 0 &&
            fchown(m_fd, uid_t(-1), m_group) != 0) {
            // Another's file: the new one is ours.
        }
        // A full disk or a failing device may only show when the data reaches it, and a
        // rename that reached the disk before the data could leave an empty file.
        if (fchmod(m_fd, m_mode) != 0 || fsync(m_fd) != 0) error = errno;
    }
    if (close(m_fd) != 0 && error == 0) error = errno;
    m_fd = -1;
    if (error == 0 && m_temporary) {
        SignalsHeld held;
        if (renameat(m_dir, g_temporary, m_dir, m_name) == 0) {
            m_temporary = false;
            g_armed = 0;
        } else {
            error = errno;
        }
    }
    // The rename is in the directory, which must reach the disk too, or a crash could
    // take the new file away after we said it was there. A directory opened only to
    // rename in (EBADF), or one on a file system that keeps no such order (EINVAL),
    // cannot be flushed.
    if (error == 0 && m_dir >= 0 && fsync(m_dir) != 0 && errno != EBADF && errno != EINVAL) {
        error = errno;
    }
    Discard();
    if (error == 0) return true;
    Report("cannot write %s: %s", m_path, std::strerror(error));
    return false;
}

void OutputFile::Discard() {
    if (m_path != nullptr && m_fd >= 0) close(m_fd);
    m_fd = -1;
    if (m_temporary) {
        SignalsHeld held;
        unlinkat(m_dir, g_temporary, 0);
        m_temporary = false;
        g_armed = 0;
    }
    if (m_dir >= 0) close(m_dir);
    m_dir = -1;
}

}  // namespace detail
}  // namespace sealwrit
