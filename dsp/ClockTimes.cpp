#include "dsp/ClockTimes.h"

#include <cmath>

#include "math/PortableMath.h"

namespace Velmora {

namespace {
constexpr double kHalfPi = 1.5707963267948966;

double ClampToUnit(double x) {
    if (x > 1.0) return 1.0;
    if (x < -1.0) return -1.0;
    return x;
}
}  // namespace

bool ClockTimes::Initialize() {
    if (!(SampleInterval > 0.0)) {  // also refuses NaN; the state is left as it was
        ReportError("SampleInterval must be larger than 0.");
        return false;
    }
    sampleCounter = 0;
    previousInput = -1.0;
    return true;
}

double ClockTimes::CrossingFraction(double previous, double present, double amplitude) {
    const double before = pm::Acos(ClampToUnit(previous / amplitude));
    const double after = pm::Acos(ClampToUnit(present / amplitude));
    return (kHalfPi - before) / (after - before);
}

bool ClockTimes::Run() {
    const double present = input[0];
    const std::uint64_t n = sampleCounter;
    const bool rising = EdgeType == 1 && previousInput <= 0.0 && present > 0.0;
    const bool falling = EdgeType == 0 && previousInput > 0.0 && present <= 0.0;

    if (n != 0 && (rising || falling)) {
        const double fraction =
            Interpolate == 1 ? CrossingFraction(previousInput, present, Amplitude) : 1.0;
        output[0] = static_cast<double>(n - 1) * SampleInterval + fraction * SampleInterval + TimeOffset;
    } else {
        output[0] = -1.0;
    }

    ++sampleCounter;
    previousInput = present;
    return true;
}

}  // namespace Velmora
