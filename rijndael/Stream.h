// The input as one message: read in chunks, through the mode, out in chunks, so that
// memory stays flat whatever the input's size and a pipe's output starts before its
// input ends.
#ifndef SEALWRIT_RIJNDAEL_STREAM_H
#define SEALWRIT_RIJNDAEL_STREAM_H

#include <cstdint>

#include "KeyReader.h"
#include "Options.h"
#include "OutputFile.h"

namespace sealwrit {
namespace detail {

// Runs the message from in (inSize bytes, or negative when unknown) to out; reports a
// failure and returns the exit status.
int RunStream(const Options& options, const KeyMaterial& key, int in, std::int64_t inSize,
              OutputFile* out);

}  // namespace detail
}  // namespace sealwrit

#endif
