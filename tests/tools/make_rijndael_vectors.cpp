// Writes tests/vectors/rijndael_ecb.txt: Rijndael answers from libmcrypt for every
// key and block size, on keys and blocks drawn from a fixed seed.
//   build/tests/make_rijndael_vectors > tests/vectors/rijndael_ecb.txt
#include <cstdio>

#include "../McryptOracle.h"

int main() {
    std::mt19937_64 rng(20261206);
    std::printf(
        "# Rijndael ECB from libmcrypt 2.5.8 (rijndael-128/192/256), made by "
        "tests/tools/make_rijndael_vectors.cpp.\n"
        "# block bytes, key, plaintext, ciphertext (hex); the plaintext is two blocks.\n");
    for (int blockSize : {16, 24, 32}) {
        for (int keylength : {16, 24, 32}) {
            for (int i = 0; i < 3; ++i) {
                const Bytes key = RandomBytes(rng, std::size_t(keylength));
                const Bytes plain = RandomBytes(rng, std::size_t(2 * blockSize));
                const Bytes sealed = McryptRijndaelEcb(true, blockSize, key, plain);
                std::printf("%d %s %s %s\n", blockSize, ToHex(key).c_str(), ToHex(plain).c_str(),
                            ToHex(sealed).c_str());
            }
        }
    }
    return 0;
}
