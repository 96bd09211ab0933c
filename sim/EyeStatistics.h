#pragma once

// The statistical views of a run: BER over the eye (bathtubs, contour, eye at a target BER) and the timing
// jitter of the recovered clock and of the data crossings. Part of what a run produces (see SimResults.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ksim {

// One point of a bathtub: the BER there and where it comes from.
struct BathtubPoint {
    double position = 0;        // sampling phase from the sampling point [UI], or decision threshold [V]
    double ber = 0;             // 0 .. 1
    bool counted = false;       // from counted errors; false: extrapolated below them from the tail fits
};

// The eye's opening at one target BER: 0 when even the sampling point / the threshold exceeds it.
struct EyeAtBer {
    double targetBer = 0;
    double widthUi = 0;         // span of sampling phases at the 0 V threshold with BER <= target [UI]
    double heightV = 0;         // span of thresholds at the sampling point with BER <= target [V]
};

struct BathtubAnalysis {
    bool measured = false;
    std::string reason;                   // why not, when not measured
    std::string conditioning;             // what each unit interval's bit was taken from
    std::string method;                   // how the BER below the counted errors is extrapolated
    std::uint64_t unitIntervals = 0;      // unit intervals whose bit was known and that were counted
    std::uint64_t unknownIntervals = 0;   // unit intervals left out: the sent bit was not known there
    std::uint64_t resyncs = 0;            // times the pattern was found again after losing it
    std::uint64_t errorsAtSamplingPoint = 0;  // counted errors at the sampling point and 0 V
    std::vector<BathtubPoint> horizontal; // BER against sampling phase, threshold 0 V
    std::vector<BathtubPoint> vertical;   // BER against threshold, at the sampling point
    // BER over the eye: phases x thresholds, row-major by threshold (row 0 at the lowest threshold).
    std::vector<double> mapPhasesUi;
    std::vector<double> mapThresholdsV;
    std::vector<double> mapBer;
    std::vector<EyeAtBer> eyeAt;          // at 1e-6 and 1e-12
};

// Time-interval error of one kind of timing event against an ideal grid fitted to it.
struct TieAnalysis {
    bool measured = false;
    std::string reason;                   // why not, when not measured
    std::uint64_t events = 0;             // clock edges or data crossings used
    double gridPeriodS = 0;               // period of the fitted grid [s]
    double frequencyOffsetPpm = 0;        // of the grid against the bit time [ppm], positive: slower
    double rmsUi = 0, peakToPeakUi = 0;   // of the TIE [UI]
    double minUi = 0, maxUi = 0;
    std::vector<std::uint64_t> histogram; // counts over minUi .. maxUi, equal bins
    bool splitMeasured = false;           // the tails allowed the random / deterministic split
    std::string splitReason;              // why not, when not
    double rjUi = 0;                      // random jitter: RMS of the Gaussian tails [UI]
    double djUi = 0;                      // deterministic jitter, dual-Dirac: distance of the tails' means [UI]
    double tjUi = 0;                      // total jitter at 1e-12: DJ + 2 x 7.034 x RJ [UI]
};

struct JitterAnalysis {
    std::string method;                   // how the TIE and its split are worked out
    TieAnalysis clock;                    // the recovered clock's falling edges
    TieAnalysis data;                     // the equalised signal's 0 V crossings
};

}  // namespace ksim
