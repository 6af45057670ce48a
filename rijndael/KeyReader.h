// The key and the IV as the command line gives them: from an argument or a file, in
// hex, Base64 or as the bytes they are, a short key padded as old mcrypt padded it,
// their lengths checked against the cipher. Every copy is in static storage that
// WipeKeyMaterial wipes; failures are reported by position and length only, never
// with a byte of the key or the IV.
#ifndef SEALWRIT_RIJNDAEL_KEY_READER_H
#define SEALWRIT_RIJNDAEL_KEY_READER_H

#include <cstddef>

#include "Options.h"

namespace sealwrit {
namespace detail {

struct KeyMaterial {
    const unsigned char* key = nullptr;
    std::size_t keyLength = 0;
    const unsigned char* iv = nullptr;  // null when the options give none (ecb, -ivprefix)
};

// Reads, checks and pads what the options give; reports a failure and returns false.
bool ReadKeyMaterial(const Options& options, KeyMaterial* material);

// Writes "key=" and "iv =" lines in upper-case hex, as openssl enc -P does.
bool PrintKeyMaterial(const KeyMaterial& material, int blockSize);

// Wipes every copy of the key and the IV the reader made, file contents included.
void WipeKeyMaterial();

}  // namespace detail
}  // namespace sealwrit

#endif
