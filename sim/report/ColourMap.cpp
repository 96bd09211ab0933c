#include "sim/report/ColourMap.h"

#include <cmath>
#include <cstdio>

namespace ksim {

Rgb Inferno(double position) {
    // samples of the map at positions 0, 0.1, ..., 1; linear blending between them stays close to the map
    static const unsigned char anchors[11][3] = {
        {0, 0, 4},      {22, 11, 57},   {66, 10, 104},  {106, 23, 110}, {147, 38, 103}, {188, 55, 84},
        {221, 81, 58},  {243, 120, 25}, {252, 165, 10}, {246, 215, 70}, {252, 255, 164},
    };
    if (!(position > 0)) position = 0;  // also catches NaN
    if (position > 1) position = 1;
    const double scaled = position * 10;
    int low = static_cast<int>(scaled);
    if (low > 9) low = 9;
    const double fraction = scaled - low;
    Rgb colour;
    unsigned char* channels[3] = {&colour.r, &colour.g, &colour.b};
    for (int c = 0; c < 3; ++c) {
        const double value = anchors[low][c] + fraction * (anchors[low + 1][c] - anchors[low][c]);
        *channels[c] = static_cast<unsigned char>(std::lround(value));
    }
    return colour;
}

const char* HexColour(Rgb colour, char (&text)[8]) {
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.r, colour.g, colour.b);
    return text;
}

}  // namespace ksim
