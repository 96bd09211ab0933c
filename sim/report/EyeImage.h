#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// Colour-map position of an eye bin: 0 (black) for an empty bin; counts 1..maxCount spread over
// kEyeFirstShade..1 by log(count) / log(maxCount), so single hits stay visible against the background.
constexpr double kEyeFirstShade = 0.18;
double EyeShade(std::uint32_t count, std::uint32_t maxCount);

// True when the eye carries a density image whose size matches its bin counts.
bool EyeHasImage(const EyeAnalysis& eye);

// RGB pixels, row-major with row 0 at the top, as an 8-bit PNG. Sides 1..16384 pixels; rgb holds
// width * height * 3 bytes. Throws std::runtime_error otherwise or when the encoder fails.
std::vector<unsigned char> EncodeRgbPng(int width, int height, const std::vector<unsigned char>& rgb);

// The eye density, one pixel per bin (phase across, level down with the highest level on top), through the
// inferno map on a log scale of counts with a black background. Throws std::runtime_error when the eye has
// no image (see EyeHasImage).
std::vector<unsigned char> EncodeEyePng(const EyeAnalysis& eye);
void WriteEyePng(const EyeAnalysis& eye, const std::string& path);
std::string EyePngDataUri(const EyeAnalysis& eye);  // "data:image/png;base64,..."

}  // namespace ksim
