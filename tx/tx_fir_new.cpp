#include "tx/tx_fir_new.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>
#include <cstdint>
#include <new>

namespace {

constexpr int kMainCursorEntries = 32;
constexpr double kMainCursorTable[kMainCursorEntries] = {
    0.205, 0.26,  0.305, 0.355, 0.395, 0.44,  0.49,  0.525, 0.565, 0.61,  0.65,
    0.685, 0.72,  0.76,  0.79,  0.825, 0.86,  0.89,  0.925, 0.96,  0.985, 1.01,
    1.04,  1.075, 1.095, 1.125, 1.15,  1.165, 1.19,  1.205, 1.22,  1.225};

constexpr int kMaxMainSetting = 31;
constexpr int kMaxCursorSetting = 15;
constexpr double kInputLimit = 0.5;
constexpr std::size_t kDelayLineUnitIntervals = 4;

// to[k] = 2 x in[k] limited to +-kInputLimit, as Run limits its input: max(lo, x) is x unless lo > x, and
// min(hi, x) is x unless hi < x, so a NaN passes through both unchanged.
void LimitAndDouble(const double* in, double* to, std::size_t n) {
    const __m128d lo = _mm_set1_pd(-kInputLimit), hi = _mm_set1_pd(kInputLimit), two = _mm_set1_pd(2.0);
    std::size_t k = 0;
    for (; k + 2 <= n; k += 2) {
        _mm_storeu_pd(to + k, _mm_mul_pd(two, _mm_min_pd(hi, _mm_max_pd(lo, _mm_loadu_pd(in + k)))));
    }
    for (; k < n; ++k) {
        _mm_store_sd(to + k, _mm_mul_sd(two, _mm_min_sd(hi, _mm_max_sd(lo, _mm_load_sd(in + k)))));
    }
}

bool AnyNaN(const double* x, std::size_t n) {
    __m128d unordered = _mm_setzero_pd();
    std::size_t k = 0;
    for (; k + 2 <= n; k += 2) unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(_mm_loadu_pd(x + k), _mm_loadu_pd(x + k)));
    bool any = _mm_movemask_pd(unordered) != 0;
    for (; k < n; ++k) any = any || x[k] != x[k];
    return any;
}

int ClampSetting(int value, int upper) {
    if (value < 0) return 0;
    if (value > upper) return upper;
    return value;
}

}  // namespace

void tx_fir_new::ClampSettings() {
    c0 = ClampSetting(c0, kMaxMainSetting);
    cm1 = ClampSetting(cm1, kMaxCursorSetting);
    c1 = ClampSetting(c1, kMaxCursorSetting);
}

void tx_fir_new::ComputeWeights() {
    int sum = cm1 + c0 + c1;
    if (sum > kMainCursorEntries - 1) sum = kMainCursorEntries - 1;
    mainTap = kMainCursorTable[sum] * 0.5;
    postTap = c1 >= 1 ? (-0.03 - c1 * 0.031) * 0.5 : 0.0;
    preTap = cm1 >= 1 ? (-0.025 - cm1 * 0.03) * 0.5 : 0.0;
    // The cursor weights are zero or negative here and lower the main weight by their magnitudes.
    mainTap = (postTap + mainTap) + preTap;

    if (c0_sign == 0) mainTap = -mainTap;
    if (c1_sign == 1) postTap = -postTap;
    if (cm1_sign == 1) preTap = -preTap;
}

bool tx_fir_new::Initialize() {
    ClampSettings();
    ComputeWeights();

    delayLine.reset();
    delayLength = 0;
    tapSpacing = 0;
    newest = 0;
    if (samplesPerBit < 1) {
        ReportError("samplesPerBit must be >= 1");
        return false;
    }
    const std::size_t spacing = static_cast<std::size_t>(samplesPerBit);
    if (spacing > SIZE_MAX / sizeof(double) / kDelayLineUnitIntervals) throw std::bad_alloc();
    delayLength = kDelayLineUnitIntervals * spacing;
    delayLine.reset(new double[delayLength]());
    runWindow.reset(new double[2 * spacing + kRunLength]());
    tapSpacing = spacing;
    return true;
}

void tx_fir_new::RunSamples(const double* in, double* out, std::size_t n) {
    const std::size_t s = tapSpacing;
    double* const window = runWindow.get();
    for (std::size_t at = 0; at < n; at += kRunLength) {
        const std::size_t m = std::min(kRunLength, n - at);
        for (std::size_t a = 0; a < 2 * s; ++a) window[2 * s - 1 - a] = DelayedSample(a);
        LimitAndDouble(in + at, window + 2 * s, m);
        for (std::size_t k = 0; k < m; ++k) {
            out[at + k] = (window[k] * postTap + window[k + s] * mainTap) + window[2 * s + k] * preTap;
        }
        // Limited samples are finite or NaN, and the weights are finite, so an output is NaN exactly when
        // its window holds a NaN; such outputs are recomputed by the one scalar sum, whose NaN payload
        // the vectorised lines above need not match.
        if (AnyNaN(out + at, m)) {
            for (std::size_t k = 0; k < m; ++k) {
                if (out[at + k] != out[at + k]) out[at + k] = WeightedSum(window[k], window[k + s], window[2 * s + k]);
            }
        }
        // Firing k of the run stores its sample one ring place before that of firing k - 1; only the last
        // delayLength firings' samples survive.
        const std::size_t kept = std::min(m, delayLength);
        std::size_t index = (newest + delayLength - 1 - (m - kept) % delayLength) % delayLength;
        for (std::size_t k = m - kept; k < m; ++k) {
            delayLine[index] = window[2 * s + k];
            index = index == 0 ? delayLength - 1 : index - 1;
        }
        newest = (newest + delayLength - m % delayLength) % delayLength;
        input = window[2 * s + m - 1] / 2.0;
        output = out[at + m - 1];
    }
}

__attribute__((noinline)) double tx_fir_new::WeightedSum(double postSample, double mainSample,
                                                         double preSample) const {
    return (postSample * postTap + mainSample * mainTap) + preSample * preTap;
}

bool tx_fir_new::Run() {
    if (input < -kInputLimit) {
        input = -kInputLimit;
    } else if (input > kInputLimit) {
        input = kInputLimit;
    }
    if (!delayLine) {
        output = 0.0;
        return false;
    }
    // Moving the ring's start one place back ages every stored sample by one firing without moving data.
    newest = newest == 0 ? delayLength - 1 : newest - 1;
    delayLine[newest] = 2.0 * input;
    output = WeightedSum(DelayedSample(2 * tapSpacing), DelayedSample(tapSpacing), delayLine[newest]);
    return true;
}
