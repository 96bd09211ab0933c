#include "sim/analysis/ClockHold.h"

#include <stdexcept>

namespace ksim {

ClockHoldWindow::ClockHoldWindow(double dataUnitInterval, std::size_t window, double bandUi)
    : dataUnitInterval_(dataUnitInterval), window_(window), band_(bandUi) {
    if (!(dataUnitInterval > 0.0) || window < 2 || !(bandUi > 0.0))
        throw std::runtime_error("clock hold window: a positive unit interval and band, at least 2 edges");
}

bool ClockHoldWindow::Holds(double edgeTime) {
    const std::uint64_t j = index_++;
    const double phase = edgeTime / dataUnitInterval_ - static_cast<double>(j);
    if (phase != phase) return false;
    while (!lowest_.empty() && lowest_.back().second >= phase) lowest_.pop_back();
    while (!highest_.empty() && highest_.back().second <= phase) highest_.pop_back();
    lowest_.emplace_back(j, phase);
    highest_.emplace_back(j, phase);
    while (lowest_.front().first + window_ <= j) lowest_.pop_front();
    while (highest_.front().first + window_ <= j) highest_.pop_front();
    return highest_.front().second - lowest_.front().second <= band_;
}

}  // namespace ksim
