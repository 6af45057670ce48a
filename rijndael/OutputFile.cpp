#include "OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

// The temporary file's name in fixed storage, and whether it exists: the signal
// handler reads them, and may call only async-signal-safe functions.
char g_temporary[PATH_MAX];
volatile sig_atomic_t g_armed = 0;
// The file that the temporary one replaces, symbolic links resolved so that the link
// stays and its target is replaced.
char g_target[PATH_MAX];

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveAndReraise(int sig) {
    if (g_armed) unlink(g_temporary);
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

}  // namespace

bool OutputFile::Open(const char* path, const struct stat* in) {
    if (path == nullptr) return true;
    m_path = path;
    m_fd = -1;
    mode_t mode = 0;
    struct stat existing {};
    if (stat(path, &existing) == 0) {
        if (in != nullptr && existing.st_dev == in->st_dev && existing.st_ino == in->st_ino) {
            Report("-in and -out name the same file, %s", path);
            return false;
        }
        if (!S_ISREG(existing.st_mode)) {
            m_fd = open(path, O_WRONLY | O_CLOEXEC);
            if (m_fd < 0) Report("cannot write %s: %s", path, std::strerror(errno));
            return m_fd >= 0;
        }
        if (realpath(path, g_target) == nullptr) {
            Report("cannot write %s: %s", path, std::strerror(errno));
            return false;
        }
        mode = existing.st_mode & 07777;
    } else if (errno == ENOENT && std::strlen(path) < sizeof g_target) {
        std::strcpy(g_target, path);
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    } else {
        Report("cannot write %s: %s", path, std::strerror(errno == ENOENT ? ENAMETOOLONG : errno));
        return false;
    }

    // ".NAME.XXXXXX" in the target's directory, so that the rename stays on one file
    // system and so is atomic.
    const char* slash = std::strrchr(g_target, '/');
    const std::size_t dir = slash ? std::size_t(slash - g_target) + 1 : 0;
    const char* base = g_target + dir;
    if (dir + 1 + std::strlen(base) + sizeof ".XXXXXX" > sizeof g_temporary) {
        Report("cannot write %s: %s", path, std::strerror(ENAMETOOLONG));
        return false;
    }
    std::memcpy(g_temporary, g_target, dir);
    g_temporary[dir] = '.';
    std::strcpy(g_temporary + dir + 1, base);
    std::strcat(g_temporary, ".XXXXXX");
    {
        SignalsHeld held;
        InstallHandlers();
        m_fd = mkostemp(g_temporary, O_CLOEXEC);
        m_temporary = m_fd >= 0;
        g_armed = m_temporary;
    }
    if (m_fd < 0) {
        Report("cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    // mkostemp makes the file private; give it the mode the target has, or the one a
    // new file gets.
    if (fchmod(m_fd, mode) != 0) {
        Report("cannot write %s: %s", path, std::strerror(errno));
        Discard();
        return false;
    }
    return true;
}

bool OutputFile::Commit() {
    if (m_path == nullptr) return true;
    // A full disk or a failing device may only show when the data reaches it, and a
    // rename that reached the disk before the data could leave an empty file.
    if ((m_temporary && fsync(m_fd) != 0) || close(m_fd) != 0) {
        const int error = errno;
        m_fd = -1;
        Discard();
        Report("cannot write %s: %s", m_path, std::strerror(error));
        return false;
    }
    m_fd = -1;
    if (!m_temporary) return true;
    int error = 0;
    {
        SignalsHeld held;
        if (std::rename(g_temporary, g_target) == 0) {
            m_temporary = false;
            g_armed = 0;
        } else {
            error = errno;
        }
    }
    if (error == 0) return true;
    Discard();
    Report("cannot write %s: %s", m_path, std::strerror(error));
    return false;
}

void OutputFile::Discard() {
    if (m_path != nullptr && m_fd >= 0) close(m_fd);
    m_fd = -1;
    if (!m_temporary) return;
    SignalsHeld held;
    unlink(g_temporary);
    m_temporary = false;
    g_armed = 0;
}

}  // namespace detail
}  // namespace sealwrit
