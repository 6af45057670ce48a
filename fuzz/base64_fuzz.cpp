// base64_encode on any bytes: the output must have the exact length and shape the
// header promises and decode back to the input; lengths it cannot encode must be
// refused without touching the source or *out_len.
//
// The decoder here is written apart from the encoder and needs no other library,
// so this target replays its corpus in every build, a big-endian cross build too.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Base64.h"
#include "FuzzSupport.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict decoding of whole quads, with '=' only at the end of the last one. The
// bits under the padding must be zero, or two texts would decode to the same bytes.
bool Decode(const std::string& text, Bytes& out) {
    out.clear();
    if (text.size() % 4 != 0) return false;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        const int padding = last ? (text[at + 3] == '=') + (text[at + 2] == '=') : 0;
        unsigned long quad = 0;
        for (int i = 0; i < 4; ++i) {
            const int sextet = i < 4 - padding ? SextetOf(text[at + std::size_t(i)]) : 0;
            if (sextet < 0) return false;
            quad = quad << 6 | unsigned(sextet);
        }
        const char bytes[3] = {char(quad >> 16), char(quad >> 8), char(quad)};
        out.insert(out.end(), bytes, bytes + 3 - padding);
        if (padding > 0 && (quad & ((1ul << (8 * padding)) - 1)) != 0) return false;
    }
    return true;
}

typedef std::unique_ptr<char, decltype(&std::free)> MallocString;

MallocString Encode(const char* source, int length, int* outLength) {
    return MallocString(
        base64_encode(reinterpret_cast<const unsigned char*>(source), length, outLength),
        &std::free);
}

void CheckRefused(const char* source, int length) {
    int outLength = 0x5eed;
    const MallocString out = Encode(source, length, &outLength);
    FUZZ_CHECK(out == nullptr, "length " + std::to_string(length) + " was not refused");
    FUZZ_CHECK(outLength == 0x5eed,
               "a refused call stored " + std::to_string(outLength) + " in *out_len");
}

void CheckEncoding(const Bytes& data) {
    HeapBuffer source(data);
    const int size = int(data.size());
    int outLength = -1;
    const MallocString out = Encode(source.data(), size, &outLength);
    FUZZ_CHECK(out != nullptr, "encoding " + std::to_string(size) + " bytes failed");

    const std::size_t expectedLength = 4 * ((data.size() + 2) / 3);
    const std::size_t padding = (3 - data.size() % 3) % 3;
    const std::string text(out.get());
    FUZZ_CHECK(text.size() == expectedLength,
               std::to_string(size) + " bytes gave " + std::to_string(text.size()) + " characters");
    FUZZ_CHECK(outLength == int(text.size()), "*out_len " + std::to_string(outLength) + " for " +
                                                  std::to_string(text.size()) + " characters");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool inPadding = i >= text.size() - padding;
        const bool ok = inPadding ? text[i] == '='
                                  : text[i] != '\0' && std::strchr(kAlphabet, text[i]) != nullptr;
        FUZZ_CHECK(
            ok, "character " + std::to_string(i) + " of \"" + text + "\" for input " + ToHex(data));
    }

    Bytes back;
    FUZZ_CHECK(Decode(text, back), "\"" + text + "\" does not decode, input " + ToHex(data));
    FUZZ_CHECK(back == data, "\"" + text + "\" decodes to " + ToHex(back) + ", not " + ToHex(data));

    // The length pointer is optional and changes nothing else.
    const MallocString withoutLength = Encode(source.data(), size, nullptr);
    FUZZ_CHECK(withoutLength != nullptr && text == withoutLength.get(),
               "encoding without out_len differs for input " + ToHex(data));

    // A refused length is one the encoder will not work through, so nothing of the
    // source may be read: it holds only size bytes, and AddressSanitizer watches.
    CheckRefused(source.data(), -1 - (size % 64));
    CheckRefused(source.data(), INT_MIN);
    CheckRefused(source.data(), BASE64_MAX_INPUT + 1);
    CheckRefused(source.data(), INT_MAX);
    if (size > 0) CheckRefused(nullptr, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckEncoding(Bytes(data, data + size));

    int emptyLength = -1;
    const MallocString empty = Encode(nullptr, 0, &emptyLength);
    FUZZ_CHECK(empty != nullptr && *empty == '\0' && emptyLength == 0,
               "no source and no length must give the empty string");
    return 0;
}
