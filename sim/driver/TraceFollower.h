#pragma once

// Follows the receiver's adaptation trace while the run goes: the lines appended since the last look, and
// the simulated time at which each was written.
//
// The trace carries no times, and a line is seen only after the AMI_GetWave call in which it was written,
// which with long blocks may span the whole run. The time is worked out instead from the receiver's
// schedule: measurement k (from 0) ends at falling clock edge number
//   kStartGateClocks + (EOM_window + 1) + k * (EOM_window + 1 + request echo in clock periods),
// and the time of that edge is taken, held within the block in which the line appeared (so that a
// schedule thrown off, e.g. by a lost lock, still gives a time the block grid allows).

#include <cstddef>
#include <cstdint>
#include <string>

namespace ksim {

class TraceFollower {
public:
    // path: the receiver's "adapt.txt"; eomWindow: EOM_window as the receiver applies it;
    // echoClocks: the request echo in clock periods.
    TraceFollower(const std::string& path, int eomWindow, double echoClocks);

    // Reads what was appended; returns how many data lines are new. A header line starts the count afresh.
    std::size_t Poll();
    std::size_t DataLines() const { return lines_; }
    // The text of the last header and the whole data lines after it, as read so far.
    const std::string& Text() const { return text_; }

    // The falling clock edge (counted from 1) at which data line k (from 0) is written.
    std::uint64_t EdgeOfLine(std::size_t k) const;

private:
    std::string path_;
    long long offset_ = 0;
    std::string partial_;
    std::size_t lines_ = 0;
    std::string text_;
    int window_;
    double echoClocks_;
};

}  // namespace ksim
