#pragma once

// Touchstone 1.x reader for S-parameter files (.s1p, .s2p, .s4p, ... .sNp).
//
// The number of ports comes from the file's extension. The option line ("# GHz S MA R 50"; any order,
// any case; defaults GHz, S, MA, R 50) sets the frequency unit (Hz, kHz, MHz, GHz) and the number format:
// MA magnitude and angle in degrees, DB 20 log10 magnitude and angle in degrees, RI real and imaginary.
// Only the first option line counts (later ones are ignored, as Touchstone prescribes); only S-parameters
// are read. "!" starts a comment that runs to the end of the line.
//
// One frequency point is the frequency followed by n*n value pairs. A point starts on a new line and may be
// spread over several lines; with three or more ports each matrix row starts on a new line (the usual four
// pairs per line). The order is row by row, S11 S12 ... S1n S21 ..., except for 2-port files, which list
// S11 S21 S12 S22. In a 2-port file a frequency that does not increase starts the noise parameters, which
// are skipped. Any other departure (a stray word, a missing value, a frequency that does not increase)
// throws std::runtime_error naming the file and the line.
//
// The file is read line by line and only the converted complex values are kept (16 bytes per parameter per
// frequency), so a 4 MB .s4p costs about 1.5 MB.

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace ksim {

struct TouchstoneData {
    std::string source;                 // file path (or the name given to ParseTouchstone)
    int ports = 0;                      // n, from the extension, >= 1
    double referenceOhms = 50.0;        // reference impedance of the option line [ohm]; the values are used as given
    std::vector<double> frequencyHz;    // strictly increasing, >= 0 [Hz]
    // S-parameters per frequency, row-major: S(row, col) of point k at k*n*n + (row-1)*n + (col-1).
    std::vector<std::complex<double>> values;

    std::size_t Points() const { return frequencyHz.size(); }
    // S-parameter of 1-based ports at point k (unchecked).
    std::complex<double> S(std::size_t k, int row, int col) const {
        const std::size_t n = static_cast<std::size_t>(ports);
        return values[k * n * n + static_cast<std::size_t>(row - 1) * n + static_cast<std::size_t>(col - 1)];
    }
};

// Reads a Touchstone 1.x file; the port count comes from the ".sNp" extension (any case).
TouchstoneData ReadTouchstone(const std::string& path);

// Parses Touchstone text of a file with `ports` ports (>= 1); `name` names it in error messages.
TouchstoneData ParseTouchstone(const std::string& text, int ports, const std::string& name);

// Port count of a ".sNp" file name, or 0 when the name has no such extension.
int TouchstonePortsFromName(const std::string& path);

}  // namespace ksim
