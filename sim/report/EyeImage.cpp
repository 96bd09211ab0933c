#include "sim/report/EyeImage.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "sim/report/Base64.h"
#include "sim/report/ColourMap.h"
#include "sim/report/FileOutput.h"

namespace ksim {
namespace {

constexpr int kMaxSide = 16384;

}  // namespace

double EyeShade(std::uint32_t count, std::uint32_t maxCount) {
    if (count == 0) return 0;
    if (maxCount <= 1 || count >= maxCount) return 1;
    const double fraction = std::log(static_cast<double>(count)) / std::log(static_cast<double>(maxCount));
    return kEyeFirstShade + (1 - kEyeFirstShade) * fraction;
}

bool EyeHasImage(const EyeAnalysis& eye) {
    return eye.phaseBins > 0 && eye.levelBins > 0 && eye.phaseBins <= kMaxSide && eye.levelBins <= kMaxSide &&
           eye.density.size() == static_cast<std::size_t>(eye.phaseBins) * static_cast<std::size_t>(eye.levelBins);
}

std::vector<unsigned char> EncodeRgbPng(int width, int height, const std::vector<unsigned char>& rgb) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        throw std::runtime_error("PNG image of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels is out of range");
    }
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    if (rgb.size() != stride * static_cast<std::size_t>(height)) {
        throw std::runtime_error("PNG pixel buffer does not match its size");
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // the first call only measures: the encoded size goes to `size`
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), static_cast<png_int_32>(stride), nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error("PNG encoder failed: " + message);
    }
    std::vector<unsigned char> bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), static_cast<png_int_32>(stride),
                                   nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error("PNG encoder failed: " + message);
    }
    bytes.resize(size);
    return bytes;
}

std::vector<unsigned char> EncodeEyePng(const EyeAnalysis& eye) {
    if (!EyeHasImage(eye)) throw std::runtime_error("the eye has no density image to draw");
    const std::uint32_t maxCount = *std::max_element(eye.density.begin(), eye.density.end());
    std::vector<unsigned char> rgb(eye.density.size() * 3);
    for (std::size_t i = 0; i < eye.density.size(); ++i) {
        const std::uint32_t count = eye.density[i];
        const Rgb colour = count == 0 ? Rgb{} : Inferno(EyeShade(count, maxCount));
        rgb[3 * i] = colour.r;
        rgb[3 * i + 1] = colour.g;
        rgb[3 * i + 2] = colour.b;
    }
    return EncodeRgbPng(eye.phaseBins, eye.levelBins, rgb);
}

void WriteEyePng(const EyeAnalysis& eye, const std::string& path) { WriteBinaryFile(path, EncodeEyePng(eye)); }

std::string EyePngDataUri(const EyeAnalysis& eye) {
    return "data:image/png;base64," + Base64Encode(EncodeEyePng(eye));
}

}  // namespace ksim
