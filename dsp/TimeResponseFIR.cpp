#include "dsp/TimeResponseFIR.h"

#include <cmath>
#include <sstream>

#include "dsp/CubicSpline.h"

namespace Velmora {

TimeResponseFIR::~TimeResponseFIR() { ReleaseTaps(); }

void TimeResponseFIR::ReleaseTaps() {
    delete[] Taps;
    Taps = nullptr;
    NumberOfTaps = 0;
}

bool TimeResponseFIR::CheckResponse() const {
    const std::uint32_t n = NumberOfResponseValues;
    bool countValid = true;
    if (ResponseType == ImpulseResponse && n <= 3) {
        ReportError("At least 4 response coefficients are required for input impulse response");
        countValid = false;
    }
    if (ResponseType == StepResponse && n < 4) {
        ReportError("At least 4 response coefficients are required for input step response");
        countValid = false;
    }
    if (ResponseType != ImpulseResponse && ResponseType != StepResponse) {
        // "Inavlid" is misspelt on purpose: the message is the product's fixed text, which logs and scripts match.
        ReportError("Inavlid ResponseType is specified, it can be either Impulse Response or Step Response");
        return false;
    }
    if (!countValid) return false;
    if (NumberOfTimeStamps != n) {
        ReportError("Number of coefficients in response must be same as the number of values in time stamps");
        return false;
    }
    // NaN and infinity are refused as well: they come from broken host timing and would otherwise reach
    // the conversion of the tap count to an integer.
    if (!(SampleRate > 0.0) || !std::isfinite(SampleRate)) {
        ReportError("SampleRate must be > 0.0");
        return false;
    }
    if (Response == nullptr || ResponseTimeStamps == nullptr) {
        ReportError("Response and ResponseTimeStamps must point to the response values and their time stamps");
        return false;
    }
    return true;
}

bool TimeResponseFIR::NormaliseTimeStamps() {
    double* const stamps = ResponseTimeStamps;
    const double t0 = stamps[0];
    stamps[0] = 0.0;
    for (std::uint32_t i = 1; i < NumberOfTimeStamps; ++i) {
        stamps[i] = stamps[i] - t0;
        // Written so that a NaN stamp is refused as out of order too.
        if (!(stamps[i - 1] < stamps[i])) {
            std::ostringstream message;
            message << "ResponseTimeStamps[" << i + 1 << "] = " << stamps[i] + t0 << "  <= ResponseTimeStamps["
                    << i << "] = " << stamps[i - 1] + t0 << ". Time stamps must be in non-repeating ascending order.";
            ReportError(message.str());
            return false;
        }
    }
    return true;
}

bool TimeResponseFIR::AllocateTaps(double lastStamp) {
    const double span = lastStamp * SampleRate;  // samples covered by the response, >= 0 once normalised
    if (!(span < kMaxTaps)) {
        std::ostringstream message;
        message << "The response needs too many taps: last time stamp " << lastStamp << " s times SampleRate "
                << SampleRate << " must be below " << kMaxTaps;
        ReportError(message.str());
        return false;
    }
    ReleaseTaps();
    const std::int32_t count = static_cast<std::int32_t>(span) + 1;
    Taps = new double[static_cast<std::size_t>(count)];
    NumberOfTaps = count;
    return true;
}

// Derivative at t of the parabola through the stamps h-1, h, h+1 and their values, as a sum of the
// derivatives of the three Lagrange basis polynomials.
double TimeResponseFIR::StepSlope(std::uint32_t h, double t) const {
    const double* const x = ResponseTimeStamps;
    const double* const y = Response;
    double slope = 0.0;
    for (std::uint32_t k = h - 1; k <= h + 1; ++k) {
        const double xa = k == h - 1 ? x[h] : x[h - 1];
        const double xb = k == h + 1 ? x[h] : x[h + 1];
        slope = slope + y[k] * (2.0 * t - xa - xb) / ((x[k] - xa) * (x[k] - xb));
    }
    return slope;
}

void TimeResponseFIR::BuildTaps() {
    const double* const stamps = ResponseTimeStamps;
    const std::uint32_t n = NumberOfResponseValues;
    CubicSpline spline;
    std::uint32_t h = 0;  // moves forward only, from one tap to the next
    for (std::int32_t i = 0; i < NumberOfTaps; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        // h becomes the first stamp at or after t, or the last stamp.
        if (stamps[h] < t) {
            while (h + 1 != n) {
                ++h;
                if (t <= stamps[h]) break;
            }
        }
        double value;
        if (stamps[h] == t && ResponseType == ImpulseResponse) {
            value = Response[h];
        } else {
            // Keep the interpolation points inside the data: h-1..h+1 for a step, h-1..h+2 for an impulse.
            h = h == 0 ? 1 : (h < n - 3 ? h : n - 3);
            if (ResponseType == StepResponse) {
                value = StepSlope(h, t);
            } else {
                spline.Fit(stamps + (h - 1), Response + (h - 1), 4);
                value = spline.Evaluate(t);
            }
        }
        // A density per second becomes a weight per sample.
        Taps[i] = value / SampleRate;
    }
}

bool TimeResponseFIR::Setup() {
    if (!CheckResponse()) return false;
    if (!NormaliseTimeStamps()) return false;
    if (!AllocateTaps(ResponseTimeStamps[NumberOfTimeStamps - 1])) return false;
    BuildTaps();
    return FIR<double, 0>::Setup();
}

}  // namespace Velmora
