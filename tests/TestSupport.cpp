#include "TestSupport.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "../_lib/CipherAccess.h"

Bytes FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length: " + hex);
    Bytes out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return out;
}

std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[c & 15];
    }
    return out;
}

Bytes RandomBytes(std::mt19937_64& rng, std::size_t n) {
    Bytes out(n);
    for (char& c : out) c = static_cast<char>(rng() & 0xFF);
    return out;
}

Bytes CryptBlocks(bool encrypt, const CRijnDael& cipher, const Bytes& in) {
    Bytes out(in.size());
    const std::size_t size = std::size_t(cipher.GetBlockSize());
    for (std::size_t at = 0; size > 0 && at + size <= in.size(); at += size) {
        CryptBlock(encrypt, cipher, in.data() + at, out.data() + at);
    }
    return out;
}

CRijnDaelMode::Result RunMode(bool decrypt, const CRijnDael& key, const ModeShape& shape,
                              const Bytes& iv, const Bytes& in, Bytes* out, std::mt19937_64* pieces,
                              bool inPlace) {
    const std::size_t block = std::size_t(key.GetBlockSize());
    const char* v = iv.empty() ? nullptr : iv.data();
    out->clear();
    std::size_t written = 0;
    if (pieces == nullptr) {
        Bytes buffer(in.size() + block, '\x5a');
        std::copy(in.begin(), in.end(), buffer.begin());
        const auto call = decrypt ? CRijnDaelMode::Decrypt : CRijnDaelMode::Encrypt;
        const CRijnDaelMode::Result result =
            call(key, shape.mode, shape.padding, v, inPlace ? buffer.data() : in.data(), in.size(),
                 buffer.data(), &written, shape.segment);
        out->assign(buffer.begin(), buffer.begin() + long(written));
        return result;
    }
    CRijnDaelMode message;
    CRijnDaelMode::Result result =
        message.Begin(key, shape.mode, shape.padding, decrypt, v, shape.segment);
    for (std::size_t at = 0, n; at < in.size() && result == CRijnDaelMode::SUCCESS; at += n) {
        // Mostly short pieces, now and then one across a few chunks.
        n = std::min(in.size() - at,
                     std::size_t((*pieces)() % 8 ? (*pieces)() % (3 * block) : (*pieces)() % 9000));
        Bytes buffer(n + block);
        result = message.Update(in.data() + at, n, buffer.data(), &written);
        out->insert(out->end(), buffer.begin(), buffer.begin() + long(written));
        // Held input moved through out does not stay there.
        EXPECT_EQ(std::count(buffer.begin() + long(written), buffer.end(), 0),
                  long(n + block - written));
    }
    Bytes last(2 * block);
    if (result == CRijnDaelMode::SUCCESS) result = message.Finish(last.data(), &written);
    if (result == CRijnDaelMode::SUCCESS)
        out->insert(out->end(), last.begin(), last.begin() + long(written));
    return result;
}

void ExpectModeAnswer(const CRijnDael& key, const ModeShape& shape, const Bytes& iv,
                      const Bytes& plain, const Bytes& sealed, std::mt19937_64& pieces,
                      const Bytes& stripped) {
    Bytes out;
    for (std::mt19937_64* split : {static_cast<std::mt19937_64*>(nullptr), &pieces}) {
        SCOPED_TRACE(split ? "in pieces" : "in one call");
        EXPECT_EQ(RunMode(false, key, shape, iv, plain, &out, split, !split),
                  CRijnDaelMode::SUCCESS);
        EXPECT_EQ(ToHex(out), ToHex(sealed));
        EXPECT_EQ(RunMode(true, key, shape, iv, sealed, &out, split), CRijnDaelMode::SUCCESS);
        EXPECT_EQ(ToHex(out), ToHex(stripped.empty() ? plain : stripped));
    }
}

void CheckWholeWideBuffersEcb(
    std::mt19937_64& rng,
    const std::function<Bytes(const CRijnDael&, const Bytes& key, const Bytes& plain)>& encrypt) {
    for (int size : {24, 32}) {
        for (int keylength : {16, 24, 32}) {
            SCOPED_TRACE(testing::Message()
                         << size << "-byte blocks, " << keylength << "-byte key");
            const Bytes key = RandomBytes(rng, std::size_t(keylength));
            CRijnDael cipher;
            cipher.SetKey(key.data(), keylength, size);
            const Bytes plain = RandomBytes(rng, 300 * std::size_t(size));
            CheckWholeBufferEcb(cipher, plain, encrypt(cipher, key, plain));
        }
    }
}

void CheckWholeBufferEcb(const CRijnDael& cipher, const Bytes& plain, const Bytes& sealed) {
    const std::size_t size = std::size_t(cipher.GetBlockSize());
    ASSERT_EQ(plain.size(), 300 * size);
    for (std::size_t n = 0; n <= 300; n += n < 40 ? 1 : 260) {
        for (const bool decrypt : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << n << " blocks, " << (decrypt ? "decrypt" : "encrypt"));
            const Bytes& from = decrypt ? sealed : plain;
            const Bytes& to = decrypt ? plain : sealed;
            const Bytes in(from.begin(), from.begin() + long(n * size));
            Bytes out(in.size() + size, '\x5a'), expected(to.begin(), to.begin() + long(n * size));
            CipherAccess::Ecb(cipher, decrypt, Raw(in), Raw(out), n);
            expected.resize(out.size(), '\x5a');
            EXPECT_EQ(out, expected);
            Bytes inPlace = in;
            CipherAccess::Ecb(cipher, decrypt, Raw(inPlace), Raw(inPlace), n);
            expected.resize(in.size());
            EXPECT_EQ(inPlace, expected);
        }
    }
}

std::vector<std::vector<std::string>> ReadVectorFile(const std::string& name) {
    const std::string path = std::string(SEALWRIT_VECTOR_DIR) + "/" + name;
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string field; fields >> field;) row.push_back(field);
        if (!row.empty() && row[0][0] != '#') rows.push_back(row);
    }
    return rows;
}

std::vector<CipherPath> AvailablePaths() {
    std::vector<CipherPath> paths;
    for (const AesPath& path : AvailableAesPaths()) paths.push_back({path.name, path.operations});
    return paths;
}
