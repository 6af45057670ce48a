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
// A keyed object may be shared by several threads for Encrypt and Decrypt and for
// EncryptBlock/DecryptBlock on 16-byte blocks; SetKey and the 24- and 32-byte
// block operations use the object's scratch members and need it to themselves.
#ifndef SEALWRIT_CRIJNDAEL_H
#define SEALWRIT_CRIJNDAEL_H

#include <array>

#include "Lib.h"

class CRijnDael {
public:
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
    // overlap is supported. On a keyed object, n <= 0 or a null buffer does nothing.
    void Encrypt(LPCSTR in, LPSTR result, int n) const;
    void Decrypt(LPCSTR in, LPSTR result, int n) const;

    // One block of GetBlockSize() bytes; result may equal in.
    void EncryptBlock(LPCSTR in, LPSTR result);
    void DecryptBlock(LPCSTR in, LPSTR result);

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
    friend class CRijnDaelInspector;  // lets the tests read the key schedule

    enum { MAX_ROUNDS = 14, MAX_BC = 8, MAX_KC = 8 };

    // The 16-byte-block rounds with the lookup tables; they read only the first
    // four words of each round-key row.
    void DefEncryptBlock(LPCSTR in, LPSTR result) const;
    void DefDecryptBlock(LPCSTR in, LPSTR result) const;

    // Whole 16-byte blocks through the fastest rounds this CPU offers.
    void EncryptBlocks16(const char* in, char* result, long blocks) const;
    void DecryptBlocks16(const char* in, char* result, long blocks) const;

    typedef void (CRijnDael::*BlocksOp)(const char*, char*, long) const;
    void RunBuffer(LPCSTR in, LPSTR result, int n, BlocksOp op) const;

    // The general rounds of 24- and 32-byte blocks, in the scratch members t and a.
    void WideRounds(LPCSTR in, LPSTR result, bool decrypt);

    typedef void (CRijnDael::*BlockOp)(LPCSTR, LPSTR);
    static void RunKeyedBlocks(CRijnDael* pKeys, int nKeys, LPCSTR pszSrc, LPSTR pszDest,
                               int nDataLen, BlockOp op);

    bool m_bKeyInit;
    DWORD m_Ke[MAX_ROUNDS + 1][MAX_BC];
    DWORD m_Kd[MAX_ROUNDS + 1][MAX_BC];
    int m_keylength;
    int m_blockSize;
    int m_iROUNDS;
    DWORD tk[MAX_KC];
    DWORD a[MAX_BC];
    DWORD t[MAX_BC];
    // The first four words of each row of m_Ke and m_Kd as bytes in block order,
    // which is the form the CPU's AES instructions take.
    alignas(16) BYTE m_KeBytes[MAX_ROUNDS + 1][16];
    alignas(16) BYTE m_KdBytes[MAX_ROUNDS + 1][16];

    static const std::array<BYTE, 256> sm_S;
    static const std::array<BYTE, 256> sm_Si;
    static const std::array<DWORD, 256> sm_T1, sm_T2, sm_T3, sm_T4;
    static const std::array<DWORD, 256> sm_T5, sm_T6, sm_T7, sm_T8;
    static const std::array<DWORD, 256> sm_U1, sm_U2, sm_U3, sm_U4;
    static const std::array<BYTE, 30> sm_rcon;
    static const int sm_shifts[3][4][2];
    static LPCSTR const sm_szErrorMsg1;

    void ClearKeyMaterial();
    static DWORD TableSubWord(DWORD w);
    static DWORD TableInvMixColumn(DWORD w);
};

#endif
