#include "TestSupport.h"

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
