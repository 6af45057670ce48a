// What the library's own code beside CRijnDael (the chaining modes, the tests of the
// operations) needs of a keyed object: its round keys in the form the operations
// take (backends/AesOperations.h), so that whole buffers of any block size can go
// to the table's ECB in one call.
#ifndef SEALWRIT_CIPHER_ACCESS_H
#define SEALWRIT_CIPHER_ACCESS_H

#include "../_inc/CRijnDael.h"
#include "backends/AesOperations.h"

namespace sealwrit::detail {

struct CipherAccess {
    // The encryption rows, or the equivalent inverse cipher's; GetRounds() + 1 of them.
    static const RoundKeyRow* Rows(const CRijnDael& key, bool decrypt) {
        return decrypt ? key.m_Kd : key.m_Ke;
    }

    // Electronic codebook over `blocks` whole blocks of the key's block size through
    // the table in use; in may equal out, no other overlap. The key must be keyed.
    static void Ecb(const CRijnDael& key, bool decrypt, const BYTE* in, BYTE* out,
                    std::size_t blocks) {
        RunEcb(ActiveOperations(), decrypt, Rows(key, decrypt), key.m_iROUNDS, key.m_blockSize, in,
               out, blocks);
    }

    // The chaining modes (backends/AesOperations.h): a message's encrypting direction
    // (CBC and CFB encryption, OFB either way) on any block size, its decrypting one
    // (CBC and CFB decryption) and the counter mode on 16-byte blocks.
    static void EncryptingFeedback(const CRijnDael& key, Feedback mode, BYTE* reg, const BYTE* in,
                                   BYTE* out, std::size_t blocks) {
        const AesOperations& ops = ActiveOperations();
        if (key.m_blockSize == 16) {
            ops.encrypt_feedback(key.m_Ke, key.m_iROUNDS, mode, reg, in, out, blocks);
        } else {
            ops.encrypt_wide_feedback(key.m_Ke, key.m_iROUNDS, key.m_blockSize, mode, reg, in, out,
                                      blocks);
        }
    }
    static void DecryptingFeedback(const CRijnDael& key, Feedback mode, BYTE* reg, const BYTE* in,
                                   BYTE* out, std::size_t blocks) {
        ActiveOperations().decrypt_feedback(Rows(key, mode == kCbc), key.m_iROUNDS, mode, reg, in,
                                            out, blocks);
    }
    static void Counter(const CRijnDael& key, BYTE* counter, const BYTE* in, BYTE* out,
                        std::size_t blocks) {
        ActiveOperations().counter(Rows(key, false), key.m_iROUNDS, counter, in, out, blocks);
    }

    // One block of the key's size on the form with the least latency, for a caller
    // that needs each block's result before it has the next (the serial modes).
    static void Block(const CRijnDael& key, bool decrypt, const BYTE* in, BYTE* out) {
        const AesOperations& ops = ActiveOperations();
        if (key.m_blockSize == 16) {
            (decrypt ? ops.decrypt_blocks : ops.encrypt_blocks)(Rows(key, decrypt), key.m_iROUNDS,
                                                                in, out, 1);
        } else {
            (decrypt ? ops.decrypt_wide_block : ops.encrypt_wide_block)(
                Rows(key, decrypt), key.m_iROUNDS, key.m_blockSize, in, out);
        }
    }
};

}  // namespace sealwrit::detail

#endif
