#include "dsp/FIR.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace Velmora {

FIR<double, 0>::~FIR() { ReleaseDelayStorage(); }

bool FIR<double, 0>::Setup() {
    bool valid = true;
    if (NumberOfTaps <= 0) {
        ReportError("There must be at least one Tap");
        valid = false;
    }
    if (Decimation < 1) {
        ReportError("Decimation must be > 0");
        valid = false;
    }
    if (DecimationPhase < 0) {
        ReportError("DecimationPhase must be >= 0");
        valid = false;
    }
    if (DecimationPhase >= Decimation) {
        ReportError("DecimationPhase must be < Decimation ratio");
        valid = false;
    }
    if (Interpolation <= 0) {
        ReportError("Interpolation must be > 0");
        return false;
    }
    if (!valid) return false;

    input.SetRate(static_cast<std::size_t>(Decimation));
    output.SetRate(static_cast<std::size_t>(Interpolation));

    // Room for the taps of one phase behind the newest of the Decimation samples that a firing adds.
    delayLine.size = static_cast<std::size_t>(NumberOfTaps / Interpolation) +
                     static_cast<std::size_t>(Decimation) + 1;
    delayLine.rate = static_cast<std::size_t>(Decimation);
    tapsPerPhase = NumberOfTaps / Interpolation + (NumberOfTaps % Interpolation != 0 ? 1 : 0);
    return true;
}

bool FIR<double, 0>::Initialize() {
    ReleaseDelayStorage();
    const std::size_t history = delayLine.size;
    if (history > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
    // Allocate hands out zeroed storage, so the history and its mirror start as the same all-zero run.
    delayStorage = CircularBuffer<double>::Allocate(2 * history);
    delayLine.Attach(delayStorage, history);
    mirrorDistance = history;
    return true;
}

bool FIR<double, 0>::ReadyToRun() const {
    if (Taps == nullptr || NumberOfTaps < 1 || tapsPerPhase < 1) return false;
    if (Decimation < 1 || Interpolation < 1 || DecimationPhase < 0 || DecimationPhase >= Decimation) return false;
    const std::size_t d = static_cast<std::size_t>(Decimation);
    const std::size_t history = delayLine.size;
    if (delayLine.data == nullptr || delayLine.capacity < history) return false;
    if (delayLine.position >= delayLine.capacity) return false;
    if (history < d + static_cast<std::size_t>(tapsPerPhase)) return false;
    if (input.data == nullptr || input.capacity < d) return false;
    if (output.data == nullptr || output.capacity < static_cast<std::size_t>(Interpolation)) return false;
    return true;
}

bool FIR<double, 0>::HistoryIsMirrored() const {
    return mirrorDistance != 0 && delayLine.data == delayStorage && delayLine.capacity == mirrorDistance;
}

void FIR<double, 0>::StoreHistory(std::size_t offset, double sample) {
    const std::size_t index = delayLine.IndexOf(offset);
    delayLine.data[index] = sample;
    if (HistoryIsMirrored()) delayLine.data[index + mirrorDistance] = sample;
}

bool FIR<double, 0>::Run() {
    if (!ReadyToRun()) return false;

    if (Decimation == 1 && Interpolation == 1 && DecimationPhase == 0 && HistoryIsMirrored()) {
        RunPlainConvolution();
    } else {
        RunPolyphase();
    }

    delayLine.position += static_cast<std::size_t>(Decimation);
    if (delayLine.position >= delayLine.capacity) delayLine.position -= delayLine.capacity;
    return true;
}

void FIR<double, 0>::RunPlainConvolution() {
    const std::size_t history = delayLine.size;
    StoreHistory(history - 1, input[0]);

    // With a single phase the tap index is l itself, so the taps that exist are the first min(L, N).
    const std::ptrdiff_t count = tapsPerPhase < NumberOfTaps ? tapsPerPhase : NumberOfTaps;
    // The offsets history - count .. history - 1 unwrap into the mirrored storage without a wrap test: the
    // unwrapped index stays below position + history <= 2 * capacity.
    const double* newest = delayLine.data + delayLine.position + (history - 1);
    const double* taps = Taps;
    // The same products, added one by one from l = 0 onto a sum that starts at +0, as the polyphase loop.
    double sum = 0.0;
    for (std::ptrdiff_t l = 0; l < count; ++l) sum = newest[-l] * taps[l] + sum;
    output[0] = sum;
}

void FIR<double, 0>::RunPolyphase() {
    const std::size_t d = static_cast<std::size_t>(Decimation);
    const std::int64_t interpolation = Interpolation;
    const std::int64_t numberOfTaps = NumberOfTaps;
    const std::size_t history = delayLine.size;
    const std::int32_t perPhase = tapsPerPhase;

    for (std::size_t i = 0; i < d; ++i) StoreHistory(history - d + i, input[i]);

    std::size_t k = 0;
    std::int64_t phase = DecimationPhase;
    for (std::size_t j = 1; j <= d; ++j) {
        const std::size_t newest = history - d + j - 1;
        while (phase < interpolation) {
            // The sum starts from +0 and takes the products in ascending tap order: the same additions,
            // in the same order, as accumulating into the output element itself.
            double sum = 0.0;
            std::int64_t tap = phase;
            for (std::int32_t l = 0; l < perPhase && tap < numberOfTaps; ++l, tap += interpolation) {
                sum = delayLine[newest - static_cast<std::size_t>(l)] * Taps[tap] + sum;
            }
            output[k] = sum;
            ++k;
            phase += Decimation;
        }
        phase -= interpolation;
    }
}

bool FIR<double, 0>::Finalize() {
    ReleaseDelayStorage();
    return true;
}

void FIR<double, 0>::ReleaseDelayStorage() {
    if (delayStorage == nullptr) return;
    FreeStorage(delayStorage);
    delayLine.Attach(nullptr, 0);
    mirrorDistance = 0;
}

}  // namespace Velmora
