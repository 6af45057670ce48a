#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
        const unsigned v = static_cast<unsigned char>(c);
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}

Bytes RandomBytes(std::mt19937_64& rng, std::size_t n) {
    Bytes out(n);
    for (char& c : out) c = static_cast<char>(rng() & 0xFF);
    return out;
}

Bytes CryptBuffer(bool encrypt, const CRijnDael& cipher, const Bytes& in) {
    Bytes out(in.size(), '\x5a');
    Crypt(encrypt, cipher, in.data(), out.data(), int(in.size()));
    return out;
}

Bytes CryptBlocks(bool encrypt, CRijnDael& cipher, const Bytes& in) {
    Bytes out(in.size(), '\x5a');
    const std::size_t size = std::size_t(cipher.GetBlockSize());
    for (std::size_t at = 0; size > 0 && at + size <= in.size(); at += size) {
        CryptBlock(encrypt, cipher, in.data() + at, out.data() + at);
    }
    return out;
}

std::vector<std::vector<std::string>> ReadVectorFile(const std::string& name) {
    const std::string path = std::string(SEALWRIT_VECTOR_DIR) + "/" + name;
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string field; fields >> field;) row.push_back(field);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

std::vector<CipherPath> AvailablePaths() {
    std::vector<CipherPath> paths;
    for (const AesBackend* backend : AvailableAesBackends()) {
        paths.push_back({backend->name, backend});
    }
    return paths;
}

ScopedPath::ScopedPath(const CipherPath& path) : m_previous(ActiveAesBackend()) {
    SelectAesBackendForTesting(path.backend);
}

ScopedPath::~ScopedPath() { SelectAesBackendForTesting(m_previous); }
