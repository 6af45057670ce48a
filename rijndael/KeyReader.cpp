#include "KeyReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Base64Stream.h"
#include "Hex.h"
#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

// A key file, or a key or IV argument, longer than this is no key: refused before it
// is decoded, so that every decoded form fits the storage below.
const std::size_t kMaxText = 4096;

struct Storage {
    char file[kMaxText + 1];
    unsigned char key[Base64Decoder::Bound(kMaxText)];
    unsigned char iv[Base64Decoder::Bound(kMaxText)];
};
Storage g_secret;
bool g_used = false;  // untouched storage needs no wipe, nor the page faults of one

bool ReadKeyFile(const char* path, std::size_t* length) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    std::size_t n = 0;
    bool ok = fd >= 0;
    while (ok && n <= kMaxText) {
        const ssize_t got = read(fd, g_secret.file + n, kMaxText + 1 - n);
        if (got < 0 && errno == EINTR) continue;
        ok = got >= 0;
        if (got <= 0) break;
        n += std::size_t(got);
    }
    const int error = errno;
    if (fd >= 0) close(fd);
    if (!ok) {
        Report("cannot read key file %s: %s", path, std::strerror(error));
    } else if (n > kMaxText) {
        Report("key file %s: more than %zu bytes, too long for a key", path, kMaxText);
        ok = false;
    }
    *length = n;
    return ok;
}

bool AllHexDigits(const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned lower = static_cast<unsigned char>(text[i]) | 0x20u;
        if (!(lower >= '0' && lower <= '9') && !(lower >= 'a' && lower <= 'f')) return false;
    }
    return n > 0;
}

// Decodes text[0 .. n), written in form, into out, which holds Bound(kMaxText) bytes;
// *bytes gets the decoded length.
bool Decode(const char* what, Form form, const char* text, std::size_t n, bool fromFile,
            unsigned char* out, std::size_t* bytes, const char* hexHint) {
    if (n > kMaxText) {
        Report("%s: more than %zu characters, too long for a key or an IV", what, kMaxText);
        return false;
    }
    switch (form) {
        case Form::HEX:
            return ParseHex(what, text, n, fromFile, out, Base64Decoder::Bound(kMaxText), bytes,
                            hexHint);
        case Form::BASE64: {
            Base64Decoder decoder;
            if (!decoder.Update(text, n, out, bytes)) {
                Report("%s: not Base64 at position %llu", what,
                       static_cast<unsigned long long>(decoder.ErrorOffset() + 1));
                return false;
            }
            if (!decoder.Finish()) {
                Report("%s: the Base64 ends inside a group of four characters", what);
                return false;
            }
            return true;
        }
        case Form::TEXT:
            // A file written with echo or an editor ends with a line break that is not
            // part of the key.
            if (fromFile && n > 0 && text[n - 1] == '\n') n -= n > 1 && text[n - 2] == '\r' ? 2 : 1;
            break;
        case Form::RAW:
            break;
    }
    std::memcpy(out, text, n);
    *bytes = n;
    return true;
}

bool ValidKeyLength(std::size_t n) { return n == 16 || n == 24 || n == 32; }

bool ReadKey(const Options& o, KeyMaterial* k) {
    const char* text = o.key;
    std::size_t n = 0;
    if (text != nullptr) {
        n = std::strlen(text);
    } else {
        if (!ReadKeyFile(o.keyFile, &n)) return false;
        text = g_secret.file;
    }
    const char* what = o.key ? "-K" : o.keyFile;
    // openssl enc's -kfile holds a passphrase; ours holds the key.
    const char* hexHint =
        o.key ? " (a key kept as text: -keyform text)"
              : " (-kfile holds the key itself in hex, not a passphrase as openssl enc's "
                "-kfile does; a key kept as text: -keyform text)";
    std::size_t bytes = 0;
    if (!Decode(what, o.keyForm, text, n, o.keyFile != nullptr, g_secret.key, &bytes, hexHint)) {
        return false;
    }
    if (o.padKey && bytes > 0 && bytes < 32 && !ValidKeyLength(bytes)) {
        const std::size_t padded = o.keyBytes   ? std::size_t(o.keyBytes)
                                   : bytes < 16 ? 16
                                   : bytes < 24 ? 24
                                                : 32;
        if (bytes < padded) std::memset(g_secret.key + bytes, 0, padded - bytes);
        bytes = bytes < padded ? padded : bytes;
    }
    if (o.keyBytes != 0 && bytes != std::size_t(o.keyBytes) && ValidKeyLength(bytes)) {
        Report("the key is %zu bytes; %s takes %d (-aes-%zu-%s takes %zu)", bytes, o.cipherName,
               o.keyBytes, bytes * 8, o.modeName, bytes);
        return false;
    }
    if (!ValidKeyLength(bytes) || (o.keyBytes != 0 && bytes != std::size_t(o.keyBytes))) {
        const bool textForm = o.keyForm == Form::TEXT || o.keyForm == Form::RAW;
        const char* hint = "";
        if (textForm && bytes % 2 == 0 && ValidKeyLength(bytes / 2) && AllHexDigits(text, bytes)) {
            hint = " (these are hex digits: -keyform hex)";
        } else if (bytes > 0 && bytes < std::size_t(o.keyBytes ? o.keyBytes : 32) && !o.padKey) {
            hint = " (PHP's mcrypt before PHP 5.6 padded a short key with zero bytes: -padkey)";
        }
        if (o.keyBytes != 0) {
            Report("the key is %zu byte%s; %s takes %d%s", bytes, bytes == 1 ? "" : "s",
                   o.cipherName, o.keyBytes, hint);
        } else {
            Report("the key is %zu byte%s; it must be 16, 24 or 32%s", bytes, bytes == 1 ? "" : "s",
                   hint);
        }
        return false;
    }
    k->key = g_secret.key;
    k->keyLength = bytes;
    return true;
}

bool ReadIv(const Options& o, KeyMaterial* k) {
    if (o.iv == nullptr) return true;
    const std::size_t n = std::strlen(o.iv);
    std::size_t bytes = 0;
    if (!Decode("-iv", o.ivForm, o.iv, n, false, g_secret.iv, &bytes,
                " (an IV kept as text: -ivform text)")) {
        return false;
    }
    const std::size_t block = std::size_t(o.blockSize);
    if (bytes == block) {
        k->iv = g_secret.iv;
        return true;
    }
    char hint[64] = "";
    if (o.ivForm == Form::TEXT && bytes == 2 * block && AllHexDigits(o.iv, n)) {
        std::strcpy(hint, " (these are hex digits: leave out -ivform text)");
    } else if (ValidKeyLength(bytes) && o.cipherName != nullptr) {
        std::snprintf(hint, sizeof hint, " (%zu-byte blocks: -rijndael-%zu-%s)", bytes, bytes * 8,
                      o.modeName);
    } else if (ValidKeyLength(bytes)) {
        std::snprintf(hint, sizeof hint, " (%zu-byte blocks: -b %zu)", bytes, bytes);
    }
    Report("the IV is %zu byte%s; it must be one block, %zu bytes%s", bytes, bytes == 1 ? "" : "s",
           block, hint);
    return false;
}

}  // namespace

bool ReadKeyMaterial(const Options& options, KeyMaterial* material) {
    g_used = true;
    return ReadKey(options, material) && ReadIv(options, material);
}

bool PrintKeyMaterial(const KeyMaterial& material, int blockSize) {
    char lines[2 * (4 + 64 + 1)];
    std::size_t n = 0;
    std::memcpy(lines, "key=", 4);
    n = 4 + EncodeHex(material.key, material.keyLength, lines + 4, true);
    lines[n++] = '\n';
    if (material.iv != nullptr) {
        std::memcpy(lines + n, "iv =", 4);
        n += 4 + EncodeHex(material.iv, std::size_t(blockSize), lines + n + 4, true);
        lines[n++] = '\n';
    }
    const bool written = WriteAll(1, lines, n);
    explicit_bzero(lines, sizeof lines);
    return written;
}

void WipeKeyMaterial() {
    if (g_used) explicit_bzero(&g_secret, sizeof g_secret);
}

}  // namespace detail
}  // namespace sealwrit
