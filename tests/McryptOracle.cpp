#include "McryptOracle.h"

#include <mcrypt.h>

#include <stdexcept>
#include <string>

Bytes McryptRijndaelEcb(bool encrypt, int blockSize, const Bytes& key, const Bytes& data) {
    std::string algorithm = "rijndael-" + std::to_string(blockSize * 8);
    char mode[] = "ecb";
    MCRYPT td = mcrypt_module_open(&algorithm[0], nullptr, mode, nullptr);
    if (td == MCRYPT_FAILED) throw std::runtime_error("mcrypt cannot open " + algorithm);
    Bytes keyCopy = key;
    if (mcrypt_generic_init(td, keyCopy.data(), int(keyCopy.size()), nullptr) < 0) {
        mcrypt_module_close(td);
        throw std::runtime_error("mcrypt rejects the key");
    }
    Bytes out = data;
    const int failed = out.empty() ? 0
                       : encrypt   ? mcrypt_generic(td, out.data(), int(out.size()))
                                   : mdecrypt_generic(td, out.data(), int(out.size()));
    mcrypt_generic_deinit(td);
    mcrypt_module_close(td);
    if (failed != 0) throw std::runtime_error("mcrypt failed");
    return out;
}
