// The -progress line on standard error: bytes done, rate, and with a known input size
// the percentage and the time left.
#ifndef SEALWRIT_RIJNDAEL_PROGRESS_H
#define SEALWRIT_RIJNDAEL_PROGRESS_H

#include <cstddef>
#include <cstdint>

namespace sealwrit {
namespace detail {

class Progress {
public:
    // total: the input's size in bytes, or a negative number when unknown (a pipe).
    Progress(bool enabled, std::int64_t total);
    // Shows done bytes of input read, no more than a few times a second.
    void Update(std::uint64_t done);
    // Takes the line away, so that a message or the shell's prompt starts clean.
    void Clear();

private:
    bool m_enabled;
    std::int64_t m_total;
    double m_start;
    double m_last;
    std::size_t m_shown = 0;  // characters on the line now
};

}  // namespace detail
}  // namespace sealwrit

#endif
