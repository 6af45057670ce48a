// Encrypts and decrypts the FIPS-197 Appendix C.1 block with the SEALWRIT library;
// exits 0 when both give the published answers, and names the version of the
// headers it was built with.
#include <sealwrit/CRijnDael.h>
#include <sealwrit/Config.h>

#include <cstdio>
#include <cstring>

int main() {
    const unsigned char key[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                   0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
    const unsigned char plain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                     0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    const unsigned char expected[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                        0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
    CRijnDael cipher;
    cipher.SetKey(reinterpret_cast<const char*>(key), 16, 16);
    char sealed[16], opened[16];
    cipher.Encrypt(reinterpret_cast<const char*>(plain), sealed, 16);
    cipher.Decrypt(sealed, opened, 16);
    const bool ok = std::memcmp(sealed, expected, 16) == 0 && std::memcmp(opened, plain, 16) == 0;
    std::printf("consumer: %s, SEALWRIT %s\n", ok ? "ok" : "WRONG ANSWER", SEALWRIT_VERSION);
    return ok ? 0 : 1;
}
