#include "CtleModel.h"

#include <cmath>

namespace ctle_bank {
namespace {

// Complex products and quotients spelt out so that the order of operations is fixed on every target.
ComplexValue Multiply(ComplexValue a, ComplexValue b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

ComplexValue Divide(ComplexValue a, ComplexValue b) {
    const double norm = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / norm, (a.im * b.re - a.re * b.im) / norm};
}

}  // namespace

ComplexValue CtleResponse(const CtleSetting& setting, double frequency) {
    const double pi = 3.14159265358979323846;
    const double zeroFrequency = firstPoleFrequency / setting.peaking;

    // Each factor written as 1 + j f/fc, with the 2*pi of s = j 2 pi f cancelled.
    const ComplexValue zero = {1.0, frequency / zeroFrequency};
    const ComplexValue firstPole = {1.0, frequency / firstPoleFrequency};
    const ComplexValue secondPole = {1.0, frequency / secondPoleFrequency};
    const double normalised = frequency / bandLimitFrequency;
    const ComplexValue bandLimit = {1.0 - normalised * normalised, normalised / bandLimitQuality};

    const double phase = 2.0 * pi * frequency * setting.delay;
    const ComplexValue delay = {std::cos(phase), -std::sin(phase)};

    ComplexValue response = Divide(zero, Multiply(firstPole, secondPole));
    response = Divide(response, bandLimit);
    response = Multiply(response, delay);
    return {setting.dcGain * response.re, setting.dcGain * response.im};
}

}  // namespace ctle_bank
