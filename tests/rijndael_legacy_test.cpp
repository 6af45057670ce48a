// rijndael on data as PHP's mcrypt and .NET's RijndaelManaged wrote it, those programs
// themselves producing and reading it (PHP 8.2 with its mcrypt extension, Mono): every
// feedback segment, PHP's zero padding, IVs carried in front, keys and IVs in the forms
// applications stored them, and whole tables of records.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "Oracles.h"
#include "Spawn.h"

namespace {

Outcome Rijndael(const Args& args, const std::string& input = "") {
    return Child(Args{RIJNDAEL_BINARY} + args).Finish(input);
}

std::string Hex(const std::string& s) { return ToHex(Bytes(s.begin(), s.end())); }
// A job line's field: hex, or "-" for nothing.
std::string Job(const std::string& s) { return s.empty() ? "-" : Hex(s); }
std::string Job(const Bytes& b) { return Job(S(b)); }
std::string Unhex(const std::string& hex) { return S(FromHex(hex)); }
std::string Base64(const std::string& s) { return OpensslBase64(Bytes(s.begin(), s.end())); }
// What PHP's rtrim($text, "\0") leaves of a text that decrypting left zero padded.
std::string WithoutZeros(std::string s) { return s.erase(s.find_last_not_of('\0') + 1); }

// Text that no zero byte ends, so that stripping the zero padding gives it back whole;
// with oneLine, printable characters alone, as a record's raw line holds.
std::string Text(std::mt19937_64& rng, std::size_t n, bool oneLine = false) {
    std::string text = S(RandomBytes(rng, n));
    for (char& c : text) c = oneLine ? char(' ' + std::uint8_t(c) % 95) : c;
    if (n > 0 && text.back() == 0) text.back() = 'x';
    return text;
}

// CFB and OFB with every segment of whole bytes up to the block: CFB against
// RijndaelManaged with each FeedbackSize it allows (PKCS #7 fills the last segment, as
// .NET does), OFB against the segment rule run on the key object's own block calls.
TEST(LegacyLayouts, EverySegmentOfCfbAndOfb) {
    std::mt19937_64 rng(28);
    struct Case {
        int block, segment;
        Bytes key, iv;
        std::string text;
    };
    std::vector<Case> cases;
    std::vector<std::string> jobs;
    for (int block : {16, 24, 32}) {
        for (int segment = 1; segment <= block; ++segment) {
            Case c{block, segment, RandomBytes(rng, std::size_t(16 + 8 * (segment % 3))),
                   RandomBytes(rng, std::size_t(block)), Text(rng, std::size_t(3 * block + 5))};
            jobs.push_back("e " + std::to_string(8 * block) + " " + std::to_string(8 * segment) +
                           " CFB PKCS7 " + Job(c.key) + " " + Job(c.iv) + " " + Hex(c.text));
            cases.push_back(c);
        }
    }
    const std::vector<std::string> net = RijndaelManagedJobs(jobs);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << c.block << "-byte blocks, segment " << c.segment);
        const std::string bits = std::to_string(8 * c.segment);
        const Args cipher = {"-b", std::to_string(c.block), "-K", ToHex(c.key), "-iv", ToHex(c.iv)};
        const Args cfb = cipher + Args{"-m", "cfb" + bits, "-p", "pkcs7"};
        EXPECT_EQ(Hex(Expect(Rijndael(Args{"-e"} + cfb, c.text))), net[i]);
        EXPECT_EQ(Expect(Rijndael(Args{"-d"} + cfb, Unhex(net[i]))), c.text);

        CRijnDael key;
        key.SetKey(c.key.data(), int(c.key.size()), c.block);
        Bytes reg = c.iv, stream(c.iv.size());
        std::string ofb = c.text;
        for (std::size_t at = 0; at < ofb.size(); at += std::size_t(c.segment)) {
            key.EncryptBlock(reg.data(), stream.data());
            for (std::size_t j = 0; j < std::size_t(c.segment) && at + j < ofb.size(); ++j)
                ofb[at + j] = char(ofb[at + j] ^ stream[j]);
            reg.erase(reg.begin(), reg.begin() + c.segment);
            reg.insert(reg.end(), stream.begin(), stream.begin() + c.segment);
        }
        const Args ofbArgs = cipher + Args{"-m", "ofb" + bits};
        EXPECT_EQ(Expect(Rijndael(Args{"-e"} + ofbArgs, c.text)), ofb);
        EXPECT_EQ(Expect(Rijndael(Args{"-d"} + ofbArgs, ofb)), c.text);
    }
}

// -p php against mcrypt_encrypt and mcrypt_decrypt at the lengths where zero padding
// has edges: an empty text is one block of zeros, in ECB and CBC only.
TEST(LegacyLayouts, PhpZeroPaddingBothWays) {
    std::mt19937_64 rng(7);
    std::vector<Args> runs;
    std::vector<std::string> texts, jobs;
    for (int block : {16, 24, 32}) {
        const std::size_t b = std::size_t(block);
        for (const char* mode : {"ecb", "cbc", "ncfb"}) {
            for (std::size_t n : {std::size_t(0), std::size_t(1), b - 1, b, b + 1}) {
                const Bytes key = RandomBytes(rng, 32), iv = RandomBytes(rng, b);
                texts.push_back(Text(rng, n));
                jobs.push_back("e rijndael-" + std::to_string(8 * block) + " " + mode + " " +
                               Job(key) + " " + Job(iv) + " " + Job(texts.back()));
                runs.push_back(
                    {"-b", std::to_string(block), "-m", mode, "-p", "php", "-K", ToHex(key)});
                if (mode != std::string("ecb")) runs.back() = runs.back() + Args{"-iv", ToHex(iv)};
            }
        }
    }
    const std::vector<std::string> php = PhpMcryptJobs(jobs);
    std::vector<std::string> opened, back;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(testing::PrintToString(runs[i]) + " on " + std::to_string(texts[i].size()));
        const std::string sealed = Expect(Rijndael(Args{"-e"} + runs[i], texts[i]));
        EXPECT_EQ(Hex(sealed), php[i]);
        opened.push_back(Expect(Rijndael(Args{"-d"} + runs[i], sealed)));
        EXPECT_EQ(opened.back().substr(0, texts[i].size()), texts[i]);
        EXPECT_EQ(Expect(Rijndael(Args{"-d", "-stripzeros"} + runs[i], sealed)), texts[i]);
        back.push_back("d" + jobs[i].substr(1, jobs[i].rfind(' ')) + Job(sealed));
    }
    const std::vector<std::string> phpOpened = PhpMcryptJobs(back);
    for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(Hex(opened[i]), phpOpened[i]) << i;
}

// The table in -h, which the manual page repeats, names for each of PHP's modes the -m
// that opens its data: held to PHP, for the narrowest and the widest block.
TEST(LegacyLayouts, HelpsNamesForPhpModesAreWhatPhpWrites) {
    const std::string help = Expect(Rijndael({"-h"}));
    std::istringstream table(help.substr(help.find("What PHP")));
    std::vector<std::pair<std::string, std::string>> names;
    for (std::string line; std::getline(table, line);) {
        // Each quoted name of PHP's, in order, with each "-m MODE", in order.
        std::size_t php = line.find('"'), m = line.find("-m ");
        for (; php != std::string::npos && m != std::string::npos;
             php = line.find('"', line.find('"', php + 1) + 1), m = line.find("-m ", m + 3)) {
            const std::size_t close = line.find('"', php + 1),
                              end = line.find_first_of(", ", m + 3);
            names.emplace_back(line.substr(php + 1, close - php - 1),
                               line.substr(m + 3, end - m - 3));
        }
    }
    EXPECT_EQ(names.size(), 7u);
    std::mt19937_64 rng(6);
    std::vector<std::string> jobs;
    std::vector<std::pair<Args, std::string>> runs;
    for (const auto& [php, mode] : names) {
        for (int block : {16, 32}) {
            const Bytes key = RandomBytes(rng, 24), iv = RandomBytes(rng, std::size_t(block));
            const std::string text = Text(rng, std::size_t(2 * block + 5));
            jobs.push_back("e rijndael-" + std::to_string(8 * block) + " " + php + " " + Job(key) +
                           " " + Job(iv) + " " + Job(text));
            Args run = {"-e", "-b",      std::to_string(block), "-m", mode, "-p", "php",
                        "-K", ToHex(key)};
            runs.emplace_back(mode == "ecb" ? run : run + Args{"-iv", ToHex(iv)}, text);
        }
    }
    const std::vector<std::string> sealed = PhpMcryptJobs(jobs);
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(Hex(Expect(Rijndael(runs[i].first, runs[i].second))), sealed[i]) << jobs[i];
}

// A PHP table column of base64_encode($iv . $ct) strings (MCRYPT_RIJNDAEL_256, CBC,
// the key an md5() string), opened as records; and records the tool wrote with their
// IVs in front, opened by PHP. The same layout as one stream, with -a.
TEST(LegacyLayouts, IvInFrontOfEachRecordAndOfAStream) {
    std::mt19937_64 rng(56);
    const std::string key = "0cc175b9c0f1b6a831c399e269772661";  // md5("a")
    const Bytes keyBytes(key.begin(), key.end());
    std::vector<std::string> texts, ivs, jobs;
    for (std::size_t n : {1, 31, 32, 33, 100}) {
        texts.push_back(Text(rng, n, true));
        ivs.push_back(S(RandomBytes(rng, 32)));
        jobs.push_back("e rijndael-256 cbc " + Job(keyBytes) + " " + Hex(ivs.back()) + " " +
                       Job(texts.back()));
    }
    const std::vector<std::string> sealed = PhpMcryptJobs(jobs);
    std::string column, expected;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        column += Base64(ivs[i] + Unhex(sealed[i])) + "\n";
        expected += Base64(texts[i]) + "\n";
    }
    const Args cipher = {"-b", "32", "-p", "php", "-K", key, "-keyform", "text", "-ivprefix"};
    EXPECT_EQ(Expect(Rijndael(Args{"-d", "-records", "-stripzeros"} + cipher, column)), expected);

    std::string raw;
    for (const std::string& t : texts) raw += t + (t.size() == 31 ? "\r\n" : "\n");
    std::istringstream ours(Expect(Rijndael(Args{"-e", "-records", "-raw"} + cipher, raw)));
    std::vector<std::string> opening;
    std::set<std::string> seen;
    for (std::string line; std::getline(ours, line);) {
        const std::string record = S(OpensslUnbase64(line));
        seen.insert(record.substr(0, 32));
        opening.push_back("d rijndael-256 cbc " + Job(keyBytes) + " " + Hex(record.substr(0, 32)) +
                          " " + Hex(record.substr(32)));
    }
    EXPECT_EQ(seen.size(), texts.size());  // a fresh IV for each
    const std::vector<std::string> opened = PhpMcryptJobs(opening);
    ASSERT_EQ(opened.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(WithoutZeros(Unhex(opened[i])), texts[i]);

    const std::string stream = Expect(Rijndael(Args{"-e", "-a"} + cipher, texts[4]));
    const std::string record = S(OpensslUnbase64(stream));
    EXPECT_EQ(Unhex(PhpMcryptJobs({"d rijndael-256 cbc " + Job(keyBytes) + " " +
                                   Hex(record.substr(0, 32)) + " " + Hex(record.substr(32))})[0])
                  .substr(0, texts[4].size()),
              texts[4]);
    EXPECT_EQ(Expect(Rijndael(Args{"-d", "-a", "-stripzeros"} + cipher, stream)), texts[4]);
}

// Keys and IVs in every form applications kept them, each giving what the same bytes
// in hex give; and mcrypt's zero padding of a short key, against libmcrypt's.
TEST(LegacyLayouts, KeysAndIvsAsStored) {
    Dir dir;
    std::mt19937_64 rng(3);
    const std::string text = Text(rng, 100), rawKey = S(RandomBytes(rng, 31)) + "\n";
    const std::string printable = "Sup3r secret key for the Records";
    const Bytes iv = RandomBytes(rng, 16);
    const Args cbc = {"-iv", ToHex(iv)};
    const std::string expected = Expect(Rijndael(Args{"-e", "-K", Hex(rawKey)} + cbc, text));
    Spill(dir / "raw", rawKey);
    Spill(dir / "b64", Base64(rawKey) + "\n");
    Spill(dir / "text", printable + "\r\n");
    const std::vector<Args> same = {
        Args{"-K", Base64(rawKey), "-keyform", "base64"} + cbc,
        Args{"-kfile", dir / "b64", "-keyform", "base64"} + cbc,
        Args{"-kfile", dir / "raw", "-keyform", "raw"} + cbc,  // which ends in a line break
        {"-K", Hex(rawKey), "-iv", Base64(S(iv)), "-ivform", "base64"},
    };
    for (const Args& form : same)
        EXPECT_EQ(Expect(Rijndael(Args{"-e"} + form, text)), expected) << form[1];
    // A key file that comes in pieces, as from a pipe.
    mkfifo((dir / "fifo").c_str(), 0600);
    std::thread writer([&] {
        std::ofstream fifo(dir / "fifo");
        fifo << Hex(rawKey).substr(0, 9) << std::flush;
        usleep(50000);
        fifo << Hex(rawKey).substr(9);
    });
    EXPECT_EQ(Expect(Rijndael(Args{"-e", "-kfile", dir / "fifo"} + cbc, text)), expected);
    writer.join();
    EXPECT_EQ(Expect(Rijndael(Args{"-e", "-kfile", dir / "text", "-keyform", "text"} + cbc, text)),
              Expect(Rijndael(Args{"-e", "-K", Hex(printable)} + cbc, text)));
    EXPECT_EQ(Expect(Rijndael({"-e", "-K", printable, "-keyform", "text", "-iv", "0123456789abcdef",
                               "-ivform", "text"},
                              text)),
              Expect(Rijndael({"-e", "-K", Hex(printable), "-iv", Hex("0123456789abcdef")}, text)));
    for (std::size_t n : {1, 5, 15, 17, 23, 25, 31}) {
        const std::string shortKey = printable.substr(0, n), blocks = text.substr(0, 32);
        EXPECT_EQ(Expect(Rijndael(
                      {"-e", "-m", "ecb", "-nopad", "-padkey", "-keyform", "text", "-K", shortKey},
                      blocks)),
                  S(McryptRijndael(true, 16, Bytes(shortKey.begin(), shortKey.end()),
                                   Bytes(blocks.begin(), blocks.end()))))
            << n;
    }
}

// A table of 10 000 records with bad ones among them: each good record's line right,
// each bad one empty with its line number and reason on standard error, status 1;
// the good ones alone, status 0. AES-128-CBC with the IV in front, from OpenSSL.
TEST(LegacyLayouts, TablesOfRecords) {
    std::mt19937_64 rng(10000);
    const Bytes key = RandomBytes(rng, 16);
    std::string table, good, expected, allGood;
    std::string errors;
    std::map<std::size_t, std::pair<std::string, std::string>> bad = {
        {17, {"QUJD*", "invalid Base64 at character 5"}},
        {400, {"QUJDRA", "invalid Base64: the line ends inside a group of four characters"}},
        {401,
         {Base64(std::string(10, 'x')),
          "10 bytes, fewer than the IV in front of them, a block of 16"}},
        {5000,
         {Base64(std::string(40, 'x')),
          "24 bytes of cipher text cannot come from mode cbc with padding pkcs7 and 16-byte "
          "blocks"}},
        {9999, {Base64(std::string(48, 'x')), "bad decrypt"}},
        {10000,
         {std::string(3 << 20, 'A'), "longer than 1048576 characters, the most a record may have"}},
    };
    for (std::size_t line = 1; line <= 10000; ++line) {
        if (bad.count(line)) {
            table += bad[line].first + "\n";
            expected += "\n";
            errors += "rijndael: line " + std::to_string(line) + ": " + bad[line].second + "\n";
            continue;
        }
        const std::string text = S(RandomBytes(rng, rng() % 40));
        const Bytes iv = RandomBytes(rng, 16);
        const Bytes sealed =
            OpensslCipher(true, "aes-128-cbc", key, iv, Bytes(text.begin(), text.end()), true);
        const std::string record = Base64(S(iv) + S(sealed)) + (line % 7 ? "\n" : "\r\n");
        table += record;
        allGood += record;
        expected += Base64(text) + "\n";
        good += Base64(text) + "\n";
    }
    const Args records = {"-d", "-records", "-ivprefix", "-K", ToHex(key)};
    const Outcome o = Rijndael(records, table);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, expected);
    EXPECT_EQ(o.err, errors);
    allGood.pop_back();  // a last line without its line break is a record too
    EXPECT_EQ(Expect(Rijndael(records, allGood)), good);
}

}  // namespace
