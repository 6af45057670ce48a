#include "Options.h"

#include <cstring>
#include <initializer_list>

#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

bool Is(const char* arg, const char* name) { return std::strcmp(arg, name) == 0; }
bool StartsWith(const char* arg, const char* prefix) {
    return std::strncmp(arg, prefix, std::strlen(prefix)) == 0;
}

struct ModeChoice {
    CRijnDaelMode::Mode mode;
    int segment;  // bytes; 0 is the whole block
};

// The names -m takes. cfb and ofb take the whole block as the segment, as openssl
// enc's do; cfbN and ofbN fix it in bits, any whole number of bytes (cfb8 is PHP's
// MCRYPT_MODE_CFB, cfb64 .NET's FeedbackSize = 64); ncfb and nofb are mcrypt's names
// for the whole-block forms, as PHP code writes them.
enum ModeParse { MODE_FOUND, MODE_UNKNOWN, MODE_BAD_SEGMENT };
ModeParse ParseModeName(const char* name, ModeChoice* choice) {
    static const struct {
        const char* name;
        ModeChoice choice;
    } kNamed[] = {
        {"ecb", {CRijnDaelMode::ECB, 0}},  {"cbc", {CRijnDaelMode::CBC, 0}},
        {"cfb", {CRijnDaelMode::CFB, 0}},  {"ofb", {CRijnDaelMode::OFB, 0}},
        {"ctr", {CRijnDaelMode::CTR, 0}},  {"ncfb", {CRijnDaelMode::CFB, 0}},
        {"nofb", {CRijnDaelMode::OFB, 0}},
    };
    for (const auto& m : kNamed) {
        if (Is(name, m.name)) {
            *choice = m.choice;
            return MODE_FOUND;
        }
    }
    const bool cfb = StartsWith(name, "cfb");
    if (!cfb && !StartsWith(name, "ofb")) return MODE_UNKNOWN;
    const char* digits = name + 3;
    const std::size_t count = std::strspn(digits, "0123456789");
    if (count == 0 || digits[count] != '\0') return MODE_UNKNOWN;
    int bits = 0;
    for (std::size_t i = 0; i < count && bits <= 256; ++i) bits = bits * 10 + (digits[i] - '0');
    if (digits[0] == '0' || bits % 8 != 0 || bits > 256) return MODE_BAD_SEGMENT;
    *choice = {cfb ? CRijnDaelMode::CFB : CRijnDaelMode::OFB, bits / 8};
    return MODE_FOUND;
}

struct PaddingName {
    const char* name;
    CRijnDaelMode::Padding padding;
};
// php is zeros as PHP's mcrypt_encrypt writes them: it makes an empty text one block.
const PaddingName kPaddings[] = {
    {"none", CRijnDaelMode::NONE},     {"zeros", CRijnDaelMode::ZEROS},
    {"php", CRijnDaelMode::ZEROS},     {"pkcs7", CRijnDaelMode::PKCS7},
    {"x923", CRijnDaelMode::ANSIX923}, {"iso10126", CRijnDaelMode::ISO10126},
};

// -aes-128-cbc: openssl enc's names, for 16-byte blocks, whose number is the key's
// bits; -aes128 is the same with cbc. -rijndael-256-cbc: mcrypt's cipher names
// (MCRYPT_RIJNDAEL_256 is "rijndael-256"), whose number is the block's bits, with any
// key; alone, -rijndael-256 sets the block and leaves the mode to -m, as PHP code
// names the two apart.
enum CipherParse { NOT_A_CIPHER, CIPHER, CIPHER_BLOCK_ONLY, CIPHER_BAD_MODE, CIPHER_BAD_SEGMENT };
CipherParse ParseCipherName(const char* arg, Options* o) {
    const bool aes = StartsWith(arg, "-aes");
    if (!aes && !StartsWith(arg, "-rijndael-")) return NOT_A_CIPHER;
    const char* at = arg + (aes ? 4 : 10);
    const bool dashed = !aes || *at == '-';
    if (aes && dashed) ++at;
    int bytes = 0;
    static const struct {
        char bits[4];
        int bytes;
    } kSizes[] = {{"128", 16}, {"192", 24}, {"256", 32}};
    for (const auto& size : kSizes) {
        if (std::strncmp(at, size.bits, 3) == 0) bytes = size.bytes;
    }
    if (bytes == 0) return NOT_A_CIPHER;
    at += 3;
    ModeChoice choice = {CRijnDaelMode::CBC, 0};
    const char* modeName = "cbc";
    if (*at == '-' && dashed) {
        const ModeParse found = ParseModeName(at + 1, &choice);
        if (found != MODE_FOUND)
            return found == MODE_UNKNOWN ? CIPHER_BAD_MODE : CIPHER_BAD_SEGMENT;
        modeName = at + 1;
    } else if (*at != '\0') {
        return NOT_A_CIPHER;
    } else if (aes && dashed) {
        return CIPHER_BAD_MODE;  // -aes-128 wants its mode, as openssl's names have it
    } else if (!aes) {
        o->blockSize = bytes;
        return CIPHER_BLOCK_ONLY;
    }
    o->cipherName = arg;
    o->keyBytes = aes ? bytes : 0;
    o->blockSize = aes ? 16 : bytes;
    o->mode = choice.mode;
    o->segment = choice.segment;
    o->modeName = modeName;
    return CIPHER;
}

bool ParseForm(const char* value, bool rawAllowed, Form* form) {
    static const struct {
        const char* name;
        Form form;
    } kForms[] = {
        {"hex", Form::HEX}, {"base64", Form::BASE64}, {"text", Form::TEXT}, {"raw", Form::RAW}};
    for (const auto& f : kForms) {
        if (Is(value, f.name) && (rawAllowed || f.form != Form::RAW)) {
            *form = f.form;
            return true;
        }
    }
    return false;
}

// Keeps a secret argument, wiping one that an earlier occurrence gave.
void KeepSecret(char** slot, char* value) {
    if (*slot != nullptr && *slot != value) explicit_bzero(*slot, std::strlen(*slot));
    *slot = value;
}

// openssl enc's options for passphrases, which this tool does not take: each would
// need a key derivation, and a passphrase taken as the key would give garbage.
const char* const kPassphraseOptions[] = {"-k", "-pass", "-pbkdf2", "-iter", "-md", "-S", "-salt"};

// The checks that need the whole command line.
bool CheckCombination(Options* o, bool encrypt, bool decrypt, bool modeGiven, bool blockGiven,
                      const char* paddingGiven, bool noPad) {
    if (encrypt == decrypt && !o->printKey) {
        Report(encrypt ? "-e and -d exclude each other" : "-e or -d is needed");
        return false;
    }
    o->decrypt = decrypt;
    if ((o->key == nullptr) == (o->keyFile == nullptr)) {
        Report(o->key ? "-K and -kfile exclude each other"
                      : "a key is needed: -K KEY or -kfile FILE");
        return false;
    }
    if (o->keyFile != nullptr && Is(o->keyFile, "-")) {
        Report("-kfile -: the key cannot come from standard input, which carries the data");
        return false;
    }
    if (o->cipherName != nullptr && (modeGiven || blockGiven)) {
        Report("%s names the mode and the block size: leave out %s", o->cipherName,
               modeGiven && blockGiven ? "-m and -b"
               : modeGiven             ? "-m"
                                       : "-b");
        return false;
    }
    if (o->segment > o->blockSize) {
        Report(
            "mode %s has a %d-byte segment, more than the %d-byte block (wider blocks: "
            "-b 24 or -b 32)",
            o->modeName, o->segment, o->blockSize);
        return false;
    }
    const bool ecb = o->mode == CRijnDaelMode::ECB;
    if (o->iv != nullptr && o->ivPrefix) {
        Report("-iv and -ivprefix exclude each other");
        return false;
    }
    if (ecb && (o->iv != nullptr || o->ivPrefix)) {
        Report("mode ecb takes no IV (%s)", o->ivPrefix ? "-ivprefix" : "-iv");
        return false;
    }
    if (!ecb && o->iv == nullptr && !o->ivPrefix && !o->printKey) {
        Report("mode %s needs an IV (-iv IV, or -ivprefix when it is in front of the data)",
               o->modeName);
        return false;
    }
    if (noPad && paddingGiven != nullptr && o->padding != CRijnDaelMode::NONE) {
        Report("-nopad and -p %s exclude each other", paddingGiven);
        return false;
    }
    // Block modes pad by default, as other tools do; the others need no padding.
    if (noPad || (paddingGiven == nullptr && !o->Blockwise())) {
        o->padding = CRijnDaelMode::NONE;
        o->paddingName = "none";
    } else if (paddingGiven != nullptr) {
        o->paddingName = paddingGiven;
        o->phpPadding = Is(paddingGiven, "php");
        // PHP's mcrypt_encrypt pads only the block modes.
        if (o->phpPadding && !o->Blockwise()) o->padding = CRijnDaelMode::NONE;
    }
    if (o->stripZeros && (!decrypt || o->padding >= CRijnDaelMode::PKCS7)) {
        Report(decrypt ? "-stripzeros goes with -p zeros, php or none"
                       : "-stripzeros is for decrypting");
        return false;
    }
    if (o->oneLine && !o->base64 && !o->records) {
        Report("-A goes with -a");
        return false;
    }
    if ((o->hex || o->raw) && !o->records) {
        Report("%s goes with -records", o->hex ? "-hex" : "-raw");
        return false;
    }
    if (o->hex && o->base64) {
        Report("-hex and -a exclude each other");
        return false;
    }
    return true;
}

}  // namespace

ParseResult ParseOptions(int argc, char** argv, Options* options) {
    Options& o = *options;
    bool encrypt = false, decrypt = false, modeGiven = false, blockGiven = false, noPad = false;
    const char* paddingGiven = nullptr;
    static const struct {
        const char* name;
        bool Options::*flag;
    } kFlags[] = {
        {"-a", &Options::base64},        {"-base64", &Options::base64},
        {"-A", &Options::oneLine},       {"-progress", &Options::progress},
        {"-padkey", &Options::padKey},   {"-ivprefix", &Options::ivPrefix},
        {"-P", &Options::printKey},      {"-stripzeros", &Options::stripZeros},
        {"-records", &Options::records}, {"-hex", &Options::hex},
        {"-raw", &Options::raw},
    };
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (Is(arg, "-h") || Is(arg, "-help") || Is(arg, "--help")) return HELP;
        if (Is(arg, "-version") || Is(arg, "--version")) return VERSION;
        if (Is(arg, "-e") || Is(arg, "-d")) {
            (arg[1] == 'e' ? encrypt : decrypt) = true;
            continue;
        }
        bool flag = false;
        for (const auto& f : kFlags) {
            if (Is(arg, f.name)) flag = o.*(f.flag) = true;
        }
        if (flag) continue;
        // openssl enc writes no salt when given a key; asking for none costs nothing.
        if (Is(arg, "-nosalt")) continue;
        if (Is(arg, "-nopad")) {
            noPad = true;
            continue;
        }
        const CipherParse cipher = ParseCipherName(arg, &o);
        if (cipher == CIPHER || cipher == CIPHER_BLOCK_ONLY) {
            blockGiven = blockGiven || cipher == CIPHER_BLOCK_ONLY;
            continue;
        }
        if (cipher != NOT_A_CIPHER) {
            Report(cipher == CIPHER_BAD_MODE ? "unknown cipher %s"
                                             : "%s: the segment is whole bytes, 8 to 256 bits",
                   arg);
            return USAGE_ERROR;
        }
        for (const char* passphrase : kPassphraseOptions) {
            if (Is(arg, passphrase)) {
                Report(
                    "%s: rijndael takes the key itself, not a passphrase to derive one from "
                    "(-K KEY in hex; a key kept as text: -K TEXT -keyform text)",
                    arg);
                return USAGE_ERROR;
            }
        }
        static const char* const kValued[] = {"-K", "-kfile", "-keyform", "-iv", "-ivform",
                                              "-b", "-m",     "-p",       "-in", "-out"};
        bool takesValue = false;
        for (const char* name : kValued) takesValue = takesValue || Is(arg, name);
        if (!takesValue) {
            // Not echoed unless it looks like an option: a key or an IV put in the
            // wrong place must not end up on a terminal or in a log.
            if (arg[0] == '-') {
                Report("unknown option %s", arg);
            } else {
                Report("argument %d is not an option (files are given with -in and -out)", i);
            }
            return USAGE_ERROR;
        }
        if (i + 1 == argc) {
            Report("%s needs a value", arg);
            return USAGE_ERROR;
        }
        char* value = argv[++i];
        if (Is(arg, "-K")) {
            KeepSecret(&o.key, value);
        } else if (Is(arg, "-iv")) {
            KeepSecret(&o.iv, value);
        } else if (Is(arg, "-kfile")) {
            o.keyFile = value;
        } else if (Is(arg, "-in")) {
            o.in = value;
        } else if (Is(arg, "-out")) {
            o.out = value;
        } else if (Is(arg, "-keyform") || Is(arg, "-ivform")) {
            const bool key = arg[1] == 'k';
            if (!ParseForm(value, key, key ? &o.keyForm : &o.ivForm)) {
                Report("%s %s: the forms are hex, base64, text%s", arg, value, key ? ", raw" : "");
                return USAGE_ERROR;
            }
        } else if (Is(arg, "-b")) {
            if (!Is(value, "16") && !Is(value, "24") && !Is(value, "32")) {
                Report("-b %s: the block size is 16, 24 or 32 bytes", value);
                return USAGE_ERROR;
            }
            o.blockSize = (value[0] - '0') * 10 + (value[1] - '0');
            blockGiven = true;
        } else if (Is(arg, "-m")) {
            ModeChoice choice;
            const ModeParse found = ParseModeName(value, &choice);
            if (found != MODE_FOUND) {
                Report(found == MODE_BAD_SEGMENT
                           ? "-m %s: the segment is whole bytes, 8 to 256 bits"
                           : "unknown mode %s (ecb, cbc, cfb, cfbN, ofb, ofbN, ctr, ncfb, nofb)",
                       value);
                return USAGE_ERROR;
            }
            o.mode = choice.mode;
            o.segment = choice.segment;
            o.modeName = value;
            modeGiven = true;
        } else {
            const PaddingName* found = nullptr;
            for (const PaddingName& p : kPaddings) found = Is(value, p.name) ? &p : found;
            if (found == nullptr) {
                Report(value[0] == '-'
                           ? "-p takes a padding, not %s (openssl enc's -p, which prints the key "
                             "and the IV, is -P here)"
                           : "unknown padding %s (none, zeros, php, pkcs7, x923, iso10126)",
                       value);
                return USAGE_ERROR;
            }
            o.padding = found->padding;
            paddingGiven = found->name;
        }
    }
    return CheckCombination(&o, encrypt, decrypt, modeGiven, blockGiven, paddingGiven, noPad)
               ? PARSED
               : USAGE_ERROR;
}

void WipeSecretArguments(const Options& options) {
    for (char* secret : {options.key, options.iv}) {
        if (secret != nullptr) explicit_bzero(secret, std::strlen(secret));
    }
}

}  // namespace detail
}  // namespace sealwrit
