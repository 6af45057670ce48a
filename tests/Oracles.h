// Independent answers from OpenSSL's libcrypto and libmcrypt.
#ifndef SEALWRIT_ORACLES_H
#define SEALWRIT_ORACLES_H

#include <string>
#include <vector>

#include "TestSupport.h"

// AES with a 16-, 24- or 32-byte key over every whole 16-byte block of data, no
// padding, and the tail shorter than a block copied unchanged: the result that
// CRijnDael::Encrypt and Decrypt must give with a 16-byte block.
Bytes OpensslEcb(bool encrypt, const Bytes& key, const Bytes& data);

// An OpenSSL EVP cipher by name ("aes-128-cbc", "aes-256-cfb8", ...) over data, with
// PKCS #7 padding or none.
Bytes OpensslCipher(bool encrypt, const std::string& name, const Bytes& key, const Bytes& iv,
                    const Bytes& data, bool pkcs7 = false);

// Rijndael in one of libmcrypt's modes ("ecb", "cbc", "cfb", "ncfb", "ofb", "nofb",
// "ctr") over data; key is 16, 24 or 32 bytes, iv a block (not read in ECB). ECB and
// CBC take whole blocks.
Bytes McryptRijndael(bool encrypt, int blockSize, const Bytes& key, const Bytes& data,
                     const char* mode = "ecb", Bytes iv = {});

// Base64 with the standard alphabet and padding, on one line.
std::string OpensslBase64(const Bytes& data);
// And back, white space ignored.
Bytes OpensslUnbase64(std::string text);

// PHP's mcrypt extension and .NET's RijndaelManaged (as Mono runs it), the programs
// that wrote the legacy data, each running a batch of jobs in one process: the job
// lines are described in tests/producers/. The answers in hex, or "error", in order.
std::vector<std::string> PhpMcryptJobs(const std::vector<std::string>& jobs);
std::vector<std::string> RijndaelManagedJobs(const std::vector<std::string>& jobs);

#endif
