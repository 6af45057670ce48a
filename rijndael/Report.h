// How the tool speaks to its user: one line "rijndael: ..." on standard error for
// each failure, and nothing on success.
#ifndef SEALWRIT_RIJNDAEL_REPORT_H
#define SEALWRIT_RIJNDAEL_REPORT_H

#include <cstdarg>
#include <cstddef>

namespace sealwrit {
namespace detail {

// Writes "rijndael: " and the formatted text as one line, in one write so that
// lines of tools sharing the terminal do not interleave.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with a prefix after "rijndael: " (a record's "line 17: "), for callers
// that take the format and its arguments themselves.
void ReportV(const char* prefix, const char* format, std::va_list args)
    __attribute__((format(printf, 2, 0)));

// Writes all n bytes to fd, retrying after signals and short writes.
bool WriteAll(int fd, const void* data, std::size_t n);

}  // namespace detail
}  // namespace sealwrit

#endif
