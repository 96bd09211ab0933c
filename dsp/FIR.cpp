#include "dsp/FIR.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace Velmora {

FIR<double, 0>::~FIR() {
    ReleaseDelayStorage();
    ReleaseBlockStorage();
}

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
    samplesSinceNonFinite = history;

    ReleaseBlockStorage();
    if (NumberOfTaps >= 1) {
        const std::size_t taps = static_cast<std::size_t>(NumberOfTaps);
        blockStorage = CircularBuffer<double>::Allocate(taps - 1 + 2 * kBlockSamples + FirKernelScratch(taps, kBlockSamples));
        blockWindow = blockStorage;
        blockOutput = blockStorage + (taps - 1 + kBlockSamples);
        kernelScratch = blockOutput + kBlockSamples;
        blockTaps = taps;
    }
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
    samplesSinceNonFinite = std::isfinite(sample) ? std::min(samplesSinceNonFinite + 1, delayLine.size) : 0;
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
    // The same products, added one by one from l = 0 onto a sum that starts at +0, as the polyphase loop.
    output[0] = FirReferenceSum(newest, Taps, static_cast<std::size_t>(count));
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
    ReleaseBlockStorage();
    return true;
}

bool FIR<double, 0>::SelectPath(FirPath wanted) {
    FirBlockKernel chosen = FirKernelFor(wanted);
    if (chosen == nullptr && wanted != FirPath::Reference) return false;
    path = wanted;
    kernel = chosen;
    return true;
}

bool FIR<double, 0>::BlocksReady() const {
    return kernel != nullptr && ReadyToRun() && Decimation == 1 && Interpolation == 1 && DecimationPhase == 0 &&
           HistoryIsMirrored() && blockStorage != nullptr && blockTaps == static_cast<std::size_t>(NumberOfTaps) &&
           delayLine.size == blockTaps + 2;
}

void FIR<double, 0>::LoadBlock(const double* in, std::size_t n) {
    const std::size_t taps = blockTaps;
    const std::size_t history = delayLine.size;
    // The sample taps - 1 firings old sits at offset history - taps; the mirror keeps the run contiguous.
    std::memcpy(blockWindow, delayLine.data + delayLine.position + (history - taps), (taps - 1) * sizeof(double));
    std::memcpy(blockWindow + (taps - 1), in, n * sizeof(double));
    blockLength = n;
    firstNonFinite = n;
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(in[k])) {
            firstNonFinite = k;
            break;
        }
    }
    FilterBlockFrom(0);
}

void FIR<double, 0>::FilterBlockFrom(std::size_t first) {
    const std::size_t taps = blockTaps;
    const std::size_t n = blockLength;
    std::size_t active = taps;
    while (active > 0 && Taps[active - 1] == 0.0) --active;
    bool tapsFinite = true;
    for (std::size_t l = 0; l < active; ++l) tapsFinite = tapsFinite && std::isfinite(Taps[l]);

    // Output j's window is blockWindow[j .. j + taps - 1]. A non-finite sample in the history reaches the
    // outputs before taintedUntil, one in the block those from firstNonFinite on.
    const std::size_t clean = samplesSinceNonFinite;
    const std::size_t taintedUntil = clean >= taps - 1 ? 0 : taps - 1 - clean;
    const std::size_t fastFrom = std::min(std::max(first, taintedUntil), n);
    const std::size_t fastTo = tapsFinite ? std::max(fastFrom, std::min(firstNonFinite, n)) : fastFrom;

    const double* newest = blockWindow + (taps - 1);
    for (std::size_t j = first; j < fastFrom; ++j) blockOutput[j] = FirReferenceSum(newest + j, Taps, taps);
    if (active == 0) {
        std::fill(blockOutput + fastFrom, blockOutput + fastTo, 0.0);
    } else if (fastTo - fastFrom < kShortestVectorRun) {
        for (std::size_t j = fastFrom; j < fastTo; ++j) blockOutput[j] = FirReferenceSum(newest + j, Taps, active);
    } else {
        kernel(blockWindow + (taps - active) + fastFrom, Taps, active, blockOutput + fastFrom, fastTo - fastFrom,
               kernelScratch);
    }
    for (std::size_t j = fastTo; j < n; ++j) blockOutput[j] = FirReferenceSum(newest + j, Taps, taps);
}

void FIR<double, 0>::CommitBlock(std::size_t fired) {
    const std::size_t history = delayLine.size;
    const std::size_t taps = blockTaps;
    const std::size_t start = delayLine.position;
    // Firing k stores its sample at offset history - 1 of position start + k, that is at index
    // start + k - 1 of the ring; only the last `history` samples survive.
    // The indices run up one by one from the oldest kept sample's, wrapping once at most: two runs.
    const std::size_t kept = std::min(fired, history);
    const double* samples = blockWindow + (taps - 1 + fired - kept);
    std::size_t index = (start + (fired - kept) + history - 1) % history;
    for (std::size_t done = 0; done < kept;) {
        const std::size_t run = std::min(kept - done, history - index);
        std::memcpy(delayLine.data + index, samples + done, run * sizeof(double));
        std::memcpy(delayLine.data + index + mirrorDistance, samples + done, run * sizeof(double));
        done += run;
        index = 0;
    }
    delayLine.position = (start + fired) % history;

    if (firstNonFinite >= fired) {
        samplesSinceNonFinite = std::min(samplesSinceNonFinite + fired, history);
    } else {
        std::size_t k = fired;
        while (std::isfinite(blockWindow[taps - 1 + k - 1])) --k;
        samplesSinceNonFinite = fired - k;
    }
}

void FIR<double, 0>::FilterSamples(const double* in, double* out, std::size_t n) {
    for (std::size_t at = 0; at < n; at += kBlockSamples) {
        const std::size_t m = std::min(kBlockSamples, n - at);
        LoadBlock(in + at, m);
        std::memcpy(out + at, blockOutput, m * sizeof(double));
        CommitBlock(m);
    }
}

void FIR<double, 0>::ReleaseBlockStorage() {
    if (blockStorage == nullptr) return;
    FreeStorage(blockStorage);
    blockWindow = nullptr;
    blockOutput = nullptr;
    kernelScratch = nullptr;
    blockTaps = 0;
    blockLength = 0;
}

void FIR<double, 0>::ReleaseDelayStorage() {
    if (delayStorage == nullptr) return;
    FreeStorage(delayStorage);
    delayLine.Attach(nullptr, 0);
    mirrorDistance = 0;
}

}  // namespace Velmora
