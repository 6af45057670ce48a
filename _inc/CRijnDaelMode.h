// CRijnDaelMode: the chaining modes (ECB, CBC, CFB, OFB, CTR) and the paddings that
// other Rijndael software wrote its data with, for every block size CRijnDael keys.
//
// A CRijnDaelMode object carries one message in one direction: Begin, Update as often
// as the data comes, Finish. The static Encrypt and Decrypt do all three at once.
// Failures are the returned Result; nothing is printed. Any failure, and Finish, ends
// the message: the object must be begun again.
//
// The key object is only read, so one keyed CRijnDael may serve any number of
// CRijnDaelMode objects on any number of threads at once. A CRijnDaelMode object is
// used by one thread at a time.
#ifndef SEALWRIT_CRIJNDAELMODE_H
#define SEALWRIT_CRIJNDAELMODE_H

#include <sealwrit/Config.h>

#include <cstddef>

#include "Types.h"

class CRijnDael;

class SEALWRIT_EXPORT CRijnDaelMode {
public:
    typedef sealwrit::LPCSTR LPCSTR;
    typedef sealwrit::LPSTR LPSTR;

    // The enumerations have int underneath, so that any int a caller converts to them
    // is a value the calls can refuse (BAD_ARGUMENT) rather than undefined behaviour.
    //
    // b below is the key object's block size (16, 24 or 32), s the segment.
    //   ECB  each b-byte block on its own
    //   CBC  NIST SP 800-38A, b-byte IV
    //   CFB  SP 800-38A's CFB with an s-byte segment, 1 <= s <= b
    //   OFB  output feedback with an s-byte segment: the register shifts by s bytes
    //        and takes the first s output bytes
    //   CTR  the whole block one big-endian counter from the IV, one step a block,
    //        wrapping at 2^(8b)
    // CFB, OFB and CTR take any length; a short last segment or block uses only the
    // bytes it has.
    enum Mode : int { ECB, CBC, CFB, OFB, CTR };
    // Each pads to a multiple of the unit: the segment for CFB, the block otherwise.
    //   NONE      nothing; ECB and CBC then need whole blocks
    //   ZEROS     zero bytes up to the next multiple, none when already a multiple
    //             (an empty message stays empty); decrypting strips nothing
    //   PKCS7     1 .. unit bytes, each holding the count
    //   ANSIX923  1 .. unit bytes, zeros and then the count
    //   ISO10126  1 .. unit bytes, random and then the count
    // PKCS7, ANSIX923 and ISO10126 are checked and stripped when decrypting.
    enum Padding : int { NONE, ZEROS, PKCS7, ANSIX923, ISO10126 };
    //   SUCCESS        done
    //   NOT_KEYED      the key object has no key (or no longer the block size Begin
    //                  saw); Update or Finish on an object not begun
    //   BAD_ARGUMENT   a mode, padding or segment out of range, a null IV where the
    //                  mode needs one, a null buffer or written pointer
    //   BAD_LENGTH     a length the mode and padding cannot take (encrypting) or
    //                  cannot have produced (decrypting)
    //   BAD_PADDING    the padding does not check, whatever is wrong with it
    //   NO_RANDOMNESS  ISO 10126 filler wanted, and the operating system gives no
    //                  random bytes (getrandom, then /dev/urandom): rather than fill
    //                  with predictable bytes, Begin refuses
    enum Result : int { SUCCESS, NOT_KEYED, BAD_ARGUMENT, BAD_LENGTH, BAD_PADDING, NO_RANDOMNESS };
    // The call whose output OutputSize measures: Update, Finish, or the one-shot
    // Encrypt and Decrypt.
    enum Call : int { UPDATE, FINISH, ONE_SHOT };

    CRijnDaelMode();
    // Wipes whatever the object still holds of a message.
    ~CRijnDaelMode();
    // Two objects with one message's state would repeat its key stream.
    CRijnDaelMode(const CRijnDaelMode&) = delete;
    CRijnDaelMode& operator=(const CRijnDaelMode&) = delete;

    // One message, one direction, fed in pieces of any size. key must stay keyed and
    // unchanged until Finish; iv holds key.GetBlockSize() bytes (null for ECB, where
    // it is not read). segment: the CFB/OFB segment in bytes, 1 .. block size, 0
    // meaning the block; the other modes take 0 or the block size. Checked in the
    // order key, mode, padding, segment, IV; a failure leaves the object not begun.
    Result Begin(const CRijnDael& key, Mode mode, Padding padding, bool decrypt, LPCSTR iv,
                 int segment = 0);
    // Writes *written bytes to out; out holds OutputSize(UPDATE, ...) bytes, at most
    // n + GetBlockSize(). Bytes that cannot be finished yet (part of a block, and when
    // decrypting with a padding that is stripped, the last unit) wait in the object,
    // and come out ahead of the next piece, through out. in may be null and out too
    // when n is 0; out may be the same buffer as in, no other overlap.
    Result Update(LPCSTR in, std::size_t n, LPSTR out, std::size_t* written);
    // Pads (encrypting) or checks and strips the padding (decrypting), writing at most
    // one unit (the block, or CFB's segment) to out: OutputSize(FINISH, ...) bytes. A
    // bad padding leaves zeros where the last unit's plaintext would go and *written
    // 0. After Finish, or any failure, the object must be begun again.
    Result Finish(LPSTR out, std::size_t* written);

    // The whole message at once; out holds OutputSize(ONE_SHOT, ...) bytes, at most
    // n + GetBlockSize(), and may be the same buffer as in. A length the mode and
    // padding cannot take is found before anything is written. A decryption whose
    // padding does not check leaves zeros in the n bytes of out and *written 0: no
    // plaintext.
    static Result Encrypt(const CRijnDael& key, Mode mode, Padding padding, LPCSTR iv, LPCSTR in,
                          std::size_t n, LPSTR out, std::size_t* written, int segment = 0);
    static Result Decrypt(const CRijnDael& key, Mode mode, Padding padding, LPCSTR iv, LPCSTR in,
                          std::size_t n, LPSTR out, std::size_t* written, int segment = 0);

    // How many bytes call may write to out, for a message with key's block size,
    // mode, padding, segment and direction. n is, for UPDATE, the bytes of that call:
    // the answer is the most it can write after any earlier pieces (what they left
    // held back comes out first). For FINISH, the whole message given to Update: the
    // answer is what Finish writes. For ONE_SHOT, the message: what Encrypt or Decrypt
    // writes, which for Encrypt is the cipher text's length. 0 where the calls refuse
    // the arguments (an unkeyed key object, a mode, padding or segment out of range),
    // and for a call that is none of the three.
    // out must not be null even when the answer is 0.
    static std::size_t OutputSize(Call call, const CRijnDael& key, Mode mode, Padding padding,
                                  bool decrypt, std::size_t n, int segment = 0);
    // What result means, in a few words for a message ("the padding does not check");
    // never null.
    static const char* ResultString(Result result);

private:
    typedef sealwrit::BYTE BYTE;

    // The message's bytes through the mode, those that cannot be run yet kept back;
    // returns how many were written.
    SEALWRIT_NO_EXPORT std::size_t Run(const BYTE* in, std::size_t n, BYTE* out);
    // n bytes through the mode (whole blocks for ECB and CBC); in may be out.
    SEALWRIT_NO_EXPORT void Transform(const BYTE* in, std::size_t n, BYTE* out);
    SEALWRIT_NO_EXPORT void RunBlocks(const BYTE* in, std::size_t n, BYTE* out);
    SEALWRIT_NO_EXPORT void RunFeedback(const BYTE* in, std::size_t n, BYTE* out);
    SEALWRIT_NO_EXPORT void RunCounter(const BYTE* in, std::size_t n, BYTE* out);
    // Finish, and in *verdict all ones unless the padding failed its check.
    SEALWRIT_NO_EXPORT Result FinishWithVerdict(BYTE* out, std::size_t* written, unsigned* verdict);
    // Wipes the message's state and ends it; returns result.
    SEALWRIT_NO_EXPORT Result End(Result result);
    SEALWRIT_NO_EXPORT static Result OneShot(bool decrypt, const CRijnDael& key, Mode mode,
                                             Padding padding, LPCSTR iv, LPCSTR in, std::size_t n,
                                             LPSTR out, std::size_t* written, int segment);

    // The object's size and layout are part of the library's binary interface; it
    // holds no pointer to memory of its own. 152 bytes where pointers have 8.
    const CRijnDael* m_key;  // the key object Begin was given; null when not begun
    // CBC: the last cipher block; CFB and OFB: the feedback register; CTR: the next
    // counter block.
    BYTE m_register[32];
    // CFB, OFB, CTR: the block of key stream in use, m_streamAt bytes of it used (CFB
    // puts the cipher bytes of the segment in their place, to shift into m_register).
    BYTE m_stream[32];
    // Input that cannot be run yet: part of a block (ECB, CBC), or when decrypting with
    // a padding to strip, the last unit, held back for Finish. m_pendingBytes of it.
    BYTE m_pending[32];
    // ISO 10126's random filler, drawn by Begin so that Finish cannot fail for want
    // of it.
    BYTE m_filler[32];
    BYTE m_mode, m_padding, m_decrypt, m_blockSize, m_segment, m_unit;
    BYTE m_pendingBytes, m_streamAt;
    BYTE m_unitFill;  // message bytes given so far, modulo the unit
};

#endif
