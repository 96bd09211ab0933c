#include "rx/vga_gain.h"

#include <cmath>

#include "math/PortableMath.h"
#include "math/TanhBlock.h"

namespace {

constexpr double kAmplitudes[vga_gain::kGainSettings] = {0.3432, 0.3424, 0.3401, 0.3426};
constexpr double kSlopes[vga_gain::kGainSettings] = {3.42, 5.27, 5.93, 8.41};

// The adaptation engine limits both gain controls to 0..1 the same way, so both blocks agree on the setting
// and the table index can never leave 0..3.
int ClampToBit(int value) { return value < 0 ? 0 : (value > 1 ? 1 : value); }

}  // namespace

bool vga_gain::Initialize() {
    index = ClampToBit(VGA_GAIN) + 2 * ClampToBit(EQ_HIGAIN);
    for (int i = 0; i < kGainSettings; ++i) {
        amplitudes[i] = kAmplitudes[i];
        slopes[i] = kSlopes[i];
    }
    return true;
}

bool vga_gain::Run() {
    output = amplitudes[index] * Velmora::pm::Tanh(slopes[index] * input);
    return true;
}

void vga_gain::RunSamples(const double* in, double* out, std::size_t n) const {
    Velmora::pm::ScaledTanh(in, out, n, amplitudes[index], slopes[index]);
}
