// SEALWRIT as its users run it: the built binary, exact output bytes, exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "OpensslOracle.h"
#include "TestSupport.h"

extern char** environ;

namespace {

const char kUsage[] = "COMMAND: SEALWRIT -t ENC TEXT\n";

struct Outcome {
    int status;  // the exit status, or -1 when a signal ended the program
    int signal;  // that signal, or 0
    std::string out;
    std::string err;
};

// Where the program's standard output goes: a pipe the test reads, a file, or a
// pipe nobody reads any more.
enum class Stdout { Read, ToFile, ClosedPipe };

std::string Drain(int fd) {
    std::string text;
    char chunk[65536];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, std::size_t(got));
    close(fd);
    return text;
}

// Runs the program with args after its name; stdout goes where `where` says
// (stdoutPath names the file).
Outcome RunSealwrit(const std::vector<std::string>& args, Stdout where = Stdout::Read,
                    const char* stdoutPath = nullptr) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) ADD_FAILURE() << "pipe";
    if (where == Stdout::ClosedPipe) close(out[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (where == Stdout::ToFile) {
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath, O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (where != Stdout::ClosedPipe) posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);

    std::vector<char*> argv = {const_cast<char*>(SEALWRIT_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, SEALWRIT_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    EXPECT_EQ(spawned, 0) << "cannot start " << SEALWRIT_BINARY;
    Outcome outcome;
    if (where != Stdout::ClosedPipe) outcome.out = Drain(out[0]);
    outcome.err = Drain(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}

// Computed apart from the program: OpenSSL's AES-128 with the first 16 letters of
// the built-in key, the tail in clear, then OpenSSL's Base64.
std::string Expected(const std::string& text) {
    const std::string key = "TCYIUKRZLMXHAOUJ";
    const Bytes sealed =
        OpensslEcb(true, Bytes(key.begin(), key.end()), Bytes(text.begin(), text.end()));
    std::string encoded(4 * ((sealed.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&encoded[0]),
                        reinterpret_cast<const unsigned char*>(sealed.data()), int(sealed.size()));
    encoded.resize(std::size_t(n));
    return encoded;
}

void ExpectEncrypts(const std::string& text) {
    const Outcome o = RunSealwrit({"-t", "ENC", text});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, Expected(text)) << text.size() << "-byte text";
}

TEST(Cli, WrongUsagePrintsTheUsageLine) {
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"-t"},
                                                         {"-t", "ENC"},
                                                         {"-t", "ENC", "a", "b"},
                                                         {"-t", "enc", "abc"},
                                                         {"-t", "DEC", "abc"},
                                                         {"-t", "ENC ", "abc"},
                                                         {"-t", "", "abc"},
                                                         {"", "", ""}};
    for (const auto& args : cases) {
        const Outcome o = RunSealwrit(args);
        EXPECT_EQ(o.out, kUsage) << args.size() << " arguments";
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
    }
}

TEST(Cli, ShortTextsPassInClear) {
    EXPECT_EQ(RunSealwrit({"-t", "ENC", ""}).out, "");
    EXPECT_EQ(RunSealwrit({"-t", "ENC", "a"}).out, "YQ==");
    EXPECT_EQ(RunSealwrit({"-t", "ENC", "abc"}).out, "YWJj");
    EXPECT_EQ(RunSealwrit({"-t", "ENC", "fifteen bytes!!"}).out, "ZmlmdGVlbiBieXRlcyEh");
}

TEST(Cli, TheFlagIsNotExamined) {
    const std::string text = "the first argument is ignored";
    const std::string expected = RunSealwrit({"-t", "ENC", text}).out;
    EXPECT_EQ(RunSealwrit({"x", "ENC", text}).out, expected);
    EXPECT_EQ(RunSealwrit({"", "ENC", text}).out, expected);
}

TEST(Cli, WholeBlocksAreEncryptedAndTheTailCarried) {
    const std::string sixteen = "0123456789abcdef";
    for (const std::string& text : {sixteen, sixteen + "!", sixteen + sixteen, std::string(31, 'z'),
                                    std::string("Attack at dawn, bring the cipher")}) {
        ExpectEncrypts(text);
    }
    const std::string out16 = RunSealwrit({"-t", "ENC", sixteen}).out;
    EXPECT_EQ(out16.size(), 24u);
    EXPECT_EQ(out16.substr(22), "==");
    const std::string out17 = RunSealwrit({"-t", "ENC", sixteen + "!"}).out;
    EXPECT_EQ(out17.size(), 24u);
    EXPECT_EQ(out17.substr(22), out17.substr(22, 1) + "=");
    EXPECT_NE(out17[22], '=');
}

TEST(Cli, EqualBlocksGiveEqualCipherBlocks) {
    const std::string block = "SAME BLOCK TWICE";
    const Outcome o = RunSealwrit({"-t", "ENC", block + block});
    ASSERT_EQ(o.out, Expected(block + block));
    unsigned char sealed[33] = {};
    ASSERT_EQ(EVP_DecodeBlock(sealed, reinterpret_cast<const unsigned char*>(o.out.data()),
                              int(o.out.size())),
              33);  // 32 bytes and one zero byte of padding
    EXPECT_EQ(Bytes(sealed, sealed + 16), Bytes(sealed + 16, sealed + 32));
    EXPECT_NE(Bytes(sealed, sealed + 16), Bytes(block.begin(), block.end()));
}

TEST(Cli, BytesAboveAsciiAndLongTexts) {
    std::string high;
    for (int i = 0; i < 64; ++i) high += static_cast<char>(0x80 + i * 2 + 1);
    ExpectEncrypts(high);
    std::mt19937_64 rng(31);
    for (std::size_t n : {4095u, 4096u, 4097u, 5000u, 100u * 1024u, 128u * 1024u - 1u}) {
        std::string text(n, 'x');
        for (char& c : text) c = static_cast<char>(1 + rng() % 255);  // no NUL in an argument
        ExpectEncrypts(text);
    }
}

TEST(Cli, OutputThatCannotBeWrittenIsAFailure) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-t", "ENC", "this output goes to a full disk"},
          std::vector<std::string>{"-t", "ENC", "abc"}, std::vector<std::string>{"usage"}}) {
        const Outcome o = RunSealwrit(args, Stdout::ToFile, "/dev/full");
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, "Error: Cannot write the output\n");
    }
}

// A reader that went away: like other tools the program ends on SIGPIPE, and where
// its caller ignores SIGPIPE (ignored signals stay ignored across exec) the write
// fails instead and is reported. Either way no caller sees success.
TEST(Cli, AClosedPipeIsNotSuccess) {
    const std::vector<std::string> args = {"-t", "ENC", "Attack at dawn, bring the cipher"};
    // The program inherits this process's disposition, whatever ctest's was.
    struct sigaction fallback {}, ignore {}, previous {};
    fallback.sa_handler = SIG_DFL;
    ignore.sa_handler = SIG_IGN;

    ASSERT_EQ(sigaction(SIGPIPE, &fallback, &previous), 0);
    const Outcome killed = RunSealwrit(args, Stdout::ClosedPipe);
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, nullptr), 0);
    const Outcome reported = RunSealwrit(args, Stdout::ClosedPipe);
    sigaction(SIGPIPE, &previous, nullptr);

    EXPECT_EQ(killed.signal, SIGPIPE);
    EXPECT_EQ(killed.err, "");
    EXPECT_EQ(reported.status, 1);
    EXPECT_EQ(reported.err, "Error: Cannot write the output\n");
}

}  // namespace
