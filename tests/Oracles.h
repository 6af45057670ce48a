// Independent answers from OpenSSL's libcrypto and libmcrypt.
#ifndef SEALWRIT_ORACLES_H
#define SEALWRIT_ORACLES_H

#include <string>

#include "TestSupport.h"

// AES with a 16-, 24- or 32-byte key over every whole 16-byte block of data, no
// padding, and the tail shorter than a block copied unchanged: the result that
// CRijnDael::Encrypt and Decrypt must give with a 16-byte block.
Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data);

// Rijndael in electronic codebook mode over data, whose length must be a multiple of
// blockSize; key is 16, 24 or 32 bytes.
Bytes McryptRijndaelEcb(bool encrypt, int blockSize, const Bytes& key, const Bytes& data);

// Rijndael through libmcrypt in one of its modes ("ecb", "cbc", "cfb", "ncfb", "ofb",
// "nofb", "ctr"), no padding; iv holds one block, or nothing for "ecb".
Bytes McryptRijndael(const char* mode, bool encrypt, int blockSize, const Bytes& key,
                     const Bytes& iv, const Bytes& data);

// Base64 with the standard alphabet and padding, on one line.
std::string OpensslBase64(const Bytes& data);
// And back, white space ignored.
Bytes OpensslUnbase64(std::string text);

#endif
