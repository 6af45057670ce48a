// Run under valgrind memcheck: the key and the data are marked undefined, so any
// branch or memory address that depends on them is reported as a use of an
// undefined value. Every path must come out clean; WHAT "table" indexes a table
// with a secret byte, as table rounds would, and must be reported, which shows
// that the check can fail.
//
//   valgrind --error-exitcode=1 constant_time_check PATH WHAT
//
// PATH is the name of a path ("portable", "aesni", ...); WHAT is "key" (keying with a secret
// key, then encrypting public data with the secret round keys), "data" (a public key, secret data)
// or "table". Every key length with every block length is keyed and run, and CRijnDaelMode's
// modes and paddings both ways with a secret IV, but for CTR's: its counter is sent in the
// clear, and the code may branch on its rare carry. Exit status 77 means this CPU, as
// valgrind presents it, lacks PATH.
#include <valgrind/memcheck.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "../_lib/CipherAccess.h"
#include "TestSupport.h"

namespace {

void MarkSecret(void* p, std::size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }

const int kLength = 16 * 37 + 9;  // every wide path's full stride, then a tail

// Every operation: whole 16-byte blocks, a tail, in place, one block of the object's
// size (in place too), whole buffers of the object's blocks through the table's ECB
// (in place too), and for 16-byte objects the multi-key walk.
void RunEveryOperation(CRijnDael* keys, int nKeys, char* in, char* out) {
    CRijnDael& cipher = keys[0];
    cipher.Encrypt(in, out, kLength);
    cipher.Decrypt(in, out, kLength);
    cipher.Encrypt(out, out, kLength);
    cipher.EncryptBlock(in, out);
    cipher.DecryptBlock(in, out);
    cipher.EncryptBlock(out, out);
    const std::size_t blocks = kLength / std::size_t(cipher.GetBlockSize());
    BYTE* const raw = reinterpret_cast<BYTE*>(out);
    CipherAccess::Ecb(cipher, false, reinterpret_cast<const BYTE*>(in), raw, blocks);
    CipherAccess::Ecb(cipher, true, reinterpret_cast<const BYTE*>(in), raw, blocks);
    CipherAccess::Ecb(cipher, false, raw, raw, blocks);
    if (cipher.GetBlockSize() != 16) return;  // the walk takes 16-byte objects only
    CRijnDael::EncryptBlock(keys, nKeys, in, out, kLength);
    CRijnDael::DecryptBlock(keys, nKeys, in, out, kLength);
    CRijnDael::EncryptBlock(keys, nKeys, in, out, 16 * 5);  // under two blocks a key
}

// Every mode, padding and segment, encrypting and then decrypting what that gave, in one
// call and in pieces that leave bytes held between calls. A decryption's result and
// length say whether the padding checked, which the caller is told: they are not
// looked at here.
void RunEveryMode(const CRijnDael& cipher, const char* in, char* out) {
    typedef CRijnDaelMode M;
    const std::size_t n = 192;  // whole blocks of every size; the CFB unit of 5 left over
    static char iv[32], sealed[n + 32];
    MarkSecret(iv, sizeof iv);
    for (int mode = M::ECB; mode <= M::CTR; ++mode) {
        if (mode == M::CTR) VALGRIND_MAKE_MEM_DEFINED(iv, sizeof iv);
        for (int padding = M::NONE; padding <= M::ISO10126; ++padding) {
            for (int segment : {0, 1, 5}) {
                if (segment != 0 && mode != M::CFB && mode != M::OFB) continue;
                std::size_t length = 0, written;
                M::Encrypt(cipher, M::Mode(mode), M::Padding(padding), iv, in, n, sealed, &length,
                           segment);
                M::Decrypt(cipher, M::Mode(mode), M::Padding(padding), iv, sealed, length, out,
                           &written, segment);
                for (const bool decrypt : {false, true}) {
                    M message;
                    message.Begin(cipher, M::Mode(mode), M::Padding(padding), decrypt, iv, segment);
                    const char* from = decrypt ? sealed : in;
                    const std::size_t total = decrypt ? length : n;
                    for (std::size_t at = 0, piece; at < total; at += piece) {
                        piece = std::min<std::size_t>(total - at, 7);
                        message.Update(from + at, piece, out, &written);
                    }
                    message.Finish(out, &written);
                }
            }
        }
    }
}

void Check(bool secretKey, bool secretData) {
    static char in[kLength], out[kLength];
    if (secretData) MarkSecret(in, sizeof in);
    for (int blockSize : {16, 24, 32}) {
        for (int keylength : {16, 24, 32}) {
            char key[32] = {};
            if (secretKey) MarkSecret(key, sizeof key);
            CRijnDael cipher;
            cipher.SetKey(key, keylength, blockSize);
            RunEveryOperation(&cipher, 1, in, out);
            if (keylength == blockSize) RunEveryMode(cipher, in, out);
        }
    }
    char keyRun[48] = {};
    if (secretKey) MarkSecret(keyRun, sizeof keyRun);
    CRijnDael multi[3];
    CRijnDael::SetKeys(multi, keyRun, 3, 48);
    RunEveryOperation(multi, 3, in, out);
}

// What table rounds do: read a table at a secret index.
int SecretTableIndex() {
    static const unsigned char table[256] = {1, 2, 3};
    unsigned char secret = 1;
    MarkSecret(&secret, 1);
    const volatile unsigned char value = table[secret];
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[2], "table") == 0) return SecretTableIndex() == 0;
    if (argc != 3 || (std::strcmp(argv[2], "key") != 0 && std::strcmp(argv[2], "data") != 0)) {
        std::fprintf(stderr, "usage: %s PATH key|data|table\n", argv[0]);
        return 2;
    }
    const std::string wanted = argv[1];
    const bool secretKey = std::strcmp(argv[2], "key") == 0;
    for (const CipherPath& path : AvailablePaths()) {
        if (path.name != wanted) continue;
        ScopedPath use(path);
        Check(secretKey, !secretKey);
        return 0;
    }
    std::fprintf(stderr, "%s: no path named %s on this CPU\n", argv[0], argv[1]);
    return 77;
}
