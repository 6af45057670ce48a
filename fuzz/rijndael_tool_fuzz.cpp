// The fuzz target for what the rijndael tool parses, and its replay: the Base64 decoder
// fed in pieces, hex, the command line with the key and IV reader behind it, and the
// record splitter. Each is held to the rule its header states, and the decoder in
// pieces to the decoder in one call.
//
// Built as a GoogleTest program (every native build), the checks run on seeded
// inputs; built with -fsanitize=fuzzer, libFuzzer drives them.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "../rijndael/Base64Stream.h"
#include "../rijndael/Hex.h"
#include "../rijndael/KeyReader.h"
#include "../rijndael/Options.h"
#include "../rijndael/Records.h"
#include "Oracles.h"
#include "Spawn.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Standard error as it was at start, for failures: the checks move it aside.
const int g_stderr = dup(2);
#define CHECK(condition) \
    ((condition) ? void() : (dprintf(g_stderr, "failed: %s\n", #condition), std::abort()))

// Standard error (or any descriptor) moved elsewhere for a while: the tool reports
// every refusal there, and a million of them would drown the fuzzer's own output.
class Redirect {
public:
    Redirect(int fd, int to) : m_fd(fd), m_saved(dup(fd)) { dup2(to, fd); }
    ~Redirect() { dup2(m_saved, m_fd), close(m_saved); }

private:
    int m_fd, m_saved;
};
const int g_null = open("/dev/null", O_WRONLY | O_CLOEXEC);

// Text mostly of the characters that matter to a parser, drawn from `alphabet`.
std::string Draw(FuzzedDataProvider& in, const char* alphabet, std::size_t most) {
    std::string text = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, most));
    for (char& c : text) c = alphabet[std::uint8_t(c) % std::strlen(alphabet)];
    return text;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Base64 as the decoder takes it: white space anywhere, whole groups of four, "=" only
// as the last one or two characters of the last group.
bool ValidBase64(const std::string& text, std::string* clean) {
    for (char c : text)
        if (!IsSpace(c)) *clean += c;
    const std::size_t n = clean->size(), pad = n - clean->find_last_not_of('=') - 1;
    if (n % 4 != 0 || pad > 2) return false;
    const std::string body = clean->substr(0, n - pad);
    return body.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") ==
           std::string::npos;
}

void CheckBase64(FuzzedDataProvider& in) {
    // An encoding, white space strewn in, and now and then a character changed or the
    // end cut off.
    std::string text = OpensslBase64(in.ConsumeBytes<char>(in.ConsumeIntegralInRange(0, 400)));
    while (in.remaining_bytes() > 2 && in.ConsumeBool()) {
        const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, text.size());
        const char c = "\n \r\t=*A/"[in.ConsumeIntegralInRange(0, 8)];
        if (in.ConsumeIntegralInRange(0, 3) > 0 || c == '*') {
            text.insert(at, 1, IsSpace(c) ? c : ' ');
        } else if (at < text.size()) {
            text[at] = c;
        } else {
            text.resize(text.size() / 2);
        }
    }
    std::string clean, whole(Base64Decoder::Bound(text.size()), '\0'), pieces;
    Base64Decoder one, many;
    std::size_t n = 0;
    const bool ok =
        one.Update(text.data(), text.size(), reinterpret_cast<unsigned char*>(&whole[0]), &n) &&
        one.Finish();
    whole.resize(n);
    bool piecesOk = true;
    for (std::size_t at = 0, size; at < text.size() && piecesOk; at += size) {
        size = std::min(text.size() - at, in.ConsumeIntegralInRange<std::size_t>(1, 9));
        std::string out(Base64Decoder::Bound(size), '\0');
        piecesOk =
            many.Update(text.data() + at, size, reinterpret_cast<unsigned char*>(&out[0]), &n);
        pieces += out.substr(0, n);
    }
    CHECK(ok == (piecesOk && many.Finish()));
    CHECK(ok == ValidBase64(text, &clean));
    if (!ok) return CHECK(!piecesOk || one.ErrorOffset() == many.ErrorOffset());
    CHECK(pieces == whole && S(OpensslUnbase64(clean)) == whole);
}

void CheckHex(FuzzedDataProvider& in) {
    const bool spaces = in.ConsumeBool();
    const std::string text = Draw(in, "0123456789abcdefABCDEFx \n", 100);
    std::string digits;
    for (char c : text)
        if (!(spaces && IsSpace(c))) digits += c;
    const bool valid = digits.size() % 2 == 0 &&
                       digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    unsigned char out[64];
    std::size_t n = 0;
    Redirect quiet(2, g_null);
    CHECK(ParseHex("fuzz", text.data(), text.size(), spaces, out, sizeof out, &n) == valid);
    if (valid)
        CHECK(n == digits.size() / 2 && ToHex(Bytes(out, out + std::min<std::size_t>(n, 64))) ==
                                            ToHex(FromHex(digits)).substr(0, 128));
}

// A command line of the options' words and values, some of them wrong, through the
// parser and the key and IV reader; and every secret argument wiped afterwards.
void CheckOptions(FuzzedDataProvider& in) {
    // Each slot a choice of options, some of them wrong; a slot may be left out.
    static const std::vector<std::vector<const char*>> kSlots = {
        {"-e", "-d", "-P"},
        {"-K 00112233445566778899aabbccddeeff", "-K MDEyMzQ1Njc4OWFiY2RlZg== -keyform base64",
         "-K 0123456789abcdef0123456789abcdef -keyform text", "-K short -keyform raw -padkey",
         "-K 0011", "-kfile /nonexistent", "-K 00 -k x"},
        {"-iv 00112233445566778899aabbccddeeff", "-iv 0123456789abcdef -ivform text",
         "-iv AAECAwQFBgcICQoLDA0ODw== -ivform base64", "-ivprefix", "-iv 00"},
        {"-m cbc", "-m ecb", "-m cfb64", "-m ofb200", "-m ncfb", "-b 24", "-aes-128-cbc", "-aes256",
         "-rijndael-256", "-rijndael-192-cfb8", "-m cfb12", "-aes-128-ecb -b 16"},
        {"-p php", "-p zeros -stripzeros", "-nopad", "-p pkcs7", "-stripzeros", "-p"},
        {"-a", "-a -A", "-records", "-records -hex -raw", "-A", "-hex"},
    };
    std::vector<std::string> words = {"rijndael"};
    for (const auto& slot : kSlots) {
        if (in.ConsumeIntegralInRange(0, 5) == 0) continue;
        std::istringstream options(
            slot[in.ConsumeIntegralInRange<std::size_t>(0, slot.size() - 1)]);
        for (std::string word; options >> word;) words.push_back(word);
    }
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    Options o;
    Redirect quiet(2, g_null);
    const ParseResult parsed = ParseOptions(int(argv.size()), argv.data(), &o);
    const std::string key = o.key ? o.key : "", iv = o.iv ? o.iv : "";
    if (parsed == PARSED) {
        CHECK((o.key == nullptr) != (o.keyFile == nullptr) && o.segment <= o.blockSize);
        CHECK(o.printKey || (o.mode == CRijnDaelMode::ECB) == (o.iv == nullptr && !o.ivPrefix));
        CHECK(!o.stripZeros || (o.decrypt && o.padding < CRijnDaelMode::PKCS7));
        KeyMaterial k;
        if (o.key != nullptr && ReadKeyMaterial(o, &k)) {
            CHECK(k.keyLength % 8 == 0 && k.keyLength >= 16 && k.keyLength <= 32);
            CHECK(o.keyBytes == 0 || k.keyLength == std::size_t(o.keyBytes));
            CHECK((k.iv != nullptr) == (o.iv != nullptr));
        }
    }
    WipeSecretArguments(o);
    WipeKeyMaterial();
    for (const std::string* secret : {&key, &iv}) {
        const char* arg = secret == &key ? o.key : o.iv;
        if (arg != nullptr)
            CHECK(std::string(arg, secret->size()) == std::string(secret->size(), '\0'));
    }
}

// Runs a table of records from in to a memory file; returns what it wrote.
std::string RunTable(const Options& o, const KeyMaterial& k, const std::string& in, int* status) {
    const int from = memfd_create("in", 0), to = memfd_create("out", 0);
    CHECK(write(from, in.data(), in.size()) == ssize_t(in.size()) && lseek(from, 0, SEEK_SET) == 0);
    {
        Redirect out(1, to), quiet(2, g_null);
        OutputFile file;
        *status = RunRecords(o, k, from, -1, &file);
    }
    std::string written(std::size_t(lseek(to, 0, SEEK_END)), '\0');
    CHECK(pread(to, &written[0], written.size(), 0) == ssize_t(written.size()));
    close(from), close(to);
    return written;
}

// Lines of text through -records -raw: encrypted, every line gives one record, and
// decrypted, the lines come back.
void CheckRecords(FuzzedDataProvider& in) {
    static const unsigned char kKey[16] = {1, 2, 3};
    Options o;
    o.records = o.raw = true;
    o.mode = in.ConsumeBool() ? CRijnDaelMode::CBC : CRijnDaelMode::CTR;
    o.padding = o.mode == CRijnDaelMode::CBC ? CRijnDaelMode::PKCS7 : CRijnDaelMode::NONE;
    o.ivPrefix = true;
    o.hex = in.ConsumeBool();
    const KeyMaterial k{kKey, 16, nullptr};
    std::string lines = Draw(in, "abc \n\n", 3000);
    int status = 0;
    const std::string sealed = RunTable(o, k, lines, &status);
    CHECK(status == 0);
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    CHECK(std::count(sealed.begin(), sealed.end(), '\n') ==
          std::count(lines.begin(), lines.end(), '\n'));
    o.decrypt = true;
    CHECK(RunTable(o, k, sealed, &status) == lines && status == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            CheckBase64(in);
            break;
        case 1:
            CheckHex(in);
            break;
        case 2:
            CheckOptions(in);
            break;
        default:
            CheckRecords(in);
            break;
    }
    return 0;
}

TEST(ToolParsers, SeededFuzzInputs) {
    std::mt19937_64 rng(28);
    for (int i = 0; i < 4000; ++i) {
        const Bytes input = RandomBytes(rng, rng() % 700);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
}
