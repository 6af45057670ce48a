// Base64 with the standard alphabet and "=" padding, without line breaks.
#ifndef SEALWRIT_BASE64_H
#define SEALWRIT_BASE64_H

#include <cstddef>

// The largest len base64_encode accepts: its encoded length still fits in an int.
const int BASE64_MAX_INPUT = (2147483647 / 4) * 3;

// Encodes len bytes of src into a NUL-terminated string allocated with malloc, which
// the caller frees; stores the number of characters in *out_len when out_len is not
// null. Returns null, storing nothing, when len is negative or above
// BASE64_MAX_INPUT, when src is null and len is not 0, or when memory runs out.
char* base64_encode(const unsigned char* src, int len, int* out_len);

// The same encoding into dst, which holds 4 * ((len + 2) / 3) characters: whole
// groups of three bytes, then a short last group padded with "=". Writes no NUL;
// returns the number of characters written. For callers that encode a stream in
// pieces (whole groups until the last) into buffers of their own.
std::size_t base64_encode_into(const unsigned char* src, std::size_t len, char* dst);

#endif
