// SEALWRIT as its users run it: the built program, its exact output and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Oracles.h"

extern char** environ;

namespace {

const char kUsage[] = "COMMAND: SEALWRIT -t ENC TEXT\n";
const char kWriteFailed[] = "Error: Cannot write the output\n";

// Where standard output goes: a pipe the test reads, a full disk, or a pipe nobody
// reads, with SIGPIPE at its default or ignored (ignored stays ignored across exec).
enum Sink { kRead, kFullDisk, kClosed, kClosedIgnoringSigpipe };

struct Outcome {
    int status;  // the exit status, or 128 + the signal that ended the program
    std::string out, err;
};

std::string Drain(int fd) {
    std::string text;
    char chunk[65536];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, std::size_t(got));
    close(fd);
    return text;
}

Outcome RunSealwrit(const std::vector<std::string>& args, Sink sink) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {-1, "", "no pipe"};
    if (sink >= kClosed) close(out[0]);  // before the program starts: it never has a reader
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (sink == kFullDisk) posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
    if (sink != kFullDisk) posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv = {const_cast<char*>(SEALWRIT_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The program inherits this disposition, whatever ctest's was.
    struct sigaction disposition {
    }, previous{};
    disposition.sa_handler = sink == kClosedIgnoringSigpipe ? SIG_IGN : SIG_DFL;
    sigaction(SIGPIPE, &disposition, &previous);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, SEALWRIT_BINARY, &actions, nullptr, argv.data(), environ);
    sigaction(SIGPIPE, &previous, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    Outcome outcome{-1, sink < kClosed ? Drain(out[0]) : "", Drain(err[0])};
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid) {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return outcome;
}

// Computed apart from the program: OpenSSL's AES-128 under the first 16 letters of
// the built-in key, the tail in clear, then OpenSSL's Base64.
std::string Expected(const std::string& text) {
    const std::string key = "TCYIUKRZLMXHAOUJ";
    return OpensslBase64(
        OpensslEcb(true, Bytes(key.begin(), key.end()), Bytes(text.begin(), text.end())));
}

struct Row {
    std::vector<std::string> args;
    Sink sink;
    const char* out;  // null: the cipher text of the third argument, as Expected gives it
    int status;
    const char* err;
};

TEST(Cli, BehavesAsDocumented) {
    const std::string block = "0123456789abcdef", attack = "Attack at dawn, bring the cipher";
    std::vector<Row> rows = {
        {{}, kRead, kUsage, 0, ""},
        {{"-t"}, kRead, kUsage, 0, ""},
        {{"-t", "ENC"}, kRead, kUsage, 0, ""},
        {{"-t", "ENC", "a", "b"}, kRead, kUsage, 0, ""},
        {{"-t", "enc", "abc"}, kRead, kUsage, 0, ""},
        {{"-t", "DEC", "abc"}, kRead, kUsage, 0, ""},
        {{"-t", "ENC ", "abc"}, kRead, kUsage, 0, ""},
        {{"", "", ""}, kRead, kUsage, 0, ""},
        {{"-t", "ENC", ""}, kRead, "", 0, ""},
        {{"-t", "ENC", "a"}, kRead, "YQ==", 0, ""},
        {{"-t", "ENC", "abc"}, kRead, "YWJj", 0, ""},
        {{"-t", "ENC", "fifteen bytes!!"}, kRead, "ZmlmdGVlbiBieXRlcyEh", 0, ""},
        {{"x", "ENC", block + "!"}, kRead, nullptr, 0, ""},  // the flag is not examined
        {{"", "ENC", block + block}, kRead, nullptr, 0, ""},
        {{"-t", "ENC", attack}, kFullDisk, "", 1, kWriteFailed},
        {{"-t", "ENC", "abc"}, kFullDisk, "", 1, kWriteFailed},
        {{"usage"}, kFullDisk, "", 1, kWriteFailed},
        // A reader that went away: the program ends on SIGPIPE like other tools, or
        // where SIGPIPE is ignored reports the failed write. No caller sees success.
        {{"-t", "ENC", attack}, kClosed, "", 128 + SIGPIPE, ""},
        {{"-t", "ENC", attack}, kClosedIgnoringSigpipe, "", 1, kWriteFailed},
    };
    // Bytes above ASCII, and texts longer than any fixed buffer.
    std::mt19937_64 rng(31);
    for (std::size_t n : {16u, 31u, 32u, 64u, 4095u, 4096u, 4097u, 100u * 1024u, 131071u}) {
        std::string text(n, 'x');
        for (char& c : text) c = static_cast<char>(1 + rng() % 255);  // no NUL in an argument
        rows.push_back({{"-t", "ENC", text}, kRead, nullptr, 0, ""});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args).substr(0, 60) + ", sink " +
                     std::to_string(row.sink));
        const Outcome o = RunSealwrit(row.args, row.sink);
        EXPECT_EQ(o.out, row.out ? row.out : Expected(row.args[2]));
        EXPECT_EQ(o.status, row.status);
        EXPECT_EQ(o.err, row.err);
    }
}

}  // namespace
