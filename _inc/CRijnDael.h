// CRijnDael: the Rijndael block cipher with 16-, 24- and 32-byte keys and blocks
// (AES when the block is 16 bytes), electronic-codebook buffer operations and a
// multi-key interface.
//
// Errors are reported the way the rest of this program reports them: a message on
// standard output, and the operation returns without producing output.
//   "Error: Empth key\n"             SetKey with a null key
//   "Error: Incorrect key length\n"   key length other than 16, 24 or 32
//   "Error: Incorrect block length\n" block length other than 16, 24 or 32
//   "Object not Initialized"          an operation on an object with no key
//
// A keyed object may be shared by any number of threads for every encryption and
// decryption operation: they only read it. SetKey writes it and needs it alone.
#ifndef SEALWRIT_CRIJNDAEL_H
#define SEALWRIT_CRIJNDAEL_H

#include <sealwrit/Config.h>

#include <array>

#include "Types.h"

namespace sealwrit::detail {
struct CipherAccess;  // the library's own code beside the class (_lib/CipherAccess.h)
}

class SEALWRIT_EXPORT CRijnDael {
public:
    // The type names of the signatures below (sealwrit::LPCSTR is const char*).
    typedef sealwrit::LPCSTR LPCSTR;
    typedef sealwrit::LPSTR LPSTR;
    typedef sealwrit::BOOL BOOL;

    // An unkeyed object: every member operation but SetKey prints "Object not
    // Initialized" and the accessors return 0. Destruction wipes the key schedule.
    CRijnDael();
    ~CRijnDael();

    // Expands a key of keylength bytes (16, 24 or 32) for blocks of blockSize bytes
    // (16, 24 or 32); key must hold keylength bytes. The checks run in the order
    // null key, key length, block length and only the first failure is printed;
    // a failed call leaves the object exactly as it was.
    void SetKey(LPCSTR key, int keylength, int blockSize);

    // Lengths in bytes and the round count (10, 12 or 14); 0 while unkeyed.
    int GetKeyLength() const;
    int GetBlockSize() const;
    int GetRounds() const;

    // Electronic codebook over n bytes in 16-byte steps with the 16-byte rounds,
    // whatever block size the object was keyed with; a tail shorter than 16 bytes
    // is copied unchanged, so the output is n bytes. result may equal in; no other
    // overlap gives what the 16-byte walk gives, each block written before the next
    // is read. On a keyed object, n <= 0 or a null buffer does nothing.
    void Encrypt(LPCSTR in, LPSTR result, int n) const;
    void Decrypt(LPCSTR in, LPSTR result, int n) const;

    // One block of GetBlockSize() bytes; result may equal in. On a keyed object a
    // null buffer does nothing.
    void EncryptBlock(LPCSTR in, LPSTR result) const;
    void DecryptBlock(LPCSTR in, LPSTR result) const;

    // Keys pKeys[0 .. nKeys-1] with consecutive 16-byte keys from pbtKeys (AES-128
    // each). Returns false, touching nothing, unless nKeys == nKeyLength / 16 (the
    // division truncating toward zero), or when nKeys > 0 and either pointer is null.
    // Bytes past the last whole key are ignored; a count of 0 or below, when it
    // matches, keys nothing and returns true.
    static BOOL SetKeys(CRijnDael* pKeys, LPCSTR pbtKeys, int nKeys, int nKeyLength);

    // Electronic codebook over nDataLen bytes in 16-byte blocks, block k with
    // pKeys[k % nKeys], starting at pKeys[0] on every call; a tail shorter than 16
    // bytes is copied unchanged. Checked in this order: nDataLen <= 0 or a null
    // buffer does nothing, silently; with no objects (nKeys < 1 or a null array)
    // "Object not Initialized" is printed and nothing is written. Then a block whose
    // object is unkeyed, or keyed for blocks other than 16 bytes, is left untouched
    // and that object's message printed, one per block.
    static void EncryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszPlain, LPSTR pszCipher,
                             int nDataLen);
    static void DecryptBlock(CRijnDael* pKeys, int nKeys, LPCSTR pszCipher, LPSTR pszPlain,
                             int nDataLen);

private:
    enum { MAX_ROUNDS = 14, MAX_BC = 8, MAX_KC = 8 };
    typedef sealwrit::BYTE BYTE;

    // Only the library's own code calls the private members (none is inline), so
    // they are not exported from the shared library and can change without
    // changing its binary interface.

    // One 16-byte block through the 16-byte rounds.
    SEALWRIT_NO_EXPORT void DefEncryptBlock(LPCSTR in, LPSTR result) const;
    SEALWRIT_NO_EXPORT void DefDecryptBlock(LPCSTR in, LPSTR result) const;

    SEALWRIT_NO_EXPORT void RunBuffer(LPCSTR in, LPSTR result, int n, bool decrypt) const;
    SEALWRIT_NO_EXPORT void RunBlock(LPCSTR in, LPSTR result, bool decrypt) const;
    SEALWRIT_NO_EXPORT static void RunKeyedBlocks(CRijnDael* pKeys, int nKeys, LPCSTR pszSrc,
                                                  LPSTR pszDest, int nDataLen, bool decrypt);
    SEALWRIT_NO_EXPORT void ClearKeyMaterial();
    friend struct sealwrit::detail::CipherAccess;

    // The object's size and layout are part of the library's binary interface: an
    // array of objects is laid out by the caller's compiler. 1024 bytes.
    bool m_bKeyInit;
    // The round keys, row r for round r, each row the block's words one after
    // another, most significant byte first: the form the implementations (and the
    // CPU's AES instructions) take, and the only copy of the schedule the object keeps.
    // m_Kd holds the equivalent inverse cipher's rows, in decryption order.
    alignas(32) BYTE m_Ke[MAX_ROUNDS + 1][4 * MAX_BC];
    alignas(32) BYTE m_Kd[MAX_ROUNDS + 1][4 * MAX_BC];
    int m_keylength;
    int m_blockSize;
    int m_iROUNDS;

    SEALWRIT_NO_EXPORT static const std::array<BYTE, 30> sm_rcon;
    SEALWRIT_NO_EXPORT static LPCSTR const sm_szErrorMsg1;
};

#endif
