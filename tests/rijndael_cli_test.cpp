// rijndael as its users run it: the built program on files, pipes and Base64, held to
// libmcrypt and `openssl enc`, and every way a run can fail.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "Oracles.h"
#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

Outcome Rijndael(const Args& args, const std::string& input = "") {
    return Child(Args{RIJNDAEL_BINARY} + args).Finish(input);
}

// Base64 in lines of 64 characters, as openssl enc -a writes it.
std::string Lines(const std::string& base64) {
    std::string out;
    for (std::size_t at = 0; at < base64.size(); at += 64) out += base64.substr(at, 64) + "\n";
    return out;
}

const char* const kPaddings[] = {"none", "zeros", "pkcs7", "x923", "iso10126"};

// CFB with 16-byte segments over a wider block (.NET's default feedback), which
// libmcrypt lacks, from its single blocks.
Bytes Cfb128(int block, const Bytes& key, Bytes shift, const Bytes& text) {
    Bytes out;
    for (std::size_t at = 0; at < text.size(); at += 16) {
        const Bytes pad = McryptRijndael(true, block, key, shift);
        for (std::size_t j = 0; j < 16 && at + j < text.size(); ++j)
            out.push_back(char(text[at + j] ^ pad[j]));
        shift.erase(shift.begin(), shift.begin() + 16);
        shift.insert(shift.end(), out.end() - 16, out.end());
    }
    return out;
}

class Modes : public testing::TestWithParam<std::tuple<int, const char*>> {
protected:
    const int b = std::get<0>(GetParam());
    const std::string mode = std::get<1>(GetParam());
    const bool ecb = mode == "ecb", whole = ecb || mode == "cbc";
    // The unit that padding fills: CFB's segment, else the block.
    const std::size_t unit = mode == "cfb8" ? 1 : mode == "cfb128" ? 16 : std::size_t(b);

    Args Cipher(const Bytes& key, const Bytes& iv) const {
        const Args a = {"-b", std::to_string(b), "-m", mode, "-K", ToHex(key)};
        return ecb ? a : a + Args{"-iv", ToHex(iv)};
    }
    Dir dir;
};

TEST_P(Modes, RoundTripsThroughFilesPipesAndBase64) {
    std::mt19937_64 rng(std::uint64_t(b) * 131 + mode.size());
    const std::size_t lengths[] = {
        0, 1, unit - 1 + !unit, unit, unit + 1, 3 * unit + 7, 65535, 65536, 65537, (2u << 20) + 3};
    std::size_t i = 0;
    for (int keyLength : {16, 24, 32}) {
        for (const char* padding : kPaddings) {
            const bool none = padding == std::string("none"), zeros = padding[0] == 'z';
            // Each combination takes one length and one way in and out, varied so that
            // across the suite every length meets every way.
            std::size_t n = lengths[i % 10], channel = (i + std::size_t(b) / 8 + mode.size()) % 3;
            ++i;
            if (none && whole) n -= n % std::size_t(b);
            SCOPED_TRACE(std::to_string(keyLength) + " " + padding + " " + std::to_string(n) +
                         " via " + std::to_string(channel));
            const Bytes key = RandomBytes(rng, std::size_t(keyLength)), iv = RandomBytes(rng, b);
            const std::string text = S(RandomBytes(rng, n));
            const Args cipher = Cipher(key, iv) + Args{"-p", padding};
            std::string sealed, opened;
            if (channel == 0) {
                Spill(dir / "text", text);
                Expect(Rijndael(Args{"-e", "-in", dir / "text", "-out", dir / "sealed"} + cipher));
                Expect(
                    Rijndael(Args{"-d", "-in", dir / "sealed", "-out", dir / "opened"} + cipher));
                sealed = Slurp(dir / "sealed"), opened = Slurp(dir / "opened");
            } else if (channel == 1) {
                sealed = Expect(Rijndael(Args{"-e"} + cipher, text));
                opened = Expect(Rijndael(Args{"-d"} + cipher, sealed));
            } else {
                const std::string base64 = Expect(Rijndael(Args{"-e", "-a"} + cipher, text));
                sealed = S(OpensslUnbase64(base64));
                EXPECT_EQ(base64, Lines(OpensslBase64(Bytes(sealed.begin(), sealed.end()))));
                // Line ends of another system, and blanks, are no part of the data.
                std::string crlf;
                for (char c : base64)
                    crlf += c == '\n' ? std::string(" \t\r\n") : std::string(1, c);
                opened = Expect(Rijndael(Args{"-d", "-a"} + cipher, crlf));
            }
            const std::size_t padded = none    ? n
                                       : zeros ? (n + unit - 1) / unit * unit
                                               : n / unit * unit + unit;
            EXPECT_EQ(sealed.size(), padded);
            EXPECT_EQ(opened, zeros ? text + std::string(padded - n, '\0') : text);
        }
    }
}

TEST_P(Modes, AgreesWithMcryptBothWays) {
    // libmcrypt's names: its cfb and ofb take one byte a step, ncfb and nofb a block.
    const std::map<std::string, std::string> names = {
        {"ecb", "ecb"},  {"cbc", "cbc"},  {"cfb", "ncfb"}, {"cfb8", "cfb"},
        {"ofb", "nofb"}, {"ofb8", "ofb"}, {"ctr", "ctr"},  {"cfb128", b == 16 ? "ncfb" : ""}};
    std::mt19937_64 rng(std::uint64_t(b) * 7 + mode.size());
    for (int keyLength : {16, 24, 32}) {
        SCOPED_TRACE(keyLength);
        const Bytes key = RandomBytes(rng, std::size_t(keyLength)), iv = RandomBytes(rng, b);
        const Bytes text = RandomBytes(rng, 3 * std::size_t(b) + (whole ? 0 : 5));
        const std::string& name = names.at(mode);
        const Bytes sealed = name.empty() ? Cfb128(b, key, iv, text)
                                          : McryptRijndael(true, b, key, text, name.c_str(), iv);
        const Args cipher = Cipher(key, iv) + Args{"-p", "none"};
        EXPECT_EQ(Expect(Rijndael(Args{"-e"} + cipher, S(text))), S(sealed));
        EXPECT_EQ(Expect(Rijndael(Args{"-d"} + cipher, S(sealed))), S(text));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBlockAndMode, Modes,
                         testing::Combine(testing::Values(16, 24, 32),
                                          testing::Values("ecb", "cbc", "cfb", "cfb8", "cfb128",
                                                          "ofb", "ofb8", "ctr")),
                         [](const testing::TestParamInfo<Modes::ParamType>& info) {
                             return std::get<1>(info.param) +
                                    std::to_string(std::get<0>(info.param));
                         });

// openssl enc's spellings mean here what they mean there: its cipher names, -nopad, -A
// and -P, beside this tool's own -m, -p and -K.
TEST(RijndaelCli, AgreesWithOpensslEncOnAes) {
    std::mt19937_64 rng(11);
    for (int keyLength : {16, 24, 32}) {
        for (std::string mode : {"ecb", "cbc", "cfb8", "cfb", "ofb", "ctr"}) {
            for (const char* form : {"-a", "-A", "-nopad"}) {
                SCOPED_TRACE(std::to_string(keyLength) + mode + " " + form);
                const Bytes key = RandomBytes(rng, std::size_t(keyLength));
                const Bytes iv = RandomBytes(rng, 16);
                const std::string text = S(RandomBytes(rng, form[1] == 'n' ? 64 : 1000));
                const std::string cipher = "-aes-" + std::to_string(keyLength * 8) + "-" + mode;
                // Our own names for the first two, openssl's for the last.
                Args ours = form[1] == 'n' ? Args{cipher} : Args{"-m", mode};
                Args theirs = {"-K", ToHex(key)};
                if (mode != "ecb") theirs = theirs + Args{"-iv", ToHex(iv)};
                theirs.push_back(form);
                if (form[1] == 'A') theirs.push_back("-a");
                ours = ours + theirs;
                const std::string sealed =
                    Expect(Child(Args{"openssl", "enc", "-e", cipher} + theirs).Finish(text));
                // Base64 on one line here ends it with a line break; openssl's does not.
                EXPECT_EQ(Expect(Rijndael(Args{"-e"} + ours, text)),
                          sealed + (form[1] == 'A' ? "\n" : ""));
                EXPECT_EQ(Expect(Rijndael(Args{"-d"} + ours, sealed)), text);
                // openssl prints a salt line too, of a salt it does not use.
                const std::string printed =
                    Expect(Child(Args{"openssl", "enc", "-P", cipher} + theirs).Finish());
                EXPECT_EQ(Expect(Rijndael(Args{"-P"} + ours)),
                          printed.substr(printed.find("key=")));
            }
        }
    }
}

struct Failure {
    Args args;
    std::string input;
    int status;
    std::string message;
};

// Every way a run can fail, with its message and status, and the output file as it was.
// The keys and IVs are of letters no message holds: none of their bytes may show in a
// message (positions and lengths only), whatever the form they were given in.
TEST(RijndaelCli, EveryErrorSaysWhatAndLeavesTheOutputAsItWas) {
    Dir dir;
    const std::string k = "fedcfedcfedcfedcfedcfedcfedcfedc",
                      iv = "edcbedcbedcbedcbedcbedcbedcbedcb";
    const std::string in = dir / "in";
    const Args ecb = {"-K", k, "-m", "ecb"}, cbc = {"-K", k, "-iv", iv};
    const std::string zeros(65536, '\0'), e = "-e";
    Spill(in, "sixteen bytes!!!");
    Spill(dir / "keyfile", "fe dc\nQwertyuiop");
    Spill(dir / "longkey", k + std::string(4096, ' '));
    const std::string usedAsKey = "(a key kept as text: -keyform text)";
    const std::vector<Failure> failures = {
        {{}, "", 2, "-e or -d is needed"},
        {Args{e, "-d"} + cbc, "", 2, "-e and -d exclude each other"},
        {{e}, "", 2, "a key is needed: -K KEY or -kfile FILE"},
        {Args{e, "-kfile", in} + cbc, "", 2, "-K and -kfile exclude each other"},
        {{e, "-kfile", "-", "-m", "ecb"},
         "",
         2,
         "-kfile -: the key cannot come from standard input, which carries the data"},
        {{e, "-K", k},
         "",
         2,
         "mode cbc needs an IV (-iv IV, or -ivprefix when it is in front of the data)"},
        {Args{e, "-iv", iv} + ecb, "", 2, "mode ecb takes no IV (-iv)"},
        {Args{e, "-ivprefix"} + ecb, "", 2, "mode ecb takes no IV (-ivprefix)"},
        {Args{e, "-ivprefix"} + cbc, "", 2, "-iv and -ivprefix exclude each other"},
        {Args{e, "-m", "xts"} + cbc, "", 2,
         "unknown mode xts (ecb, cbc, cfb, cfbN, ofb, ofbN, ctr, ncfb, nofb)"},
        {Args{e, "-m", "cfb12"} + cbc, "", 2,
         "-m cfb12: the segment is whole bytes, 8 to 256 bits"},
        {Args{e, "-m", "cfb192"} + cbc, "", 2,
         "mode cfb192 has a 24-byte segment, more than the 16-byte block (wider blocks: -b 24 or "
         "-b 32)"},
        {Args{e, "-aes-128-cfb1"} + cbc, "", 2,
         "-aes-128-cfb1: the segment is whole bytes, 8 to 256 bits"},
        {Args{e, "-aes-128"} + cbc, "", 2, "unknown cipher -aes-128"},
        {Args{e, "-aes-128-ecb", "-m", "cbc"} + cbc, "", 2,
         "-aes-128-ecb names the mode and the block size: leave out -m"},
        {Args{e, "-p", "pkcs5"} + cbc, "", 2,
         "unknown padding pkcs5 (none, zeros, php, pkcs7, x923, iso10126)"},
        {Args{e, "-p", "-in", "x"} + cbc, "", 2,
         "-p takes a padding, not -in (openssl enc's -p, which prints the key and the IV, is -P "
         "here)"},
        {Args{e, "-nopad", "-p", "pkcs7"} + cbc, "", 2, "-nopad and -p pkcs7 exclude each other"},
        {Args{e, "-p", "zeros", "-stripzeros"} + cbc, "", 2, "-stripzeros is for decrypting"},
        {Args{"-d", "-stripzeros"} + cbc, "", 2, "-stripzeros goes with -p zeros, php or none"},
        {Args{e, "-A"} + cbc, "", 2, "-A goes with -a"},
        {Args{e, "-raw"} + cbc, "", 2, "-raw goes with -records"},
        {Args{e, "-records", "-hex", "-a"} + cbc, "", 2, "-hex and -a exclude each other"},
        {Args{e, "-keyform", "b64"} + cbc, "", 2,
         "-keyform b64: the forms are hex, base64, text, raw"},
        {Args{e, "-k", "secret"}, "", 2,
         "-k: rijndael takes the key itself, not a passphrase to derive one from (-K KEY in hex; "
         "a key kept as text: -K TEXT -keyform text)"},
        {Args{e, "-b", "64"} + cbc, "", 2, "-b 64: the block size is 16, 24 or 32 bytes"},
        {{e, "-out", dir / "out", "-K"}, "", 2, "-K needs a value"},
        {{e, "-x"}, "", 2, "unknown option -x"},
        {Args{e, k} + ecb, "", 2,
         "argument 2 is not an option (files are given with -in and -out)"},
        {{e, "-m", "ecb", "-K", "fedcfedg"},
         "",
         1,
         "-K: not a hex digit at position 8 " + usedAsKey},
        {{e, "-m", "ecb", "-K", "fe dc"}, "", 1, "-K: not a hex digit at position 3 " + usedAsKey},
        {{e, "-m", "ecb", "-K", "fed"},
         "",
         1,
         "-K: an odd number of hex digits (3); each byte takes two " + usedAsKey},
        {{e, "-m", "ecb", "-K", "QwertyQwerty=", "-keyform", "base64"},
         "",
         1,
         "-K: not Base64 at position 13"},
        {{e, "-m", "ecb", "-K", k + "fedc"},
         "",
         1,
         "the key is 18 bytes; it must be 16, 24 or 32 (PHP's mcrypt before PHP 5.6 padded a "
         "short key with zero bytes: -padkey)"},
        {{e, "-m", "ecb", "-K", ""}, "", 1, "the key is 0 bytes; it must be 16, 24 or 32"},
        {{e, "-m", "ecb", "-K", k + k, "-keyform", "text"},
         "",
         1,
         "the key is 64 bytes; it must be 16, 24 or 32 (these are hex digits: -keyform hex)"},
        {{e, "-m", "ecb", "-K", std::string(64, 'Q'), "-keyform", "raw"},
         "",
         1,
         "the key is 64 bytes; it must be 16, 24 or 32"},
        {{e, "-aes-256-ecb", "-K", k},
         "",
         1,
         "the key is 16 bytes; -aes-256-ecb takes 32 (-aes-128-ecb takes 16)"},
        {{e, "-aes128", "-K", "QwertyQwertyQwertyQw", "-keyform", "text", "-iv", iv},
         "",
         1,
         "the key is 20 bytes; -aes128 takes 16"},
        {{e, "-K", k, "-iv", "ed"}, "", 1, "the IV is 1 byte; it must be one block, 16 bytes"},
        {Args{e, "-b", "32"} + cbc, "", 1,
         "the IV is 16 bytes; it must be one block, 32 bytes (16-byte blocks: -b 16)"},
        {{e, "-aes-128-cbc", "-K", k, "-iv", iv + iv},
         "",
         1,
         "the IV is 32 bytes; it must be one block, 16 bytes (32-byte blocks: -rijndael-256-cbc)"},
        {{e, "-K", k, "-iv", iv, "-ivform", "text"},
         "",
         1,
         "the IV is 32 bytes; it must be one block, 16 bytes (these are hex digits: leave out "
         "-ivform text)"},
        {{e, "-m", "ecb", "-kfile", dir / "nokey"},
         "",
         1,
         "cannot read key file " + dir / "nokey" + ": No such file or directory"},
        {{e, "-m", "ecb", "-kfile", dir / "keyfile"},
         "",
         1,
         dir / "keyfile" +
             ": not a hex digit at position 7 (-kfile holds the key itself in hex, not a "
             "passphrase as openssl enc's -kfile does; a key kept as text: -keyform text)"},
        {{e, "-m", "ecb", "-kfile", dir / "longkey"},
         "",
         1,
         "key file " + dir / "longkey" + ": more than 4096 bytes, too long for a key"},
        {Args{e, "-in", dir / "none"} + ecb, "", 1,
         "cannot read " + dir / "none" + ": No such file or directory"},
        {Args{e, "-in", dir.path} + ecb, "", 1, "cannot read " + dir.path + ": Is a directory"},
        {Args{e, "-out", dir / "no/out"} + ecb, "", 1,
         "cannot write " + dir / "no/out" + ": No such file or directory"},
        {Args{"-d", "-a", "-p", "none", "-out", "/dev/full"} + ecb, std::string(65536, 'A'), 1,
         "cannot write /dev/full: No space left on device"},
        {Args{e, "-in", in, "-out", dir.path + "/./in"} + ecb, "", 1,
         "-in and -out name the same file, " + dir.path + "/./in"},
        {Args{"-d", "-a"} + ecb, "QUJD\nRA==\nQUJD", 1, "invalid Base64 at byte 11 of the input"},
        {Args{"-d", "-a"} + ecb, "QUJD\nR*==", 1, "invalid Base64 at byte 7 of the input"},
        {Args{"-d", "-a"} + ecb, "QUJDRA=", 1,
         "invalid Base64: the input ends inside a group of four characters"},
        {Args{"-d"} + ecb, S(McryptRijndael(true, 16, FromHex(k), Bytes(16, 0))), 1, "bad decrypt"},
        {Args{"-d"} + ecb, zeros + "!", 1,
         "65537 bytes of cipher text cannot come from mode ecb with padding pkcs7 and 16-byte "
         "blocks"},
        {Args{"-d"} + ecb, "QUJDRA==\n", 1,
         "9 bytes of cipher text cannot come from mode ecb with padding pkcs7 and 16-byte blocks "
         "(the input looks like Base64: -a decodes it)"},
        {{"-d", "-K", k, "-ivprefix"},
         "fifteen bytes!!",
         1,
         "the input ends inside its IV: 15 bytes, and -ivprefix takes a block, 16"},
        {Args{e, "-p", "none", "-b", "24"} + ecb, "0123456789", 1,
         "10 bytes of input are not a whole number of 24-byte blocks, as mode ecb without "
         "padding needs (-p pads)"},
        // A file size limit stands in for a full disk (SIGXFSZ ignored: the write fails).
        {Args{e, "-p", "none"} + ecb, zeros, 1, "cannot write " + dir / "out" + ": File too large"},
    };
    const std::string usage = Rijndael({"-x"}).err.substr(sizeof "rijndael: unknown option -x");
    for (const Failure& f : failures) {
        SCOPED_TRACE(testing::PrintToString(f.args));
        Spill(dir / "out", "old");
        Args args = f.args;
        if (std::find(args.begin(), args.end(), "-out") == args.end())
            args = args + Args{"-out", dir / "out"};
        const bool limited = f.message.find("too large") != std::string::npos;
        const Outcome o =
            limited ? Child(Args{"sh", "-c", "ulimit -f 8; trap '' XFSZ; exec \"$0\" \"$@\"",
                                 RIJNDAEL_BINARY} +
                            args)
                          .Finish(f.input)
                    : Rijndael(args, f.input);
        EXPECT_EQ(o.status, f.status);
        EXPECT_EQ(o.err, "rijndael: " + f.message + "\n" + (f.status == 2 ? usage : ""));
        for (const std::string& secret : {k, iv, std::string("Qwerty"), std::string("fedg")})
            for (std::size_t at = 0; at + 4 <= secret.size(); ++at)
                EXPECT_EQ(o.err.find(secret.substr(at, 4)), std::string::npos);
        EXPECT_EQ(Slurp(dir / "out"), "old");
        EXPECT_EQ(Slurp(in), "sixteen bytes!!!");
        EXPECT_EQ(dir.List(), (std::set<std::string>{"in", "keyfile", "longkey", "out"}));
    }
    EXPECT_EQ(usage.rfind("usage: rijndael (-e | -d) ", 0), 0u);
}

TEST(RijndaelCli, HelpAndVersionGoToStandardOutput) {
    for (const char* flag : {"-h", "-help", "--help", "-version", "--version"}) {
        const Outcome o = Rijndael({flag, "-x"});  // what follows is not looked at
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.out.rfind(flag[1] == 'v' || flag[2] == 'v' ? "rijndael (SEALWRIT) 1."
                                                               : "usage: rijndael (-e | -d)",
                              0),
                  0u)
            << o.out;
    }
}

// A read that a signal interrupts is tried again: keys from files, a stream and a table
// of records come out as without interruptions.
TEST(RijndaelCli, ReadsInterruptedBySignalsAreRetried) {
    Dir dir;
    Spill(dir / "key", ToHex(Bytes(16, 9)));
    const std::string text(200000, 'x');
    const std::vector<Args> runs = {
        {"-e", "-a", "-kfile", dir / "key", "-iv", ToHex(Bytes(16, 1))},
        {"-e", "-records", "-raw", "-m", "ecb", "-kfile", dir / "key"},
    };
    for (const Args& run : runs) {
        const Outcome o =
            Child(Args{RIJNDAEL_BINARY} + run, {std::string("LD_PRELOAD=") + EINTR_SHIM,
                                                "ASAN_OPTIONS=verify_asan_link_order=0"})
                .Finish(text + "\nline\n");
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.out, Expect(Rijndael(run, text + "\nline\n")));
    }
}

// No key or IV is left anywhere in the program's memory when it exits, whichever way:
// not in the arguments, the files' contents, the decoded copies, nor the stack frames
// where the cipher's code spilled round keys (an AES-192 key's first 24 bytes are its
// first round key and a half). Searched for after exit by a library put in front.
TEST(RijndaelCli, NoKeyOrIvLeftInMemoryOnAnyWayOut) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's shadow memory is terabytes to search";
#endif
    Dir dir;
    const Bytes key = FromHex("f1e2d3c4b5a697887766554433221100f1e2d3c4b5a69788");
    const Bytes iv = FromHex("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    Spill(dir / "key", ToHex(key));
    const std::vector<Args> runs = {
        {"-e", "-m", "ecb"},
        {"-e", "-records", "-raw", "-iv", ToHex(iv)},
        {"-d", "-m", "ecb"},
        {"-d", "-a", "-iv", ToHex(iv)},
        {"-e", "-iv", ToHex(iv), "-b", "32"},
        {"-P", "-iv", ToHex(iv)},
        {"-e", "-iv", ToHex(iv), "-x"},
    };
    for (const Args& run : runs) {
        for (const Bytes& secret : {key, iv}) {
            Bytes masked = secret;
            for (char& c : masked) c = char(c ^ 0x5a);
            const Args keyed =
                run.size() % 2 ? Args{"-K", ToHex(key)} : Args{"-kfile", dir / "key"};
            const Outcome o = Child(Args{RIJNDAEL_BINARY} + keyed + run,
                                    {"LD_PRELOAD=" LEFTOVER_SCAN, "LEFTOVER_SCAN=" + ToHex(masked)})
                                  .Finish("sixteen bytes!!!\n");
            EXPECT_NE(o.status, 99) << o.err << testing::PrintToString(run);
        }
    }
}

// A message longer than a line holds is cut, and still ends its line.
TEST(RijndaelCli, LongMessagesAreCutAtALineEnd) {
    const Outcome o =
        Rijndael({"-e", "-K", ToHex(Bytes(16)), "-m", "ecb", "-in", std::string(3000, 'n')});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("rijndael: cannot read nnnn", 0), 0u);
    EXPECT_EQ(o.err.size(), 1023u);
    EXPECT_EQ(o.err.find('\n'), 1022u);
}

class Interrupted : public testing::TestWithParam<int> {};

TEST_P(Interrupted, LeavesTheOutputAsItWasAndNoTemporaryFile) {
    Dir dir;
    Spill(dir / "out", "old");
    const rlimit noCore = {0, 0};  // SIGQUIT's and SIGXFSZ's
    setrlimit(RLIMIT_CORE, &noCore);
    Child child(
        {RIJNDAEL_BINARY, "-e", "-K", ToHex(Bytes(16, 1)), "-m", "ecb", "-out", dir / "out"});
    // The program has started writing once its temporary file is there.
    for (int i = 0; i < 1000 && dir.List().size() < 2; ++i) usleep(10000);
    ASSERT_EQ(dir.List().size(), 2u);
    kill(child.pid, GetParam());
    EXPECT_EQ(child.Finish(std::string(100000, 'x')).status, 128 + GetParam());
    EXPECT_EQ(Slurp(dir / "out"), "old");
    EXPECT_EQ(dir.List(), std::set<std::string>{"out"});
}

INSTANTIATE_TEST_SUITE_P(EachSignal, Interrupted,
                         testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ));

TEST(RijndaelCli, StreamsKeepsWhatWasWrittenAndShowsProgress) {
    const Args ecb = {"-K", ToHex(Bytes(16, 1)), "-m", "ecb"};
    // Output comes while the input is still open.
    Child child(Args{RIJNDAEL_BINARY, "-e", "-p", "none"} + ecb);
    ASSERT_EQ(write(child.m_in, std::string(4096, 'x').data(), 4096), 4096);
    pollfd ready = {child.m_out, POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 10000), 1);
    EXPECT_EQ(child.Finish().out.size(), 4096u);

    // A failure on standard output keeps what was written before it.
    const std::string zeros(1 << 20, '\0');
    const std::string sealed = Expect(Rijndael(Args{"-e", "-p", "none"} + ecb, zeros));
    const Outcome bad = Rijndael(Args{"-d"} + ecb, sealed);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "rijndael: bad decrypt\n");
    EXPECT_GE(bad.out.size(), zeros.size() / 2);
    EXPECT_EQ(bad.out, zeros.substr(0, bad.out.size()));

    // A reader that stalls makes the run last long enough for the progress line, which
    // is cleared at the end.
    Dir dir;
    Spill(dir / "in", std::string(4 << 20, 'x'));
    Child slow(Args{RIJNDAEL_BINARY, "-e", "-a", "-progress", "-in", dir / "in"} + ecb);
    char chunk[4096];
    EXPECT_GT(read(slow.m_out, chunk, sizeof chunk), 0);
    usleep(600000);
    const Outcome shown = slow.Finish();
    EXPECT_EQ(shown.status, 0);
    // A line with the amount, the rate, the share done and the time left, and at the
    // end blanks over it.
    const std::string& err = shown.err;
    EXPECT_EQ(err.rfind("\r", 0), 0u) << err;
    for (const char* part : {"iB  ", "iB/s  ", "%  0:", " left"})
        EXPECT_NE(err.find(part), std::string::npos) << part << " in " << err;
    const double amount = std::strtod(err.c_str() + 1, nullptr);  // in its unit
    EXPECT_TRUE(amount >= 1 && amount < 1024) << err;
    const std::size_t last = err.size() < 2 ? 0 : err.rfind('\r', err.size() - 2);
    EXPECT_EQ(err.substr(last), "\r" + std::string(err.size() - last - 2, ' ') + "\r");
}

// ---- -out: what the program finds at the name, what it leaves, and with what mode ----

const Args kEcb = {"-K", ToHex(Bytes(16, 1)), "-m", "ecb"};

std::set<std::string> Names(const std::string& path) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename());
    return names;
}
struct stat Status(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status;
}

// The temporary file for dir/name once the program has made it, ".NAME.rijndael-" and
// six letters or digits, or "" if none comes.
std::string TemporaryFile(const Dir& dir, const std::string& name) {
    const std::string tag = "." + name + ".rijndael-";
    for (int i = 0; i < 1000; ++i, usleep(10000)) {
        for (const std::string& entry : dir.List()) {
            if (entry.size() == tag.size() + 6 && entry.rfind(tag, 0) == 0 &&
                std::all_of(entry.end() - 6, entry.end(), isalnum))
                return entry;
        }
    }
    return "";
}

TEST(RijndaelOutput, PipesAndDevicesAreWrittenDirectly) {
    Dir dir;
    const std::string sealed = Expect(Rijndael(Args{"-e"} + kEcb, "text"));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int reader = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    Expect(Rijndael(Args{"-e", "-out", dir / "fifo"} + kEcb, "text"));
    char got[64];
    EXPECT_EQ(read(reader, got, sizeof got), ssize_t(sealed.size()));
    EXPECT_EQ(std::string(got, sealed.size()), sealed);
    close(reader);
    EXPECT_TRUE(S_ISFIFO(Status(dir / "fifo").st_mode));
    EXPECT_EQ(dir.List(), std::set<std::string>{"fifo"});
    // A device like /dev/null, made here, so that a run that renamed over it could not
    // take the system's.
    if (mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device node can be made here";
    Expect(Rijndael(Args{"-e", "-out", dir / "null"} + kEcb, "text"));
    EXPECT_TRUE(S_ISCHR(Status(dir / "null").st_mode));
    EXPECT_EQ(dir.List(), (std::set<std::string>{"fifo", "null"}));
}

// Tests run as root, whom permissions do not stop: the temporary file cannot be made
// for want of a descriptor, and the rename fails on what it meets, a directory put
// where the file was.
TEST(RijndaelOutput, FailuresToCreateOrRenameLeaveNoTemporaryFile) {
    Dir dir;
    Spill(dir / "out", "old");
    // One descriptor more than the lowest free one, whatever the runner left open: the
    // directory takes that one, and the temporary file finds none.
    const std::string limit =
        "n=0; while [ -L /proc/$$/fd/$n ]; do n=$((n + 1)); done; ulimit -n $((n + 1)); "
        "exec \"$0\" \"$@\"";
    const Outcome o1 =
        Child(Args{"sh", "-c", limit, RIJNDAEL_BINARY, "-e", "-out", dir / "out"} + kEcb)
            .Finish("text");
    EXPECT_EQ(o1.status, 1);
    EXPECT_EQ(o1.err, "rijndael: cannot write " + dir / "out" + ": Too many open files\n");
    EXPECT_EQ(Slurp(dir / "out"), "old");
    EXPECT_EQ(dir.List(), std::set<std::string>{"out"});
    Child child(Args{RIJNDAEL_BINARY, "-e", "-out", dir / "out"} + kEcb);
    ASSERT_NE(TemporaryFile(dir, "out"), "");
    fs::remove(dir / "out");
    fs::create_directory(dir / "out");
    const Outcome o = child.Finish("text");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "rijndael: cannot write " + dir / "out" + ": Is a directory\n");
    EXPECT_EQ(dir.List(), std::set<std::string>{"out"});
}

// The partial plaintext of a decryption, stopped mid-stream, is the owner's alone; the
// whole gets what a new file gets, or the old one's mode without its set-ID bits and
// (as root) its owner.
TEST(RijndaelOutput, OnlyTheOwnerReadsUntilTheOutputIsComplete) {
    Dir dir;
    const std::string text(1 << 20, 'x');
    const std::string sealed = Expect(Rijndael(Args{"-e"} + kEcb, text));
    const mode_t mask = umask(027);
    Child child(Args{RIJNDAEL_BINARY, "-d", "-out", dir / "new"} + kEcb);
    umask(mask);
    const ssize_t fed = write(child.m_in, sealed.data(), 65536);
    ASSERT_GT(fed, 16);
    ASSERT_NE(TemporaryFile(dir, "new"), "");
    const std::string temporary = dir / TemporaryFile(dir, "new");
    for (int i = 0; i < 1000 && Status(temporary).st_size == 0; ++i) usleep(10000);
    int stopped = 0;
    kill(child.pid, SIGSTOP);
    ASSERT_EQ(waitpid(child.pid, &stopped, WUNTRACED), child.pid);
    EXPECT_TRUE(WIFSTOPPED(stopped));
    EXPECT_GT(Status(temporary).st_size, 0);
    EXPECT_EQ(Status(temporary).st_mode & 07777, 0600u);
    kill(child.pid, SIGCONT);
    EXPECT_EQ(child.Finish(sealed.substr(std::size_t(fed))).status, 0);
    EXPECT_EQ(Slurp(dir / "new"), text);
    EXPECT_EQ(Status(dir / "new").st_mode & 07777, 0640u);

    Spill(dir / "old", "old");
    chmod((dir / "old").c_str(), 04755);
    const bool chowned = chown((dir / "old").c_str(), 1234, 1234) == 0;
    Expect(Rijndael(Args{"-e", "-out", dir / "old"} + kEcb, "text"));
    EXPECT_EQ(Status(dir / "old").st_mode & 07777, 0755u);
    if (chowned) {
        EXPECT_EQ(Status(dir / "old").st_uid, 1234u);
    }
    EXPECT_EQ(dir.List(), (std::set<std::string>{"new", "old"}));
}

TEST(RijndaelOutput, SymbolicLinksAreFollowedAndStay) {
    Dir dir;
    fs::create_directory(dir / "a");
    fs::create_directory(dir / "b");
    // A chain whose second link is read from its own directory, a/, and names a file
    // that does not exist yet; the second run replaces it.
    fs::create_symlink("a/link", dir / "live");
    fs::create_symlink("../b/target", dir / "a/link");
    for (const std::string text : {"first", "second"}) {
        Expect(Rijndael(Args{"-e", "-out", dir / "live"} + kEcb, text));
        EXPECT_EQ(Slurp(dir / "b/target"), Expect(Rijndael(Args{"-e"} + kEcb, text)));
        EXPECT_EQ(fs::read_symlink(dir / "live"), "a/link");
        EXPECT_EQ(fs::read_symlink(dir / "a/link"), "../b/target");
        EXPECT_EQ(Names(dir / "b"), std::set<std::string>{"target"});
    }
    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    const Outcome o = Rijndael(Args{"-e", "-out", dir / "loop1"} + kEcb, "text");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "rijndael: cannot write " + dir / "loop1" + ": Too many levels of symbolic links\n");
}

// Any name the system takes, and for one byte more, in the name or the whole path, its
// reason.
TEST(RijndaelOutput, AnyNameTheSystemTakes) {
    Dir dir;
    const std::string name(255, 'n');
    Expect(Rijndael(Args{"-e", "-out", dir / name} + kEcb, "text"));
    EXPECT_EQ(Slurp(dir / name), Expect(Rijndael(Args{"-e"} + kEcb, "text")));
    const Outcome longName = Rijndael(Args{"-e", "-out", dir / (name + "n")} + kEcb, "text");
    EXPECT_EQ(longName.status, 1);
    EXPECT_EQ(longName.err,
              "rijndael: cannot write " + dir / (name + "n") + ": File name too long\n");
    std::string path = dir.path;
    while (path.size() < PATH_MAX - 3) path += "/.";
    path += "/" + std::string(PATH_MAX - path.size() - 1, 'o');
    EXPECT_EQ(Rijndael(Args{"-e", "-out", path} + kEcb, "text").status, 1);
    EXPECT_EQ(dir.List(), std::set<std::string>{name});
}

// SIGKILL cannot be caught: what it leaves must say what it is, and be private.
TEST(RijndaelOutput, SigkillLeavesOneRecognisableTemporaryFile) {
    Dir dir;
    Spill(dir / "out", "old");
    Child child(Args{RIJNDAEL_BINARY, "-e", "-out", dir / "out"} + kEcb);
    const std::string temporary = TemporaryFile(dir, "out");
    ASSERT_NE(temporary, "");
    kill(child.pid, SIGKILL);
    EXPECT_EQ(child.Finish().status, 128 + SIGKILL);
    EXPECT_EQ(Slurp(dir / "out"), "old");
    EXPECT_EQ(dir.List(), (std::set<std::string>{"out", temporary}));
    EXPECT_EQ(Status(dir / temporary).st_mode & 07777, 0600u);
}

}  // namespace
