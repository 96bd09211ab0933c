#pragma once

namespace ksim {

struct Rgb {
    unsigned char r = 0, g = 0, b = 0;
};

// The perceptually uniform "inferno" map (black through purple and orange to pale yellow), position 0..1;
// positions outside are clamped.
Rgb Inferno(double position);

// "#rrggbb"
const char* HexColour(Rgb colour, char (&text)[8]);

}  // namespace ksim
