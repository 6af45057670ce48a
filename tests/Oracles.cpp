#include "Oracles.h"

#include <mcrypt.h>
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
    std::string algorithm = "rijndael-" + std::to_string(blockSize * 8);
    char mode[] = "ecb";
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, mode, nullptr);
    if (td == MCRYPT_FAILED) throw std::runtime_error("mcrypt cannot open " + algorithm);
    Bytes keyCopy = key, out = data;
    bool failed = mcrypt_generic_init(td, keyCopy.data(), int(keyCopy.size()), nullptr) < 0;
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
