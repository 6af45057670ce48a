// The command line: what to do, with which key, mode and padding, from where to where.
#ifndef SEALWRIT_RIJNDAEL_OPTIONS_H
#define SEALWRIT_RIJNDAEL_OPTIONS_H

#include "../_inc/CRijnDaelMode.h"

namespace sealwrit {
namespace detail {

// How a key or an IV is written where it is given: hex digits, Base64, or bytes as
// they are (text: a file's final line break is not part of it; raw: every byte is).
enum class Form { HEX, BASE64, TEXT, RAW };

struct Options {
    bool decrypt = false;
    // The -K and -iv arguments themselves, not copies, so that they can be wiped from
    // the process's memory once read (an earlier -K or -iv that a later one replaced
    // is wiped as soon as it is).
    char* key = nullptr;
    const char* keyFile = nullptr;
    Form keyForm = Form::HEX;
    bool padKey = false;  // zero bytes up to the next key size, as old mcrypt did
    char* iv = nullptr;
    Form ivForm = Form::HEX;
    bool ivPrefix = false;  // the IV is the first block of the data
    bool printKey = false;  // -P
    // A cipher name (-aes-128-cbc, -rijndael-256-cbc) as given, and the key size it
    // fixes in bytes (0: any).
    const char* cipherName = nullptr;
    int keyBytes = 0;
    int blockSize = 16;
    CRijnDaelMode::Mode mode = CRijnDaelMode::CBC;
    int segment = 0;  // CFB's and OFB's segment in bytes; 0 is the whole block
    const char* modeName = "cbc";
    CRijnDaelMode::Padding padding = CRijnDaelMode::PKCS7;
    const char* paddingName = "pkcs7";
    bool phpPadding = false;  // zeros, but an empty text is one block of them
    bool stripZeros = false;
    bool base64 = false;
    bool oneLine = false;  // -A
    bool records = false;
    bool hex = false;  // records in hex rather than Base64
    bool raw = false;  // records' plain side as it is
    bool progress = false;
    const char* in = nullptr;   // null: standard input
    const char* out = nullptr;  // null: standard output

    bool Blockwise() const { return mode == CRijnDaelMode::ECB || mode == CRijnDaelMode::CBC; }
};

enum ParseResult { PARSED, HELP, VERSION, USAGE_ERROR };

// Fills *options from argv. A usage error is reported (one line) before returning
// USAGE_ERROR; the caller then prints kUsageLine. Whatever the result, the secret
// arguments found so far are in *options for WipeSecretArguments.
ParseResult ParseOptions(int argc, char** argv, Options* options);

// Wipes the -K and -iv arguments from the process's memory.
void WipeSecretArguments(const Options& options);

}  // namespace detail
}  // namespace sealwrit

#endif
