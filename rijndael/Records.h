// -records: a table of messages, one a line, as a database column is exported: each
// line of the input is a message in Base64 or hex, each line of the output its result,
// in order. A record that fails leaves its line empty and is reported with its line
// number; the run goes on. One key schedule for the whole table, and memory that
// stays flat whatever the number of records.
#ifndef SEALWRIT_RIJNDAEL_RECORDS_H
#define SEALWRIT_RIJNDAEL_RECORDS_H

#include <cstdint>

#include "KeyReader.h"
#include "Options.h"
#include "OutputFile.h"

namespace sealwrit {
namespace detail {

// The most characters a record's line may have, its line break left out.
constexpr std::size_t kMaxRecordLine = 1 << 20;

// Runs every record from in (inSize bytes, or negative when unknown) to out; returns
// the exit status: 1 when the run failed or any record did.
int RunRecords(const Options& options, const KeyMaterial& key, int in, std::int64_t inSize,
               OutputFile* out);

}  // namespace detail
}  // namespace sealwrit

#endif
