// The command line: what to do, with which key, mode and padding, from where to where.
#ifndef SEALWRIT_RIJNDAEL_OPTIONS_H
#define SEALWRIT_RIJNDAEL_OPTIONS_H

#include "../_inc/CRijnDaelMode.h"

namespace sealwrit {
namespace detail {

struct Options {
    bool decrypt = false;
    // The -K and -iv arguments themselves, not copies, so that they can be wiped from
    // the process's memory once decoded.
    char* keyHex = nullptr;
    const char* keyFile = nullptr;
    char* ivHex = nullptr;
    int blockSize = 16;
    CRijnDaelMode::Mode mode = CRijnDaelMode::CBC;
    int segment = 0;  // CFB's and OFB's segment in bytes; 0 is the whole block
    const char* modeName = "cbc";
    CRijnDaelMode::Padding padding = CRijnDaelMode::PKCS7;
    const char* paddingName = "pkcs7";
    bool base64 = false;
    bool progress = false;
    const char* in = nullptr;   // null: standard input
    const char* out = nullptr;  // null: standard output
};

enum ParseResult { PARSED, HELP, VERSION, USAGE_ERROR };

// Fills *options from argv. A usage error is reported (one line) before returning
// USAGE_ERROR; the caller then prints kUsageLine.
ParseResult ParseOptions(int argc, char** argv, Options* options);

extern const char kUsageLine[];
extern const char kHelpText[];

}  // namespace detail
}  // namespace sealwrit

#endif
