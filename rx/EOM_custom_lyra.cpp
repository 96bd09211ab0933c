#include "rx/EOM_custom_lyra.h"

#include <algorithm>
#include <climits>
#include <string>

#include "runtime/UnitRates.h"
#include "rx/ControlEdges.h"

using control_edges::Falls;
using control_edges::IsLow;
using control_edges::Rises;

namespace {

constexpr double kFullScale = 0.2;  // [V]; the monitor always measures on this scale

}  // namespace

bool EOM_custom_lyra::Setup() {
    Velmora::SetUnitRates(clockInput, dataInput, controlInput, doneOutput, heoOutput, veoOutput);
    return true;
}

bool EOM_custom_lyra::Initialize() {
    Amplitude = kFullScale;
    doneValue = 0.0;
    heoValue = 0.0;
    veoValue = 0.0;
    counter = 0;
    previousControl = 0;
    measuring = 0;
    previousClock = 0;
    row = 0;

    bool valid = true;
    if (SamplesPerBit < 1 || SamplesPerBit > kMapExtent) {
        ReportError("EOM_custom_lyra: samples per bit is " + std::to_string(SamplesPerBit) +
                    "; the eye map holds 1 to " + std::to_string(kMapExtent) + " phase rows.");
        valid = false;
    }
    if (Levels < 4 || Levels > kMapExtent) {
        ReportError("EOM_custom_lyra: VerticalEyeRes gives " + std::to_string(Levels) +
                    " level bins; the eye map needs 4 to " + std::to_string(kMapExtent) + ".");
        valid = false;
    }
    if (!valid) {
        // Without a map the monitor measures nothing, so a caller that runs it anyway stays in bounds.
        map.reset();
        return false;
    }
    if (!map) map = std::make_unique<double[]>(static_cast<std::size_t>(kMapExtent) * kMapExtent);
    std::fill_n(map.get(), kMapExtent * kMapExtent, 0.0);
    return true;
}

bool EOM_custom_lyra::Finalize() {
    map.reset();
    return true;
}

bool EOM_custom_lyra::Run() {
    const int clock = clockInput[0];
    const int control = controlInput[0];

    if (map) {
        if (Falls(previousClock, clock)) {
            if (counter == 0 && IsLow(control)) {
                row = 0;
                measuring = 1;
            }
            // A window of INT_MAX periods never ends; the counter must not wrap meanwhile.
            if (measuring == 1 && counter < INT_MAX) ++counter;
        }
        if (Falls(previousControl, control)) counter = 0;
        if (Rises(previousControl, control)) ClearMeasurement();
        if (measuring == 1) AddSample(dataInput[0]);
        if (counter > Window && measuring == 1) Evaluate();
    }

    heoOutput[0] = heoValue;
    veoOutput[0] = veoValue;
    doneOutput[0] = static_cast<int>(doneValue);
    previousClock = clock;
    previousControl = control;
    return true;
}

void EOM_custom_lyra::ClearMeasurement() {
    row = 0;
    std::fill_n(map.get(), kMapExtent * kMapExtent, 0.0);
    doneValue = 0.0;
    heoValue = 0.0;
    veoValue = 0.0;
    counter = 0;
    measuring = 0;
}

void EOM_custom_lyra::AddSample(double x) {
    const int half = Levels / 2;
    double scaled = half * x / Amplitude;
    // Everything beyond the outermost bins lands in them; limiting first keeps the conversion to int
    // defined. A sample that is not a number is taken as 0.
    if (scaled != scaled) scaled = 0.0;
    scaled = std::min(std::max(scaled, -static_cast<double>(Levels)), static_cast<double>(Levels));
    const int bin = std::min(std::max(static_cast<int>(scaled) + half - 1, 0), Levels - 1);

    double* cells = map.get() + row * kMapExtent;
    if (bin >= half) {
        for (int b = bin; b < Levels; ++b) cells[b] += 1.0;
    } else {
        for (int b = 0; b <= bin; ++b) cells[b] += 1.0;
    }
    row = (row + 1) % SamplesPerBit;
}

void EOM_custom_lyra::Evaluate() {
    const int half = Levels / 2;
    double widthSum = 0.0;
    double heightSum = 0.0;
    int validLevels = 0;
    for (int bin = half - 2; bin <= half + 2; ++bin) {
        const LevelScan scan = ScanLevel(map.get(), SamplesPerBit, Levels, bin);
        if (scan.width > 0) {
            widthSum += scan.width;
            heightSum += scan.height;
            ++validLevels;
        }
    }

    heoValue = 0.0;
    veoValue = 0.0;
    if (validLevels > 0) {
        const double meanWidth = widthSum / validLevels;
        const double meanHeight = heightSum / validLevels;
        if (meanHeight >= 4.0 && meanWidth >= 0.05 * SamplesPerBit) {
            heoValue = meanWidth / SamplesPerBit;
            veoValue = meanHeight / Levels * Amplitude * 2.0;
        }
    }
    doneValue = 1.0;
    measuring = 0;
}

EOM_custom_lyra::LevelScan EOM_custom_lyra::ScanLevel(const double* map, int rows, int levels, int bin) {
    auto cell = [&](int r, int b) { return map[r * kMapExtent + b]; };

    // Zero runs along the phase axis, the rows taken as a circle, in order of their start row.
    int runStart[kMaxZeroRuns];
    int runLength[kMaxZeroRuns];
    int runs = 0;
    for (int j = 0; j < rows && runs < kMaxZeroRuns; ++j) {
        const int before = j == 0 ? rows - 1 : j - 1;
        if (cell(before, bin) > 0.0 && cell(j, bin) == 0.0) {
            int length = 0;
            int r = j;
            while (length < rows && cell(r, bin) == 0.0) {
                ++length;
                r = r + 1 == rows ? 0 : r + 1;
            }
            runStart[runs] = j;
            runLength[runs] = length;
            ++runs;
        }
    }

    LevelScan scan;
    if (runs == 0) {
        if (cell(0, bin) == 0.0) scan.width = rows;  // the whole level is empty
    } else {
        int longest = 0;
        for (int k = 1; k < runs; ++k) {
            if (runLength[k] > runLength[longest]) longest = k;
        }
        scan.width = runLength[longest];
        scan.start = runStart[longest];
    }
    if (scan.width == 0) return scan;

    int centre = static_cast<int>(scan.start + 0.5 * scan.width);
    if (centre > rows - 1) centre -= rows;
    scan.centre = centre;

    const int half = levels / 2;
    int height = 0;
    for (int b = half; b < levels && cell(centre, b) == 0.0; ++b) ++height;
    for (int b = half - 1; b >= 0 && cell(centre, b) == 0.0; --b) ++height;
    scan.height = height;
    return scan;
}
