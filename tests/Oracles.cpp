#include "Oracles.h"

#include <mcrypt.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Spawn.h"

Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data) {
    const std::string name = "aes-" + std::to_string(8 * key.size()) + "-ecb";
    const auto whole = data.begin() + long(data.size() / 16 * 16);
    Bytes out = OpensslCipher(encrypt, name, key, {}, Bytes(data.begin(), whole));
    out.insert(out.end(), whole, data.end());
    return out;
}

Bytes OpensslCipher(bool encrypt, const std::string& name, const Bytes& key, const Bytes& iv,
                    const Bytes& data, bool pkcs7) {
    const EVP_CIPHER* cipher = EVP_get_cipherbyname(name.c_str());
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto* v = iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data());
    Bytes out(data.size() + 32);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    int body = 0, tail = 0;
    if (!cipher || !ctx ||
        EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, v, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), pkcs7 ? 1 : 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), o, &body, reinterpret_cast<const unsigned char*>(data.data()),
                         int(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), o + body, &tail) != 1) {
        throw std::runtime_error("OpenSSL " + name + " failed");
    }
    out.resize(std::size_t(body + tail));
    return out;
}

Bytes McryptRijndael(bool encrypt, int blockSize, const Bytes& key, const Bytes& data,
                     const char* mode, Bytes iv) {
    std::string algorithm = "rijndael-" + std::to_string(blockSize * 8), modeName = mode;
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, &modeName[0], nullptr);
    if (td == MCRYPT_FAILED) throw std::runtime_error("mcrypt cannot open " + algorithm);
    Bytes keyCopy = key, out = data;
    iv.resize(std::size_t(blockSize));
    bool failed = mcrypt_generic_init(td, keyCopy.data(), int(keyCopy.size()), iv.data()) < 0;
    if (!failed) {
        failed = !out.empty() && (encrypt ? mcrypt_generic : mdecrypt_generic)(
                                     td, out.data(), int(out.size())) != 0;
        mcrypt_generic_deinit(td);
    }
    mcrypt_module_close(td);
    if (failed) throw std::runtime_error("mcrypt " + modeName + " failed");
    return out;
}

std::string OpensslBase64(const Bytes& data) {
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                        reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    out.resize(std::size_t(n));
    return out;
}

Bytes OpensslUnbase64(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), ::isspace), text.end());
    Bytes out(text.size() / 4 * 3 + 1);
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    if (n < 0) throw std::runtime_error("OpenSSL cannot decode Base64");
    // EVP_DecodeBlock counts the bytes that the padding stands for.
    const std::size_t tail = std::min<std::size_t>(2, text.size());
    out.resize(std::size_t(n) - std::size_t(std::count(text.end() - tail, text.end(), '=')));
    return out;
}

namespace {

std::vector<std::string> RunJobs(const Args& program, const std::vector<std::string>& jobs) {
    std::string input;
    for (const std::string& job : jobs) input += job + "\n";
    const Outcome o = Child(program).Finish(input);
    if (o.status != 0 || !o.err.empty()) {
        throw std::runtime_error(program.back() + " failed: " + o.err);
    }
    std::vector<std::string> answers;
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);) answers.push_back(line);
    if (answers.size() != jobs.size()) throw std::runtime_error(program.back() + ": answers lost");
    return answers;
}

}  // namespace

std::vector<std::string> PhpMcryptJobs(const std::vector<std::string>& jobs) {
    return RunJobs({SEALWRIT_PHP, SEALWRIT_MCRYPT_JOBS}, jobs);
}

std::vector<std::string> RijndaelManagedJobs(const std::vector<std::string>& jobs) {
    return RunJobs({SEALWRIT_MONO, SEALWRIT_RIJNDAEL_MANAGED_JOBS}, jobs);
}
