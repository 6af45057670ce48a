// The Base64 encoder of the command-line front end.
#include "../_inc/Base64.h"

#include <cstdlib>

namespace {

const char base64[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Kept apart from the alphabet; named without a leading double underscore because
// such names are reserved to the compiler and its library.
const char base64_pad = '=';

}  // namespace

std::size_t base64_encode_into(const unsigned char* src, std::size_t len, char* out) {
    std::size_t i = 0;
    const unsigned char* end = src + len;
    for (; end - src > 2; src += 3) {
        out[i++] = base64[src[0] >> 2];
        out[i++] = base64[((src[0] & 3) << 4) | (src[1] >> 4)];
        out[i++] = base64[((src[1] & 15) << 2) | (src[2] >> 6)];
        out[i++] = base64[src[2] & 63];
    }
    if (end - src == 1) {
        out[i++] = base64[src[0] >> 2];
        out[i++] = base64[(src[0] & 3) << 4];
        out[i++] = base64_pad;
        out[i++] = base64_pad;
    } else if (end - src == 2) {
        out[i++] = base64[src[0] >> 2];
        out[i++] = base64[((src[0] & 3) << 4) | (src[1] >> 4)];
        out[i++] = base64[(src[1] & 15) << 2];
        out[i++] = base64_pad;
    }
    return i;
}

char* base64_encode(const unsigned char* src, int len, int* out_len) {
    if (len < 0 || len > BASE64_MAX_INPUT || (src == nullptr && len != 0)) return nullptr;
    const std::size_t size = 4 * ((std::size_t(len) + 2) / 3) + 1;
    char* out = static_cast<char*>(std::malloc(size));
    if (out == nullptr) return nullptr;
    const std::size_t i = len == 0 ? 0 : base64_encode_into(src, std::size_t(len), out);
    if (out_len != nullptr) *out_len = static_cast<int>(i);
    out[i] = '\0';
    return out;
}
