#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace ksim {

// A one-line progress bar on standard error, shown only when standard error is a terminal.
class ProgressBar {
public:
    ProgressBar(std::size_t total, bool wanted) : total_(total), shown_(wanted && isatty(STDERR_FILENO)) {}
    // The end moved (a run whose length is decided as it goes).
    void SetTotal(std::size_t total) { total_ = total; }
    void Update(std::size_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double fraction = total_ ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const int width = 40;
        const int filled = static_cast<int>(fraction * width);
        std::fprintf(stderr, "\r[");
        for (int i = 0; i < width; ++i) std::fputc(i < filled ? '#' : '.', stderr);
        std::fprintf(stderr, "] %5.1f%%  %.2f Msamples/s ", 100.0 * fraction,
                     seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0.0);
        std::fflush(stderr);
    }
    void Finish() {
        if (shown_) std::fprintf(stderr, "\n");
    }

private:
    std::size_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace ksim
