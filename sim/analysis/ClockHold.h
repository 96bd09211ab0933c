#pragma once

// Whether the recovered clock holds the data's phase, judged edge by edge as the edges come, so that the
// eye is folded only over stretches where it does.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

namespace ksim {

class ClockHoldWindow {
public:
    // dataUnitInterval [s], > 0; window: edges looked back over, >= 2; bandUi: the phase band they must
    // share [UI], > 0. Bad arguments throw std::runtime_error.
    explicit ClockHoldWindow(double dataUnitInterval, std::size_t window = 1024, double bandUi = 0.2);

    // The next edge [s], one per clock period: true when its phase against the data (t / dataUnitInterval
    // minus its index) and those of the edges before it in the window lie within the band. A clock that
    // slips or drifts by more than the band per window does not hold.
    bool Holds(double edgeTime);

private:
    double dataUnitInterval_;
    std::size_t window_;
    double band_;
    std::uint64_t index_ = 0;
    std::deque<std::pair<std::uint64_t, double>> lowest_, highest_;  // candidates for the window's min and max
};

}  // namespace ksim
