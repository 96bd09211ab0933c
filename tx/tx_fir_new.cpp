#include "tx/tx_fir_new.h"

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
    tapSpacing = spacing;
    return true;
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
    output = (DelayedSample(2 * tapSpacing) * postTap + DelayedSample(tapSpacing) * mainTap) +
             delayLine[newest] * preTap;
    return true;
}
