#include "Options.h"

#include <cstring>

#include "Report.h"

namespace sealwrit {
namespace detail {

const char kUsageLine[] =
    "usage: rijndael (-e | -d) (-K HEX | -kfile FILE) [-iv HEX] [-b 16|24|32] [-m MODE]"
    " [-p PADDING] [-a] [-in FILE] [-out FILE] [-progress]\n";

const char kHelpText[] =
    "usage: rijndael (-e | -d) (-K HEX | -kfile FILE) [-iv HEX] [-b 16|24|32] [-m MODE]\n"
    "                [-p PADDING] [-a] [-in FILE] [-out FILE] [-progress]\n"
    "       rijndael -h | -help | --help\n"
    "       rijndael -version | --version\n"
    "\n"
    "Encrypts (-e) or decrypts (-d) with Rijndael of any key and block size.\n"
    "  -K HEX        the key in hex: 16, 24 or 32 bytes\n"
    "  -kfile FILE   the key in hex read from FILE (white space ignored)\n"
    "  -iv HEX       the IV in hex, one block; every mode but ecb needs it\n"
    "  -b SIZE       the block size in bytes: 16 (the default, AES), 24 or 32\n"
    "  -m MODE       ecb, cbc (default), cfb, cfb8, cfb128, ofb, ofb8, ctr\n"
    "  -p PADDING    none, zeros, pkcs7, x923, iso10126; default pkcs7 for ecb and\n"
    "                cbc, none for the others\n"
    "  -a            Base64: the output when encrypting, the input when decrypting\n"
    "  -in FILE      read FILE (default standard input)\n"
    "  -out FILE     write FILE, replacing it only once everything succeeded\n"
    "                (default standard output)\n"
    "  -progress     show progress on standard error\n"
    "See rijndael(1).\n";

namespace {

struct ModeName {
    const char* name;
    CRijnDaelMode::Mode mode;
    int segment;
};
// cfb and ofb take the whole block as the segment; the numbered forms fix it in bits,
// as other tools name them (cfb8 is PHP's and libmcrypt's cfb, cfb128 .NET's default).
const ModeName kModes[] = {
    {"ecb", CRijnDaelMode::ECB, 0},     {"cbc", CRijnDaelMode::CBC, 0},
    {"cfb", CRijnDaelMode::CFB, 0},     {"cfb8", CRijnDaelMode::CFB, 1},
    {"cfb128", CRijnDaelMode::CFB, 16}, {"ofb", CRijnDaelMode::OFB, 0},
    {"ofb8", CRijnDaelMode::OFB, 1},    {"ctr", CRijnDaelMode::CTR, 0},
};

struct PaddingName {
    const char* name;
    CRijnDaelMode::Padding padding;
};
const PaddingName kPaddings[] = {
    {"none", CRijnDaelMode::NONE},         {"zeros", CRijnDaelMode::ZEROS},
    {"pkcs7", CRijnDaelMode::PKCS7},       {"x923", CRijnDaelMode::ANSIX923},
    {"iso10126", CRijnDaelMode::ISO10126},
};

bool Is(const char* arg, const char* name) { return std::strcmp(arg, name) == 0; }

}  // namespace

ParseResult ParseOptions(int argc, char** argv, Options* options) {
    bool encrypt = false, decrypt = false;
    const char* paddingGiven = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (Is(arg, "-h") || Is(arg, "-help") || Is(arg, "--help")) return HELP;
        if (Is(arg, "-version") || Is(arg, "--version")) return VERSION;
        if (Is(arg, "-e") || Is(arg, "-d")) {
            (arg[1] == 'e' ? encrypt : decrypt) = true;
            continue;
        }
        if (Is(arg, "-a") || Is(arg, "-progress")) {
            (arg[1] == 'a' ? options->base64 : options->progress) = true;
            continue;
        }
        const bool takesValue = Is(arg, "-K") || Is(arg, "-kfile") || Is(arg, "-iv") ||
                                Is(arg, "-b") || Is(arg, "-m") || Is(arg, "-p") || Is(arg, "-in") ||
                                Is(arg, "-out");
        if (!takesValue) {
            Report(arg[0] == '-' ? "unknown option %s" : "unexpected argument %s", arg);
            return USAGE_ERROR;
        }
        if (i + 1 == argc) {
            Report("%s needs a value", arg);
            return USAGE_ERROR;
        }
        char* value = argv[++i];
        if (Is(arg, "-K")) {
            options->keyHex = value;
        } else if (Is(arg, "-kfile")) {
            options->keyFile = value;
        } else if (Is(arg, "-iv")) {
            options->ivHex = value;
        } else if (Is(arg, "-in")) {
            options->in = value;
        } else if (Is(arg, "-out")) {
            options->out = value;
        } else if (Is(arg, "-b")) {
            if (!Is(value, "16") && !Is(value, "24") && !Is(value, "32")) {
                Report("-b %s: the block size is 16, 24 or 32 bytes", value);
                return USAGE_ERROR;
            }
            options->blockSize = (value[0] - '0') * 10 + (value[1] - '0');
        } else if (Is(arg, "-m")) {
            const ModeName* found = nullptr;
            for (const ModeName& m : kModes) found = Is(value, m.name) ? &m : found;
            if (found == nullptr) {
                Report("unknown mode %s (ecb, cbc, cfb, cfb8, cfb128, ofb, ofb8, ctr)", value);
                return USAGE_ERROR;
            }
            options->mode = found->mode;
            options->segment = found->segment;
            options->modeName = found->name;
        } else {
            const PaddingName* found = nullptr;
            for (const PaddingName& p : kPaddings) found = Is(value, p.name) ? &p : found;
            if (found == nullptr) {
                Report("unknown padding %s (none, zeros, pkcs7, x923, iso10126)", value);
                return USAGE_ERROR;
            }
            options->padding = found->padding;
            paddingGiven = found->name;
        }
    }

    if (encrypt == decrypt) {
        Report(encrypt ? "-e and -d exclude each other" : "-e or -d is needed");
        return USAGE_ERROR;
    }
    options->decrypt = decrypt;
    if ((options->keyHex == nullptr) == (options->keyFile == nullptr)) {
        Report(options->keyHex ? "-K and -kfile exclude each other"
                               : "a key is needed: -K HEX or -kfile FILE");
        return USAGE_ERROR;
    }
    if (options->keyFile != nullptr && Is(options->keyFile, "-")) {
        Report("-kfile -: the key cannot come from standard input, which carries the data");
        return USAGE_ERROR;
    }
    const bool ecb = options->mode == CRijnDaelMode::ECB;
    if (ecb != (options->ivHex == nullptr)) {
        Report(ecb ? "mode ecb takes no IV (-iv)" : "mode %s needs an IV (-iv HEX)",
               options->modeName);
        return USAGE_ERROR;
    }
    // Block modes pad by default, as other tools do; the others need no padding.
    if (paddingGiven != nullptr) {
        options->paddingName = paddingGiven;
    } else if (!ecb && options->mode != CRijnDaelMode::CBC) {
        options->padding = CRijnDaelMode::NONE;
        options->paddingName = "none";
    }
    return PARSED;
}

}  // namespace detail
}  // namespace sealwrit
