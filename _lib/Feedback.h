// The chaining modes' feedback, as the modes' shared loops (ChainingOverBlocks.h) and
// the table's mode operations (backends/AesOperations.h) both name it. A header of
// its own below both, so that the loops over blocks depend on no back end and the
// back ends' generic modes can build on the loops.
#ifndef SEALWRIT_FEEDBACK_H
#define SEALWRIT_FEEDBACK_H

namespace sealwrit::detail {

// What a mode feeds back into the cipher: the previous cipher block (CBC, CFB) or
// the previous key stream block (OFB).
enum Feedback : int { kCbc, kCfb, kOfb };

}  // namespace sealwrit::detail

#endif
