// OpenSSL's libcrypto as an independent answer for AES in electronic codebook mode.
#ifndef SEALWRIT_OPENSSL_ORACLE_H
#define SEALWRIT_OPENSSL_ORACLE_H

#include "TestSupport.h"

// AES with a 16-, 24- or 32-byte key over every whole 16-byte block of data, no
// padding, and the tail shorter than a block copied unchanged: the result that
// CRijnDael::Encrypt and Decrypt must give with a 16-byte block.
Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data);

#endif
