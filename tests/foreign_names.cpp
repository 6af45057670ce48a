// A program that uses SEALWRIT beside another system header's type names and with
// names of its own that match the library's internal ones. It must compile, link
// and run with both its own definitions and the library's intact.
#include <X11/Xmd.h>  // BYTE, BOOL, ... of other types than the library's
#include <sealwrit/CRijnDael.h>

#include <cstdio>
#include <cstring>

struct AesOperations {
    int rounds;
};
const char* kFamilyNames = "the program's own string";
const AesOperations* PortableEncryptBlocks() {
    static const AesOperations mine = {7};
    return &mine;
}

int main() {
    const char key[16] = {};
    // AES-128 of a zero block under the zero key (FIPS-197's cipher, checked against
    // any AES implementation).
    const unsigned char expected[16] = {0x66, 0xe9, 0x4b, 0xd4, 0xef, 0x8a, 0x2c, 0x3b,
                                        0x88, 0x4c, 0xfa, 0x59, 0xca, 0x34, 0x2b, 0x2e};
    CRijnDael cipher;
    cipher.SetKey(key, 16, 16);
    char block[16] = {};
    cipher.EncryptBlock(block, block);
    const BOOL ok = std::memcmp(block, expected, 16) == 0 && PortableEncryptBlocks()->rounds == 7 &&
                    std::strcmp(kFamilyNames, "the program's own string") == 0;
    std::puts(ok ? "foreign names: ok" : "foreign names: WRONG");
    return ok ? 0 : 1;
}
