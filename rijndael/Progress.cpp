#include "Progress.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Report.h"

namespace sealwrit {
namespace detail {

namespace {

const double kInterval = 0.25;  // seconds between refreshes

double Now() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// "512 B", "12.3 KiB", "1.5 GiB".
void FormatBytes(double bytes, char* out, std::size_t size) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    std::snprintf(out, size, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
}

}  // namespace

Progress::Progress(bool enabled, std::int64_t total)
    : m_enabled(enabled), m_total(total), m_start(enabled ? Now() : 0), m_last(m_start) {}

void Progress::Update(std::uint64_t done) {
    if (!m_enabled) return;
    const double now = Now();
    if (now - m_last < kInterval) return;
    m_last = now;
    const double rate = double(done) / (now - m_start);
    char amount[32], speed[32], line[128];
    FormatBytes(double(done), amount, sizeof amount);
    FormatBytes(rate, speed, sizeof speed);
    int n = std::snprintf(line, sizeof line, "\r%s  %s/s", amount, speed);
    if (m_total > 0 && n > 0) {
        const std::uint64_t total = std::uint64_t(m_total);
        const std::uint64_t left =
            done < total && rate > 0 ? std::uint64_t(double(total - done) / rate + 0.5) : 0;
        n += std::snprintf(line + n, sizeof line - std::size_t(n), "  %u%%  %u:%02u:%02u left",
                           unsigned(done * 100 / total), unsigned(left / 3600),
                           unsigned(left / 60 % 60), unsigned(left % 60));
    }
    if (n <= 0) return;
    // Blanks over what a longer line before left.
    std::size_t length = std::size_t(n);
    const std::size_t shown = length - 1;
    while (length - 1 < m_shown && length < sizeof line) line[length++] = ' ';
    m_shown = shown;
    (void)WriteAll(STDERR_FILENO, line, length);
}

void Progress::Clear() {
    if (!m_enabled || m_shown == 0) return;
    char line[130];
    line[0] = '\r';
    std::memset(line + 1, ' ', m_shown);
    line[m_shown + 1] = '\r';
    (void)WriteAll(STDERR_FILENO, line, m_shown + 2);
    m_shown = 0;
}

}  // namespace detail
}  // namespace sealwrit
