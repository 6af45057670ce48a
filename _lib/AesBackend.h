// The interface between CRijnDael and the CPU-specific AES back ends.
//
// A back end runs whole 16-byte blocks through the AES round function with round
// keys given as bytes in block order (row 0 is added first; for decryption the rows
// are those of the equivalent inverse cipher, as CRijnDael keeps them in m_Kd). It
// also offers the two key-schedule steps that would otherwise look bytes up in a
// table indexed by the key, so that keying does not leak the key through the cache.
//
// Each Get...Backend() answers null when this CPU or its operating system lacks what
// that back end needs, so callers and tests can list the back ends that run here.
// A null active back end means the portable lookup-table rounds.
#ifndef SEALWRIT_AES_BACKEND_H
#define SEALWRIT_AES_BACKEND_H

#include <cstddef>
#include <vector>

#include "../_inc/Lib.h"

struct AesBackend {
    const char* name;
    // rk holds rounds + 1 rows; in and out may be the same buffer.
    void (*encrypt_blocks)(const BYTE (*rk)[16], int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks);
    void (*decrypt_blocks)(const BYTE (*rk)[16], int rounds, const BYTE* in, BYTE* out,
                           std::size_t blocks);
    // The S-box applied to each byte of a word.
    DWORD (*sub_word)(DWORD w);
    // InvMixColumns of one column, its first byte in the top bits of w.
    DWORD (*inv_mix_column)(DWORD w);
};

const AesBackend* GetAesniBackend();
const AesBackend* GetVaes256Backend();
const AesBackend* GetVaes512Backend();

// Those of the back ends above that run here, narrowest first.
std::vector<const AesBackend*> AvailableAesBackends();

// The back end CRijnDael uses, chosen once from what the CPU offers.
const AesBackend* ActiveAesBackend();

// Lets tests run every path this machine has, the table rounds (null) included.
// Not for use while another thread encrypts.
void SelectAesBackendForTesting(const AesBackend* backend);

#endif
