#include "Spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace fs = std::filesystem;

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

namespace {

void Drain(const pollfd& p, int* fd, std::string* to) {
    char chunk[65536];
    const ssize_t n = p.revents ? read(*fd, chunk, sizeof chunk) : 1;
    if (n > 0 && p.revents) to->append(chunk, std::size_t(n));
    if (n <= 0) close(*fd), *fd = -1;
}

}  // namespace

Child::Child(const Args& command, const Args& environment) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) abort();
    signal(SIGPIPE, SIG_IGN);  // a program that quits early must not end the test
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv, envp;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data())) abort();
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]), close(out[1]), close(err[1]);
    m_in = in[1], m_out = out[0], m_err = err[0];
    fcntl(m_in, F_SETFL, O_NONBLOCK);
}

Outcome Child::Finish(const std::string& input) {
    Outcome o{-1, "", ""};
    std::size_t at = 0;
    while (m_out >= 0 || m_err >= 0) {
        if (m_in >= 0 && at == input.size()) close(m_in), m_in = -1;
        pollfd fds[3] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}, {m_in, POLLOUT, 0}};
        poll(fds, 3, -1);
        if (fds[2].revents) {
            const ssize_t n = write(m_in, input.data() + at, input.size() - at);
            if (n < 0 && errno != EAGAIN) close(m_in), m_in = -1;
            at += n > 0 ? std::size_t(n) : 0;
        }
        Drain(fds[0], &m_out, &o.out);
        Drain(fds[1], &m_err, &o.err);
    }
    if (m_in >= 0) close(m_in);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid)
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return o;
}

std::string Expect(const Outcome& o) {
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    return o.out;
}

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void Spill(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

Dir::Dir() : path(fs::temp_directory_path() / ("rijndael-test-" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directory(path);
}

Dir::~Dir() { fs::remove_all(path); }

std::set<std::string> Dir::List() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename());
    return names;
}
