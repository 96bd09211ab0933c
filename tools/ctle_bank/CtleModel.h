#pragma once

#include "ComplexValue.h"

// Small-signal model of the receiver's continuous-time equaliser:
//   H(s) = K (1 + s/wz) / ((1 + s/wp1)(1 + s/wp2)) * w0^2 / (s^2 + w0 s / Q + w0^2) * exp(-s tau)
// with wz = wp1 / P, so that P is the ratio of high-frequency to DC gain of the zero-pole pair.
namespace ctle_bank {

struct CtleSetting {
    double dcGain;   // K, gain at DC [1], > 0
    double peaking;  // P, high-frequency boost of the zero over the first pole [1], > 0
    double delay;    // tau, bulk delay [s], >= 0
};

constexpr double firstPoleFrequency = 12e9;   // [Hz]
constexpr double secondPoleFrequency = 40e9;  // [Hz]
constexpr double bandLimitFrequency = 90e9;   // natural frequency of the band limit [Hz]
constexpr double bandLimitQuality = 0.7;      // quality factor of the band limit [1]

// Frequency response at one frequency [Hz], >= 0.
ComplexValue CtleResponse(const CtleSetting& setting, double frequency);

}  // namespace ctle_bank
