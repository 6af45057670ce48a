// libmcrypt's Rijndael as an independent answer for 16-, 24- and 32-byte blocks.
#ifndef SEALWRIT_MCRYPT_ORACLE_H
#define SEALWRIT_MCRYPT_ORACLE_H

#include "TestSupport.h"

// Rijndael in electronic codebook mode over data, whose length must be a multiple of
// blockSize; key is 16, 24 or 32 bytes.
Bytes McryptRijndaelEcb(bool encrypt, int blockSize, const Bytes& key, const Bytes& data);

#endif
