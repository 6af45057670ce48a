#include "Oracles.h"

#include <mcrypt.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>

Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    Bytes out = data;
    const int whole = static_cast<int>(data.size() / 16 * 16);
    int written = 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        (whole > 0 &&
         EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                          reinterpret_cast<const unsigned char*>(data.data()), whole) != 1) ||
        written != whole) {
        throw std::runtime_error("OpenSSL AES failed");
    }
    return out;
}

Bytes McryptRijndaelEcb(bool encrypt, int blockSize, const Bytes& key, const Bytes& data) {
    return McryptRijndael("ecb", encrypt, blockSize, key, Bytes(), data);
}

Bytes McryptRijndael(const char* mode, bool encrypt, int blockSize, const Bytes& key,
                     const Bytes& iv, const Bytes& data) {
    std::string algorithm = "rijndael-" + std::to_string(blockSize * 8), modeName = mode;
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, &modeName[0], nullptr);
    if (td == MCRYPT_FAILED)
        throw std::runtime_error("mcrypt cannot open " + algorithm + " " + mode);
    Bytes keyCopy = key, ivCopy = iv, out = data;
    bool failed = mcrypt_generic_init(td, keyCopy.data(), int(keyCopy.size()),
                                      ivCopy.empty() ? nullptr : ivCopy.data()) < 0;
    if (!failed) {
        failed = !out.empty() && (encrypt ? mcrypt_generic : mdecrypt_generic)(
                                     td, out.data(), int(out.size())) != 0;
        mcrypt_generic_deinit(td);
    }
    mcrypt_module_close(td);
    if (failed) throw std::runtime_error("mcrypt failed");
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
    out.resize(std::size_t(n) -
               std::size_t(std::count(text.end() - std::min<std::size_t>(2, text.size()),
                                      text.end(), '=')));
    return out;
}
