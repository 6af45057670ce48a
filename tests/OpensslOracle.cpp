#include "OpensslOracle.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        throw std::runtime_error("OpenSSL cipher set-up failed");
    }
    Bytes out = data;
    const int whole = static_cast<int>(data.size() / 16 * 16);
    int written = 0;
    if (whole > 0 &&
        EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                         reinterpret_cast<const unsigned char*>(data.data()), whole) != 1) {
        throw std::runtime_error("OpenSSL cipher update failed");
    }
    if (written != whole) throw std::runtime_error("OpenSSL wrote an unexpected length");
    return out;
}
